#include "parsing/WorkspaceGeminiTranscriptParser.hpp"

#include "ax/NodeText.hpp"
#include "parsing/WorkspaceGeminiPanel.hpp"
#include "text/Unicode.hpp"

#include <algorithm>
#include <initializer_list>

namespace velmar {
namespace {

constexpr int kFeedDepth = 12;
constexpr int kHeadingDepth = 12;
constexpr int kTextDepth = 30;
constexpr int kThinkingDepth = 20;

constexpr std::string_view kThinkingPrefix = "appsElementsSidekickThinkingState";

AXNodePtr findHeading(const AXNodePtr& node, int depth) {
    if (depth > kHeadingDepth) return nullptr;
    if (node->role() == "AXHeading" && hasClass(node->domClassList(), "appsElementsSidekickUserMessageContainer")) {
        return node;
    }
    if (depth == kHeadingDepth) return nullptr;
    for (const auto& child : node->children()) {
        if (auto hit = findHeading(child, depth + 1)) return hit;
    }
    return nullptr;
}

// True when the node or a descendant to maxDepth carries one of the classes.
bool containsAnyClass(const AXNode& node, std::initializer_list<std::string_view> wanted, int maxDepth, int depth) {
    if (depth > maxDepth) return false;
    auto classes = node.domClassList();
    for (auto cls : wanted) {
        if (hasClass(classes, cls)) return true;
    }
    if (depth == maxDepth) return false;
    for (const auto& child : node.children()) {
        if (containsAnyClass(*child, wanted, maxDepth, depth + 1)) return true;
    }
    return false;
}

}  // namespace

std::string WorkspaceGeminiTranscriptParser::staticText(const AXNode& root,
                                                        std::optional<std::string_view> skippingPrefix,
                                                        std::optional<std::string_view> dropLabel) {
    NodeTextRules rules;
    rules.maxDepth = kTextDepth;
    // Buttons and links standing alone below the entry are the panel's
    // controls and chips; a link among words is prose.
    rules.skip = [&root, skippingPrefix](const NodeView& n) {
        if (&n.node() != &root && n.role() == "AXButton") return true;
        if (&n.node() != &root && n.role() == "AXLink") return !NodeText::isLinkInProse(n);
        if (!skippingPrefix) return false;
        const auto& classes = n.domClassList();
        return std::any_of(classes.begin(), classes.end(),
                           [&](const std::string& cls) { return cls.starts_with(*skippingPrefix); });
    };
    if (dropLabel) rules.dropLeaf = [dropLabel](const std::string& t) { return text::trim(t) == *dropLabel; };
    return NodeText::of(root, rules);
}

std::string WorkspaceGeminiTranscriptParser::userText(const AXNode& entry) {
    if (auto heading = findHeading(borrowed(entry), 0)) {
        // A titled heading names the prompt exactly; its texts are the fallback.
        auto title = text::trim(heading->title().value_or(""));
        if (!title.empty()) return title;
        auto texts = staticText(*heading, std::nullopt, std::nullopt);
        if (!texts.empty()) return texts;
    }
    return staticText(entry, std::nullopt, std::nullopt);
}

std::optional<SegmenterSnapshot> WorkspaceGeminiTranscriptParser::snapshot(
    const AXNode& scope, std::optional<std::string> conversationKey) const {
    auto feed = WorkspaceGeminiPanel::findByClass(borrowed(scope), "appsElementsSidekickFeedEntries",
                                                  kFeedDepth, 0);
    if (!feed) return std::nullopt;

    struct Entry {
        AXNodePtr node;
        bool user;
    };
    std::vector<Entry> entries;
    for (auto& child : feed->children()) {
        auto classes = child->domClassList();
        if (hasClass(classes, "appsElementsSidekickUserMessageRoot")) {
            entries.push_back({std::move(child), true});
        } else if (hasClass(classes, "appsElementsSidekickAgentMessageRoot")) {
            entries.push_back({std::move(child), false});
        }
    }
    if (entries.empty()) return std::nullopt;

    SegmenterSnapshot snap;
    snap.conversationKey = std::move(conversationKey);
    const int total = static_cast<int>(entries.size());
    for (int i = 0; i < total; ++i) {
        const auto& entry = entries[static_cast<std::size_t>(i)];
        RawTurn turn;
        turn.index = i + 1;
        turn.total = total;
        turn.role = entry.user ? "user" : "assistant";
        turn.text = entry.user ? userText(*entry.node)
                               : staticText(*entry.node, kThinkingPrefix, "Gemini response");
        snap.turns.push_back(std::move(turn));
    }
    // One walk for both working indicators.
    snap.responseComplete = !containsAnyClass(*feed,
                                              {"appsElementsSidekickThinkingStateCircleSpinner",
                                               "appsElementsSidekickThinkingStateThinkingMessageContainer"},
                                              kThinkingDepth, 0);
    return snap;
}

}  // namespace velmar
