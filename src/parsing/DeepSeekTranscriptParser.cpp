#include "parsing/DeepSeekTranscriptParser.hpp"

#include "ax/NodeText.hpp"
#include "text/Unicode.hpp"

#include <algorithm>
#include <initializer_list>

namespace velmar {
namespace {

constexpr int kListDepth = 40;
constexpr int kMessageDepth = 2;
constexpr int kClassDepth = 20;
constexpr int kUserTextDepth = 12;
constexpr int kAssistantDepth = 20;
constexpr int kParagraphDepth = 20;

constexpr std::string_view kList = "ds-virtual-list-visible-items";
constexpr std::string_view kMessage = "ds-message";
constexpr std::string_view kParagraph = "ds-markdown-paragraph";
constexpr std::string_view kThink = "ds-think-content";
constexpr std::string_view kCite = "ds-markdown-cite";
constexpr std::string_view kMarkdown = "ds-markdown";
constexpr std::string_view kActionBar = "ds-flex";

bool hasAnyClass(const AXNode& node, std::initializer_list<std::string_view> wanted, int depth) {
    if (depth > kClassDepth) return false;
    auto classes = node.domClassList();
    for (auto cls : wanted) {
        if (hasClass(classes, cls)) return true;
    }
    if (depth == kClassDepth) return false;
    for (const auto& child : node.children()) {
        if (hasAnyClass(*child, wanted, depth + 1)) return true;
    }
    return false;
}

struct Item {
    AXNodePtr node;
    AXNodePtr message;
};

// The list of visible items with its items, found together so that each
// candidate's children are only searched for messages once.
std::optional<std::vector<Item>> findList(const AXNodePtr& node, int depth) {
    if (depth > kListDepth) return std::nullopt;
    std::optional<std::vector<AXNodePtr>> children;
    if (hasClass(node->domClassList(), kList)) {
        children = node->children();
        std::vector<Item> items;
        for (const auto& child : *children) {
            if (auto m = DeepSeekTranscriptParser::message(child)) items.push_back({child, std::move(m)});
        }
        if (!items.empty()) return items;
    }
    if (depth == kListDepth) return std::nullopt;
    if (!children) children = node->children();
    for (const auto& child : *children) {
        if (auto hit = findList(child, depth + 1)) return hit;
    }
    return std::nullopt;
}

// The blocks of a reply: its rendered markdown (paragraphs, lists, code,
// tables), or lone paragraphs outside one; never the reasoning.
void collectBlocks(const AXNodePtr& node, int depth, std::vector<AXNodePtr>& out) {
    if (depth > kAssistantDepth) return;
    auto classes = node->domClassList();
    if (hasClass(classes, kThink)) return;
    if (hasClass(classes, kMarkdown) || hasClass(classes, kParagraph)) {
        out.push_back(node);
        return;
    }
    if (depth == kAssistantDepth) return;
    for (const auto& child : node->children()) collectBlocks(child, depth + 1, out);
}

}  // namespace

AXNodePtr DeepSeekTranscriptParser::message(const AXNodePtr& node, int depth) {
    if (!node || depth > kMessageDepth) return nullptr;
    if (hasClass(node->domClassList(), kMessage)) return node;
    if (depth == kMessageDepth) return nullptr;
    for (const auto& child : node->children()) {
        if (auto hit = message(child, depth + 1)) return hit;
    }
    return nullptr;
}

bool DeepSeekTranscriptParser::containsClass(const AXNode& node, std::string_view cls, int depth) {
    return hasAnyClass(node, {cls}, depth);
}

std::string DeepSeekTranscriptParser::userText(const AXNode& message) {
    NodeTextRules rules;
    rules.maxDepth = kUserTextDepth;
    // Links and images in a prompt are its attachments, not what was typed.
    rules.skip = [](const NodeView& n) { return n.role() == "AXLink" || n.role() == "AXImage"; };
    return NodeText::of(message, rules);
}

std::string DeepSeekTranscriptParser::assistantText(const AXNode& message) {
    std::vector<AXNodePtr> blocks;
    collectBlocks(borrowed(message), 0, blocks);
    NodeTextRules rules;
    rules.maxDepth = kParagraphDepth;
    rules.skip = [](const NodeView& n) {
        // Citations: numbered marks and source links.
        if (hasClass(n.domClassList(), kCite) || hasClass(n.domClassList(), kThink)) return true;
        if (n.role() == "AXLink") return !NodeText::isLinkInProse(n);
        // A figure or an icon with its caption is not prose.
        if (n.role() != "AXGroup" || hasClass(n.domClassList(), kMarkdown) || hasClass(n.domClassList(), kParagraph))
            return false;
        auto kids = n.node().children();
        return std::any_of(kids.begin(), kids.end(), [](const AXNodePtr& k) { return k->role() == "AXImage"; });
    };
    return NodeText::of(blocks, rules);
}

bool DeepSeekTranscriptParser::hasActionBar(const AXNode& item) {
    for (const auto& child : item.children()) {
        if (hasClass(child->domClassList(), kActionBar)) return true;
        for (const auto& grandchild : child->children()) {
            if (hasClass(grandchild->domClassList(), kActionBar)) return true;
        }
    }
    return false;
}

std::optional<SegmenterSnapshot> DeepSeekTranscriptParser::snapshot(const AXNode& scope,
                                                                    std::optional<std::string> conversationKey) const {
    auto items = findList(borrowed(scope), 0);
    if (!items) return std::nullopt;

    SegmenterSnapshot snap;
    snap.conversationKey = std::move(conversationKey);
    const int total = static_cast<int>(items->size());
    for (int p = 1; p <= total; ++p) {
        const auto& m = *(*items)[static_cast<std::size_t>(p - 1)].message;
        RawTurn turn;
        turn.index = p;
        turn.total = total;
        if (hasAnyClass(m, {kParagraph, kThink}, 0)) {
            turn.role = "assistant";
            turn.text = assistantText(m);
        } else if (auto user = userText(m); !user.empty()) {
            turn.role = "user";
            turn.text = std::move(user);
        } else {
            // No prose and no reply structure: taken as a reply that has not
            // started. An image-only upload lands here too.
            turn.role = "assistant";
            turn.text = assistantText(m);
        }
        snap.turns.push_back(std::move(turn));
    }
    snap.responseComplete = snap.turns.back().role == "assistant" && hasActionBar(*items->back().node);
    return snap;
}

}  // namespace velmar
