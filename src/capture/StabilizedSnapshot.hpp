#pragma once

#include "parsing/SegmenterSnapshot.hpp"

#include <optional>

namespace velmar {

// What the ordinal stabilizer makes of one window snapshot.
struct StabilizedSnapshot {
    enum class Kind {
        stabilized,  // `snapshot` carries stable conversation ordinals; assemble it
        skip,        // the window cannot be placed yet; process nothing
        reset,       // the window contradicts what is known; re-prime the conversation
    };

    Kind kind = Kind::skip;
    std::optional<SegmenterSnapshot> snapshot;  // present exactly for `stabilized`

    static StabilizedSnapshot stabilized(SegmenterSnapshot s) { return {Kind::stabilized, std::move(s)}; }
    static StabilizedSnapshot skip() { return {Kind::skip, std::nullopt}; }
    static StabilizedSnapshot reset() { return {Kind::reset, std::nullopt}; }

    bool operator==(const StabilizedSnapshot&) const = default;
};

}  // namespace velmar
