#pragma once
// Reads the Claude Code view of the Claude desktop app. Each message is a
// document article inside the "Chat messages" group, and a hidden heading
// inside the article says who wrote it.

#include "ax/AXNode.hpp"
#include "parsing/SegmenterSnapshot.hpp"

#include <optional>
#include <string>
#include <vector>

namespace velmar {

class ClaudeCodeTranscriptParser {
public:
    // Absent when there is no "Chat messages" group or it holds no article.
    std::optional<SegmenterSnapshot> snapshot(const AXNode& scope, std::optional<std::string> conversationKey) const;

    // The message articles in pre-order (nested articles included).
    static std::vector<AXNodePtr> turnArticles(const AXNode& container);
    // "user" or "assistant" from the article's role heading, at most three levels down.
    static std::optional<std::string> roleMarker(const AXNode& article);
    // Absent for an article without a role heading.
    static std::optional<RawTurn> extractTurn(const AXNode& article, int index, int total);
};

}  // namespace velmar
