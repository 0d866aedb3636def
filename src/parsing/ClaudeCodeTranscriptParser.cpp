#include "parsing/ClaudeCodeTranscriptParser.hpp"

#include "ax/NodeText.hpp"
#include "text/Unicode.hpp"

namespace velmar {
namespace {

constexpr int kContainerDepth = 60;
constexpr int kArticleDepth = 20;
constexpr int kRoleHeadingDepth = 3;
constexpr int kTextDepth = 40;
constexpr int kFinishedDepth = 40;

constexpr std::string_view kUserPrefix = "You said:";
constexpr std::string_view kAssistantPrefix = "Claude responded:";
constexpr std::string_view kFinished = "Claude finished the response";

void collectArticles(const AXNodePtr& node, int depth, std::vector<AXNodePtr>& out) {
    if (depth > kArticleDepth) return;
    if (node->role() == "AXDocumentArticle") out.push_back(node);
    if (depth == kArticleDepth) return;
    for (const auto& child : node->children()) collectArticles(child, depth + 1, out);
}

std::optional<std::string> roleBelow(const AXNode& node, int depth) {
    for (const auto& child : node.children()) {
        if (child->role() == "AXHeading") {
            auto label = child->label();
            if (label.starts_with(kUserPrefix)) return "user";
            if (label.starts_with(kAssistantPrefix)) return "assistant";
        }
        if (depth < kRoleHeadingDepth) {
            if (auto role = roleBelow(*child, depth + 1)) return role;
        }
    }
    return std::nullopt;
}

}  // namespace

std::vector<AXNodePtr> ClaudeCodeTranscriptParser::turnArticles(const AXNode& container) {
    std::vector<AXNodePtr> out;
    collectArticles(borrowed(container), 0, out);
    return out;
}

std::optional<std::string> ClaudeCodeTranscriptParser::roleMarker(const AXNode& article) {
    // The article's children are level 1.
    return roleBelow(article, 1);
}

std::optional<RawTurn> ClaudeCodeTranscriptParser::extractTurn(const AXNode& article, int index, int total) {
    auto role = roleMarker(article);
    if (!role) return std::nullopt;
    NodeTextRules rules;
    rules.maxDepth = kTextDepth;
    // The hidden role headings and the finished notice are not the turn's text.
    rules.dropLeaf = [](const std::string& t) {
        return t.starts_with(kUserPrefix) || t.starts_with(kAssistantPrefix) || t == kFinished;
    };
    static const char key = 0;
    rules.memoKey = &key;
    auto text = NodeText::of(article, rules);
    RawTurn turn;
    turn.index = index;
    turn.total = total;
    turn.role = std::move(*role);
    turn.text = std::move(text);
    return turn;
}

std::optional<SegmenterSnapshot> ClaudeCodeTranscriptParser::snapshot(const AXNode& scope,
                                                                      std::optional<std::string> conversationKey) const {
    auto scopePtr = borrowed(scope);
    auto container = find(scopePtr, "AXGroup", labelEquals("Chat messages"), 0, kContainerDepth);
    if (!container) return std::nullopt;
    auto articles = turnArticles(*container);
    if (articles.empty()) return std::nullopt;

    SegmenterSnapshot snap;
    snap.conversationKey = std::move(conversationKey);
    snap.surface = "claude_code_desktop";
    // Articles without a role heading keep their position, so numbering stays put.
    const int total = static_cast<int>(articles.size());
    for (int p = 1; p <= total; ++p) {
        if (auto turn = extractTurn(*articles[static_cast<std::size_t>(p - 1)], p, total)) {
            snap.turns.push_back(std::move(*turn));
        }
    }
    snap.responseComplete = containsText(scope, 0, kFinishedDepth, labelEquals(std::string(kFinished)));
    return snap;
}

}  // namespace velmar
