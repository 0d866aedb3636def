#pragma once

#include "json/JsonDecoding.hpp"
#include "parsing/RawTurn.hpp"

#include <optional>
#include <string>
#include <vector>

namespace velmar {

// One window or tab segmented once. An empty turn list is a valid answer
// (a conversation with nothing in it yet); no snapshot means no conversation view.
struct SegmenterSnapshot {
    std::optional<std::string> conversationKey;
    std::vector<RawTurn> turns;
    std::optional<std::string> model;
    bool responseComplete = true;
    std::optional<bool> inProject;
    std::optional<std::string> surface;
    bool usedParityFallback = false;
    std::optional<std::string> composerDraft;

    bool operator==(const SegmenterSnapshot&) const = default;

    // Developer-tool form: camelCase keys, absent values as null.
    jsondecode::Json toJSON() const;
    // Reads that form back; optional members may be missing.
    static SegmenterSnapshot fromJSON(const jsondecode::Json& json, const std::string& path);
};

jsondecode::Json toJSON(const RawTurn& turn);
RawTurn rawTurnFromJSON(const jsondecode::Json& json, const std::string& path);

}  // namespace velmar
