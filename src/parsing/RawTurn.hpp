#pragma once

#include <optional>
#include <string>

namespace velmar {

// One turn as parsed.
struct RawTurn {
    int index = 0;  // 1-based ordinal (or display position before stabilising)
    int total = 0;  // the highest ordinal the parser believes in
    std::string role;  // "user", "assistant", or anything else (counts as neither)
    std::string text;
    std::optional<bool> producedArtifact;
    bool collapsed = false;
    std::optional<std::string> artifactTitle;
    std::optional<std::string> artifactType;

    bool operator==(const RawTurn&) const = default;
};

}  // namespace velmar
