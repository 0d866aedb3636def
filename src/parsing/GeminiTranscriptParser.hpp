#pragma once
// Reads a Gemini web conversation into turns. The page exposes its DOM
// classes, and the transcript is found through them; each way of finding the
// exchanges, a prompt or an answer is a row of a table, tried in order,
// because Chromium on Linux leaves the class-only Angular containers
// (infinite-scroller, response-container) out of the tree while the ones with
// an id (#chat-history, .conversation-container, .query-content, .markdown)
// and the hidden turn headings stay.

#include "ax/AXNode.hpp"
#include "parsing/ParserAnchor.hpp"
#include "parsing/SegmenterSnapshot.hpp"

#include <optional>
#include <string>

namespace velmar {

class GeminiTranscriptParser {
public:
    // Absent when the page shows no transcript (start page, still loading) or
    // the transcript has no exchange with a recognisable half.
    std::optional<SegmenterSnapshot> snapshot(const AXNode& scope, std::optional<std::string> conversationKey) const;

    // The model named by the page's model picker, without a leading "currently".
    static std::optional<std::string> modelLabel(const AXNode& scope);
    // The same, given the picker area (null: no model).
    static std::optional<std::string> modelOfPicker(const AXNodePtr& picker);
    // What the page must hold for turns: the exchanges, then a prompt and an
    // answer in them, each passing exactly where its table of rows reads.
    static const ParserAnchors& anchors();
    // The text leaves under a node (screen-reader-only headings left out), one per line.
    static std::string staticText(const AXNode& root);
};

}  // namespace velmar
