#pragma once
// Reads a ChatGPT conversation (web tab or native window) into turns.

#include "ax/AXNode.hpp"
#include "parsing/SegmenterSnapshot.hpp"

#include <optional>
#include <set>
#include <string>
#include <vector>

namespace velmar {

class ChatGPTTranscriptParser {
public:
    // A message: its heading and the siblings after it up to the next heading.
    struct Segment {
        AXNodePtr heading;
        std::string headingLabel;  // read once while finding headings
        std::vector<AXNodePtr> body;
    };

    std::set<std::string> extraStopButtonLabels;
    bool userBodyEndsAtFirstButton = false;

    static ChatGPTTranscriptParser web() { return {}; }
    static ChatGPTTranscriptParser desktop() { return {{"Stop"}, true}; }

    std::optional<SegmenterSnapshot> snapshot(const AXNode& scope, std::optional<std::string> conversationKey) const;
    std::optional<std::string> firstUserPromptText(const AXNode& scope) const;

    static AXNodePtr findLandmarkMain(const AXNode& scope);
    static std::vector<Segment> turnSegments(const AXNode& landmark);
    static std::optional<std::string> role(const Segment& segment);
    // The message's text, read from its body nodes as blocks; with
    // `stopAtFirstButton`, only from the body nodes before the first button.
    static std::string text(const Segment& segment, bool stopAtFirstButton);

    // The segments of the scope's main landmark; empty when there is none.
    static std::vector<Segment> segmentsOf(const AXNode& scope);
    // The first user message's text given already-found segments.
    static std::optional<std::string> firstUserPromptText(const std::vector<Segment>& segments);
    // Turns and completion from already-found segments (so one walk serves two answers).
    std::optional<SegmenterSnapshot> snapshot(const AXNode& scope, const std::vector<Segment>& segments,
                                              std::optional<std::string> conversationKey) const;
};

}  // namespace velmar
