#pragma once
// Reads a DeepSeek chat. The page renders a virtualised list whose items are
// recognised purely by DOM class; a reply's reasoning block is never captured.
// Each way of finding the messages is a row of a table, tried in order:
// Chromium on Linux leaves the list's class-only wrappers out of the tree,
// keeping the prompts' '.ds-message', the replies' paragraphs and the
// action bars' icon buttons side by side.

#include "ax/AXNode.hpp"
#include "parsing/ParserAnchor.hpp"
#include "parsing/SegmenterSnapshot.hpp"

#include <optional>
#include <string>
#include <vector>

namespace velmar {

class DeepSeekTranscriptParser {
public:
    // Absent when no list of visible items holds a message.
    std::optional<SegmenterSnapshot> snapshot(const AXNode& scope, std::optional<std::string> conversationKey) const;

    // The node itself or a child or grandchild carrying "ds-message".
    static AXNodePtr message(const AXNodePtr& node, int depth = 0);
    // True when the node or a descendant to depth 20 carries the class.
    static bool containsClass(const AXNode& node, std::string_view cls, int depth = 0);
    // The message's static texts outside buttons and links, one per line.
    static std::string userText(const AXNode& message);
    // The reply's paragraphs, one per line; reasoning, citations, links and
    // images are left out, and a paragraph's pieces are joined as the page split them.
    static std::string assistantText(const AXNode& message);
    // The same for a reply's blocks read one by one.
    static std::string replyText(const std::vector<AXNodePtr>& blocks);
    // What the page must hold for turns: the messages, a prompt and a reply
    // among them, each passing exactly where the table of rows reads.
    static const ParserAnchors& anchors();
    // The reply's action bar ("ds-flex"), shown once the reply is finished.
    static bool hasActionBar(const AXNode& item);
};

}  // namespace velmar
