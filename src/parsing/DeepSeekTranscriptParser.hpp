#pragma once
// Reads a DeepSeek chat. The page renders a virtualised list whose items are
// recognised purely by DOM class; a reply's reasoning block is never captured.

#include "ax/AXNode.hpp"
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
    // The reply's action bar ("ds-flex"), shown once the reply is finished.
    static bool hasActionBar(const AXNode& item);
};

}  // namespace velmar
