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
    static const char key = 0;
    rules.memoKey = &key;
    return NodeText::of(message, rules);
}

std::string DeepSeekTranscriptParser::assistantText(const AXNode& message) {
    std::vector<AXNodePtr> blocks;
    collectBlocks(borrowed(message), 0, blocks);
    return replyText(blocks);
}

std::string DeepSeekTranscriptParser::replyText(const std::vector<AXNodePtr>& blocks) {
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

namespace {

// One message as a row reads it: its role and what holds its text.
struct Message {
    std::string role;
    AXNodePtr node;                // a whole message (the list row)
    std::vector<AXNodePtr> blocks;  // or a reply's blocks (the flat row)
    bool finished = false;          // its action bar is shown
};

std::vector<Message> fromList(const AXNodePtr& scope) {
    std::vector<Message> out;
    auto items = findList(scope, 0);
    if (!items) return out;
    for (auto& item : *items) {
        Message m;
        m.node = item.message;
        if (hasAnyClass(*item.message, {kParagraph, kThink}, 0)) {
            m.role = "assistant";
        } else {
            // No prose and no reply structure: a reply that has not started
            // (an image-only upload lands here too), unless it holds a prompt.
            m.role = DeepSeekTranscriptParser::userText(*item.message).empty() ? "assistant" : "user";
        }
        m.finished = DeepSeekTranscriptParser::hasActionBar(*item.node);
        out.push_back(std::move(m));
    }
    return out;
}

// A child of the flat parent with what the split needs, each read once (a
// live node answers every read over the accessibility bus).
struct Kid {
    AXNodePtr node;
    std::string role;
    std::vector<std::string> classes;
    bool message() const { return hasClass(classes, kMessage); }
    bool paragraph() const { return hasClass(classes, kParagraph); }
};

std::vector<Kid> readKids(const AXNode& node) {
    std::vector<Kid> out;
    for (auto& child : node.children()) {
        auto role = child->role();
        auto classes = child->domClassList();
        out.push_back({std::move(child), std::move(role), std::move(classes)});
    }
    return out;
}

// The node whose own children hold the messages, with those children: on
// Linux, Chromium leaves the list's class-only wrappers out, and the prompts
// ('.ds-message', kept around their text), the reply's paragraphs and the
// action bars' buttons become children of one ancestor.
std::optional<std::vector<Kid>> flatKids(const AXNode& node, int depth) {
    auto kids = readKids(node);
    for (const auto& k : kids)
        if (k.paragraph() || k.message()) return kids;
    if (depth + 1 >= kListDepth) return std::nullopt;
    for (const auto& k : kids)
        if (auto hit = flatKids(*k.node, depth + 1)) return hit;
    return std::nullopt;
}

// The composer ends the transcript (its toggles and icon buttons follow it):
// the text area, or the group that holds it.
bool isComposer(const Kid& k) {
    if (k.role == "AXTextArea") return true;
    if (k.role != "AXGroup" || k.paragraph()) return false;
    auto kids = k.node->children();
    return std::any_of(kids.begin(), kids.end(), [](const AXNodePtr& c) { return c->role() == "AXTextArea"; });
}

// The icon buttons of a message's action bar carry no name; a code block's
// "Copy" and "Run" and the composer's toggles do.
bool isIconButton(const Kid& k) { return k.role == "AXButton" && text::trim(k.node->label()).empty(); }

// Splits that ancestor's children, up to the composer: a '.ds-message' is a
// prompt (a reply when it holds reply paragraphs), a run of unnamed icon
// buttons ends the message before it, and a reply is every block from the
// first after a prompt (or the first paragraph) up to its action bar.
std::vector<Message> fromFlat(const AXNodePtr& scope) {
    std::vector<Message> out;
    auto kids = flatKids(*scope, 0);
    if (!kids) return out;
    enum { Outside, AfterPrompt, InReply } state = Outside;
    std::vector<AXNodePtr> afterEnd;  // blocks after a reply's end, before anything else
    bool reopenable = false;          // no other message's controls since that end
    bool inBar = false;               // the last child was one of a run of icon buttons
    for (auto& kid : *kids) {
        if (isComposer(kid)) break;
        if (!isIconButton(kid)) inBar = false;
        if (isIconButton(kid)) {
            // A prompt's own actions leave it waiting for its reply.
            if (state == InReply) {
                out.back().finished = true;
                state = Outside;
                afterEnd.clear();
                reopenable = true;
            } else if (state == Outside && !inBar) {
                // Another message's own actions (a prompt whose class is
                // unknown): what follows is not the reply before.
                reopenable = false;
            }
            inBar = true;
            continue;
        }
        if (kid.message()) {
            afterEnd.clear();
            reopenable = false;
            Message m;
            m.node = kid.node;
            m.role = hasAnyClass(*kid.node, {kParagraph, kThink}, 0) ? "assistant" : "user";
            state = m.role == "user" ? AfterPrompt : InReply;
            out.push_back(std::move(m));
            continue;
        }
        if (state == InReply) {
            // Beside a reply whose wrapper is kept: its controls and notice.
            if (!out.back().node) out.back().blocks.push_back(std::move(kid.node));
        } else if (kid.paragraph() && state == Outside && reopenable && !out.empty() &&
                   out.back().role == "assistant" && !out.back().node) {
            // Reply text after a reply's "action bar" and before any prompt:
            // those were a code block's buttons, read mid-update before their
            // names (Firefox). The reply goes on.
            for (auto& skipped : afterEnd) out.back().blocks.push_back(std::move(skipped));
            afterEnd.clear();
            out.back().blocks.push_back(std::move(kid.node));
            out.back().finished = false;
            state = InReply;
            reopenable = false;
        } else if (kid.paragraph() ||
                   (state == AfterPrompt && !DeepSeekTranscriptParser::replyText({kid.node}).empty())) {
            // A prompt's named controls are not its reply's start.
            Message m;
            m.role = "assistant";
            m.blocks.push_back(std::move(kid.node));
            out.push_back(std::move(m));
            state = InReply;
            reopenable = false;
        } else if (state == Outside && reopenable) {
            afterEnd.push_back(std::move(kid.node));
        }
    }
    return out;
}

using MessageRow = std::pair<const char*, std::vector<Message> (*)(const AXNodePtr&)>;
const MessageRow kMessageRows[] = {
    {"'.ds-virtual-list-visible-items' rows holding '.ds-message'", fromList},
    {"'.ds-message' prompts and '.ds-markdown-paragraph' replies split by unnamed icon buttons", fromFlat},
};

std::vector<Message> findMessages(const AXNodePtr& scope) {
    for (const auto& [name, find] : kMessageRows)
        if (auto found = find(scope); !found.empty()) return found;
    return {};
}

std::string rowNames(const char* what) {
    std::string out = what;
    out += ": ";
    for (std::size_t i = 0; i < std::size(kMessageRows); ++i) {
        if (i) out += " | ";
        out += kMessageRows[i].first;
    }
    return out;
}

bool anyWithRole(const AXNodePtr& scope, std::string_view role) {
    auto found = findMessages(scope);
    return std::any_of(found.begin(), found.end(), [&](const Message& m) { return m.role == role; });
}

}  // namespace

const ParserAnchors& DeepSeekTranscriptParser::anchors() {
    static const ParserAnchors rows{
        {rowNames("messages"), [](const AXNodePtr& s) { return !findMessages(s).empty(); }},
        {rowNames("prompts"), [](const AXNodePtr& s) { return anyWithRole(s, "user"); }},
        {rowNames("replies"), [](const AXNodePtr& s) { return anyWithRole(s, "assistant"); }},
    };
    return rows;
}

std::optional<SegmenterSnapshot> DeepSeekTranscriptParser::snapshot(const AXNode& scope,
                                                                    std::optional<std::string> conversationKey) const {
    auto messages = findMessages(borrowed(scope));
    if (messages.empty()) return std::nullopt;

    SegmenterSnapshot snap;
    snap.conversationKey = std::move(conversationKey);
    const int total = static_cast<int>(messages.size());
    for (int p = 1; p <= total; ++p) {
        auto& m = messages[static_cast<std::size_t>(p - 1)];
        RawTurn turn;
        turn.index = p;
        turn.total = total;
        turn.role = m.role;
        if (m.node) {
            turn.text = m.role == "user" ? userText(*m.node) : assistantText(*m.node);
        } else {
            turn.text = replyText(m.blocks);
        }
        snap.turns.push_back(std::move(turn));
    }
    snap.responseComplete = messages.back().role == "assistant" && messages.back().finished;
    return snap;
}

}  // namespace velmar
