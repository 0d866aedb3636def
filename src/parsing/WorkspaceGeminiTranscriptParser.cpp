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
        // A titled heading names the prompt exactly (on Linux: its accessible
        // name, which holds a long prompt whole where the page cuts it short);
        // its texts are the fallback.
        auto title = text::trim(heading->title().value_or(""));
        if (title.empty()) title = text::trim(heading->label());
        if (!title.empty()) return title;
        auto texts = staticText(*heading, std::nullopt, std::nullopt);
        if (!texts.empty()) return texts;
    }
    return staticText(entry, std::nullopt, std::nullopt);
}

namespace {

constexpr std::string_view kFeed = "appsElementsSidekickFeedEntries";
constexpr std::string_view kPromptHeading = "appsElementsSidekickUserMessageContainer";
// The reply's own row of controls (sources, insert, copy, feedback) ends it.
constexpr std::string_view kReplyEnd[] = {"Sources", "Insert", "Copy", "Good response", "Bad response"};

struct Entry {
    AXNodePtr node;  // the message wrapper, or the prompt heading on a flat reading
    bool user = false;
    std::vector<AXNodePtr> blocks;  // a flat reading's reply: the nodes it spans
};

bool isPromptHeading(const AXNode& n) { return n.role() == "AXHeading" && hasClass(n.domClassList(), kPromptHeading); }

std::vector<Entry> fromFeed(const AXNodePtr& scope) {
    std::vector<Entry> entries;
    auto feed = WorkspaceGeminiPanel::findByClass(scope, kFeed, kFeedDepth, 0);
    if (!feed) return entries;
    for (auto& child : feed->children()) {
        auto classes = child->domClassList();
        if (hasClass(classes, "appsElementsSidekickUserMessageRoot")) {
            entries.push_back({std::move(child), true, {}});
        } else if (hasClass(classes, "appsElementsSidekickAgentMessageRoot")) {
            entries.push_back({std::move(child), false, {}});
        }
    }
    return entries;
}

// The node whose own children hold the prompt headings: Chromium on Linux
// leaves the panel's class-only wrappers out (feed, messages, bubbles), so the
// headings, the replies' paragraphs and the controls become its children.
AXNodePtr flatParent(const AXNodePtr& node, int depth) {
    auto kids = node->children();
    for (const auto& k : kids)
        if (isPromptHeading(*k)) return node;
    if (depth + 1 >= kFeedDepth) return nullptr;
    for (const auto& k : kids)
        if (auto hit = flatParent(k, depth + 1)) return hit;
    return nullptr;
}

bool endsReply(const AXNode& n) {
    const auto isEnd = [](const AXNode& b) {
        return b.role() == "AXButton" &&
               std::find(std::begin(kReplyEnd), std::end(kReplyEnd), text::trim(b.label())) != std::end(kReplyEnd);
    };
    if (isEnd(n)) return true;
    auto kids = n.children();
    return std::any_of(kids.begin(), kids.end(), [&](const AXNodePtr& c) { return isEnd(*c); });
}

// A button, or a row that holds only buttons (a prompt's edit control).
bool isControls(const AXNode& n) {
    if (n.role() == "AXButton") return true;
    auto kids = n.children();
    return !kids.empty() &&
           std::all_of(kids.begin(), kids.end(), [](const AXNodePtr& c) { return c->role() == "AXButton"; });
}

bool isComposer(const AXNode& n) {
    if (n.role() == "AXTextArea") return true;
    auto kids = n.children();
    return std::any_of(kids.begin(), kids.end(), [](const AXNodePtr& c) { return c->role() == "AXTextArea"; });
}

// A prompt heading starts a user turn; its reply is every node after the
// prompt's own controls up to the reply's control row (Sources, Insert, Copy,
// feedback: the buttons, or the rows Chromium keeps around them), the next
// prompt or the composer.
std::vector<Entry> fromFlat(const AXNodePtr& scope) {
    std::vector<Entry> entries;
    auto parent = flatParent(scope, 0);
    if (!parent) return entries;
    enum { Outside, AfterPrompt, InReply } state = Outside;
    for (auto& kid : parent->children()) {
        if (isPromptHeading(*kid)) {
            entries.push_back({std::move(kid), true, {}});
            state = AfterPrompt;
            continue;
        }
        if (isComposer(*kid)) break;
        if (endsReply(*kid)) {
            if (state == InReply) state = Outside;
            continue;
        }
        if (isControls(*kid)) continue;
        if (state == AfterPrompt) {
            entries.push_back({nullptr, false, {}});
            state = InReply;
        }
        if (state == InReply) entries.back().blocks.push_back(std::move(kid));
    }
    return entries;
}

using EntryRow = std::pair<const char*, std::vector<Entry> (*)(const AXNodePtr&)>;
const EntryRow kEntryRows[] = {
    {"feed '.appsElementsSidekickFeedEntries' with '.appsElementsSidekick{User,Agent}MessageRoot' entries", fromFeed},
    {"'.appsElementsSidekickUserMessageContainer' prompt headings, each reply up to its control row", fromFlat},
};

std::vector<Entry> findEntries(const AXNodePtr& scope) {
    for (const auto& [name, find] : kEntryRows)
        if (auto found = find(scope); !found.empty()) return found;
    return {};
}

std::string replyText(const Entry& entry) {
    constexpr std::string_view drop = "Gemini response";
    if (entry.node) return WorkspaceGeminiTranscriptParser::staticText(*entry.node, kThinkingPrefix, drop);
    std::string out;
    for (const auto& block : entry.blocks) {
        auto t = WorkspaceGeminiTranscriptParser::staticText(*block, kThinkingPrefix, drop);
        if (t.empty()) continue;
        if (!out.empty()) out += '\n';
        out += t;
    }
    return out;
}

}  // namespace

const ParserAnchors& WorkspaceGeminiTranscriptParser::anchors() {
    // One probe for the whole table: it passes where any row finds entries.
    static const ParserAnchors rows = [] {
        std::string name = "turn entries: ";
        for (std::size_t i = 0; i < std::size(kEntryRows); ++i) name += (i ? " | " : "") + std::string(kEntryRows[i].first);
        return ParserAnchors{{name, [](const AXNodePtr& s) { return !findEntries(s).empty(); }}};
    }();
    return rows;
}

std::optional<SegmenterSnapshot> WorkspaceGeminiTranscriptParser::snapshot(
    const AXNode& scope, std::optional<std::string> conversationKey) const {
    auto entries = findEntries(borrowed(scope));
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
        turn.text = entry.user ? userText(*entry.node) : replyText(entry);
        snap.turns.push_back(std::move(turn));
    }
    // One walk for both working indicators, over the panel: on a flat reading
    // the spinner is no longer inside a feed.
    snap.responseComplete = !containsAnyClass(scope,
                                              {"appsElementsSidekickThinkingStateCircleSpinner",
                                               "appsElementsSidekickThinkingStateThinkingMessageContainer"},
                                              kThinkingDepth, 0);
    return snap;
}

}  // namespace velmar
