#pragma once
// Reads the side chat of a Claude Design page into the user's prompts. The
// replies are not captured; only what the user asked for. The page has been
// seen in several shapes, so the reader tries them in a fixed order and says
// when it had to fall back to guessing roles by position.

#include "ax/AXNode.hpp"
#include "parsing/SegmenterSnapshot.hpp"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace velmar {

class ClaudeDesignTranscriptParser {
public:
    struct DesignTurns {
        std::vector<RawTurn> turns;
        bool usedFallback = false;
    };

    struct BareTexts {
        std::vector<std::string> texts;  // kept labels, untrimmed
        std::size_t next = 0;            // position of the first node not taken
    };

    // Absent when none of the known chat shapes is found.
    std::optional<SegmenterSnapshot> snapshot(const AXNode& scope, std::optional<std::string> conversationKey) const;

    static bool isUserBubbleClassList(const std::vector<std::string>& classes);
    static std::string unitText(const AXNode& unit);
    static std::vector<std::string> attachmentMarkersInUnit(const AXNode& unit);
    static DesignTurns designTurns(const AXNode& container);
    static BareTexts leadingBareTexts(const std::vector<AXNodePtr>& nodes, std::size_t from);
    static std::vector<RawTurn> structuralUnitTurns(const AXNode& unit);
    // The parity fallback: roles alternate by position, whatever the content.
    static std::vector<RawTurn> mergedTurns(const AXNode& unit);
    static std::vector<RawTurn> flatBubbleTurns(const AXNode& scope);
    static AXNodePtr webKitTranscriptRun(const AXNode& scope);
    static std::vector<RawTurn> structuralRunTurns(const AXNode& run);
    static std::optional<std::string> composerModel(const AXNode& scope);
    // The model picker near a found composer text area (null: no model).
    static std::optional<std::string> modelNearComposer(AXNodePtr textArea);
    static std::optional<std::string> popupAfterComposer(const AXNode& scope);
};

}  // namespace velmar
