#include "parsing/ClaudeMessageRows.hpp"

#include "text/Regex.hpp"

#include <functional>
#include <memory>


namespace velmar {
namespace {

constexpr int kContainerDepth = 60;
constexpr int kGroupDepth = 20;
constexpr std::string_view kContainerLabel = ClaudeMessageRows::containerLabel;
constexpr std::string_view kUserHeading = ClaudeMessageRows::userHeading;
constexpr std::string_view kAssistantHeading = ClaudeMessageRows::assistantHeading;

void collectGroups(const AXNodePtr& node, int depth, std::vector<AXNodePtr>& out) {
    if (depth > kGroupDepth) return;
    if (node->role() == "AXGroup" && ClaudeMessageRows::parseHeader(node->label())) out.push_back(node);
    if (depth == kGroupDepth) return;
    for (const auto& child : node->children()) collectGroups(child, depth + 1, out);
}

// A message the page keeps as a run of siblings (Chromium on Linux drops the
// plain containers around each message and hoists their children): the run
// read as one group.
class RunNode final : public AXNode {
public:
    explicit RunNode(std::vector<AXNodePtr> nodes) : nodes_(std::move(nodes)) {}
    std::string role() const override { return "AXGroup"; }
    std::optional<std::string> subrole() const override { return std::nullopt; }
    std::optional<std::string> title() const override { return std::nullopt; }
    std::vector<std::string> domClassList() const override { return {}; }
    std::vector<AXNodePtr> children() const override { return nodes_; }
    AXNodePtr parent() const override { return nullptr; }
    std::optional<std::string> string(std::string_view) const override { return std::nullopt; }

private:
    std::vector<AXNodePtr> nodes_;
};

using Message = ClaudeMessageRows::Message;

std::optional<std::string> headingRole(const AXNode& node) {
    if (node.role() != "AXHeading") return std::nullopt;
    auto label = node.label();
    if (label.empty()) {
        // The heading's text may sit in its leaf alone.
        for (const auto& child : node.children()) {
            if (child->role() == "AXStaticText") label = child->label();
            if (!label.empty()) break;
        }
    }
    if (label.starts_with(kUserHeading)) return "user";
    if (label.starts_with(kAssistantHeading)) return "assistant";
    return std::nullopt;
}

// A reply's action bar: a toolbar or a group named "Message actions".
bool isReplyActions(const AXNode& node) {
    auto role = node.role();
    return (role == "AXToolbar" || (role == "AXGroup" && !node.subrole())) && node.label() == "Message actions";
}

// A prompt's own control, the last thing of a prompt where no heading opens it.
bool isPromptControl(const AXNode& node) { return node.role() == "AXButton" && node.label() == "Edit"; }

// What ends a run at the latest: the page's own furniture after the transcript.
bool endsRuns(const AXNode& node) {
    if (auto sub = node.subrole(); sub && sub->starts_with("AXLandmark")) return true;
    return node.role() == "AXTextArea" ||
           find(borrowed(node), "AXTextArea", [](const std::string&) { return true; }, 0, 8) != nullptr;
}

// The first node (pre-order, to depth 60) whose own children pass the test.
AXNodePtr runParent(const AXNodePtr& node, const std::function<bool(const AXNode&)>& marks, int depth = 0) {
    if (depth > kContainerDepth) return nullptr;
    auto children = node->children();
    for (const auto& child : children)
        if (marks(*child)) return node;
    if (depth == kContainerDepth) return nullptr;
    for (const auto& child : children)
        if (auto hit = runParent(child, marks, depth + 1)) return hit;
    return nullptr;
}

// Row 1: the labelled container's "Message N of M" groups (macOS, and pages
// that label their messages).
std::vector<Message> labelledGroups(const AXNode& scope) {
    static const char noContainer = 0;
    auto container =
        find(borrowed(scope), "AXGroup", labelEquals(std::string(kContainerLabel)), 0, kContainerDepth, &noContainer);
    if (!container) return {};
    std::vector<AXNodePtr> groups;
    collectGroups(container, 0, groups);
    std::vector<Message> out;
    for (auto& g : groups) out.push_back({{g}, ClaudeMessageRows::parseHeader(g->label()), std::nullopt});
    return out;
}

// Row 2: the screen-reader headings "You said: …" / "Claude responded: …",
// each opening a message that runs to the next heading, through its action
// bar, or to the page's furniture after the transcript.
std::vector<Message> headingRuns(const AXNode& scope) {
    auto parent = runParent(borrowed(scope), [](const AXNode& n) { return headingRole(n).has_value(); });
    if (!parent) return {};
    std::vector<Message> out;
    bool open = false;
    for (const auto& child : parent->children()) {
        if (auto role = headingRole(*child)) {
            out.push_back({{child}, std::nullopt, role});
            open = true;
            continue;
        }
        if (!open) continue;
        if (endsRuns(*child)) {
            open = false;
            continue;
        }
        out.back().nodes.push_back(child);
        if (isReplyActions(*child)) open = false;
    }
    return out;
}

// Row 3: no headings: a run of content closed by a reply's action bar is a
// reply, one closed by a prompt's "Edit" control a prompt. A run nothing
// closes yet (a reply still streaming) is left for a later read.
std::vector<Message> closedRuns(const AXNode& scope) {
    auto parent = runParent(borrowed(scope), isReplyActions);
    if (!parent) return {};
    std::vector<Message> out;
    std::vector<AXNodePtr> run;
    for (const auto& child : parent->children()) {
        if (isReplyActions(*child) || isPromptControl(*child)) {
            const bool reply = isReplyActions(*child);
            if (!run.empty()) out.push_back({std::move(run), std::nullopt, reply ? "assistant" : "user"});
            run.clear();
            continue;
        }
        if (endsRuns(*child)) {
            run.clear();
            continue;
        }
        // Controls between messages (a prompt's copy button) open nothing.
        if (run.empty() && child->role() == "AXButton") continue;
        run.push_back(child);
    }
    return out;
}

struct MessageRow {
    const char* name;
    std::vector<Message> (*find)(const AXNode& scope);
};

constexpr MessageRow kMessageRows[] = {
    {"'Message N of M' groups", labelledGroups},
    {"'You said:' / 'Claude responded:' headings", headingRuns},
    {"'Message actions' / 'Edit' closers", closedRuns},
};

}  // namespace

AXNodePtr ClaudeMessageRows::Message::group() const {
    if (header) return nodes.front();
    return std::make_shared<RunNode>(nodes);
}

std::vector<ClaudeMessageRows::Message> ClaudeMessageRows::messages(const AXNode& scope) {
    for (const auto& row : kMessageRows) {
        auto found = row.find(scope);
        if (!found.empty()) return found;
    }
    return {};
}

const ParserAnchors& ClaudeMessageRows::anchors() {
    // One probe for the table: it passes where some row finds messages, so
    // exactly where the parser reads.
    static const ParserAnchors rows = [] {
        std::string name = "messages (first of:";
        for (const auto& row : kMessageRows) name += std::string(name.back() == ':' ? " " : ", ") + row.name;
        name += ")";
        return ParserAnchors{{name, [](const AXNodePtr& scope) { return !messages(*scope).empty(); }}};
    }();
    return rows;
}

std::optional<std::pair<int, int>> ClaudeMessageRows::parseHeader(std::string_view label) {
    static const text::Regex header(R"(Message (\d+) of (\d+))");
    if (label.find("Message ") == std::string_view::npos) return std::nullopt;  // most groups: no regex
    auto match = header.firstMatch(label);
    if (!match) return std::nullopt;
    auto index = match->groupNumber(1);
    auto total = match->groupNumber(2);
    if (!index || !total) return std::nullopt;
    return std::pair{*index, *total};
}

}  // namespace velmar
