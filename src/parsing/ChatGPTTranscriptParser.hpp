#pragma once
// Reads a ChatGPT conversation (web tab or native window) into turns.

#include "ax/AXNode.hpp"
#include "parsing/ParserAnchor.hpp"
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
        // The element whose children the heading and body are, when they
        // are its only message, and the heading's place there: where the
        // message's text is kept between reads.
        AXNodePtr holder;
        std::size_t at = 0;
    };

    std::set<std::string> extraStopButtonLabels;
    bool userBodyEndsAtFirstButton = false;
    // Names `extraStopButtonLabels`, so a page kept between reads keeps the
    // search's answer per subtree; null searches afresh each time.
    const void* stopButtonKey = nullptr;

    // The web page's stop control is the send button relabelled "Stop streaming".
    static ChatGPTTranscriptParser web() {
        static const char key = 0;
        return {{"Stop streaming"}, false, &key};
    }
    static ChatGPTTranscriptParser desktop() {
        static const char key = 0;
        return {{"Stop"}, true, &key};
    }

    std::optional<SegmenterSnapshot> snapshot(const AXNode& scope, std::optional<std::string> conversationKey) const;
    std::optional<std::string> firstUserPromptText(const AXNode& scope) const;

    static AXNodePtr findLandmarkMain(const AXNode& scope);
    // Where the messages are: the main landmark, else the whole scope.
    static AXNodePtr findTranscript(const AXNode& scope);
    // The messages of the first message row that finds any.
    static std::vector<Segment> turnSegments(const AXNode& transcript);
    static std::optional<std::string> role(const Segment& segment);
    // The message's text, read from its body nodes as blocks; with
    // `stopAtFirstButton`, only from the body nodes before the first button.
    static std::string text(const Segment& segment, bool stopAtFirstButton);

    // The segments of the scope's transcript.
    static std::vector<Segment> segmentsOf(const AXNode& scope);
    // The transcript, message and role rows, one probe per table, each
    // passing where some row of it finds (what `ax-check` probes).
    static const ParserAnchors& anchors();
    // The first user message's text given already-found segments.
    static std::optional<std::string> firstUserPromptText(const std::vector<Segment>& segments);
    // Turns and completion from already-found segments (so one walk serves two answers).
    std::optional<SegmenterSnapshot> snapshot(const AXNode& scope, const std::vector<Segment>& segments,
                                              std::optional<std::string> conversationKey) const;

private:
    static std::string textOf(const Segment& segment, bool stopAtFirstButton);
};

}  // namespace velmar
