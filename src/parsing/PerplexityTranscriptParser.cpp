#include "parsing/PerplexityTranscriptParser.hpp"

#include "ax/NodeText.hpp"

#include "text/Regex.hpp"
#include "text/Unicode.hpp"

#include <algorithm>

namespace velmar {
namespace {

constexpr int kLandmarkDepth = 25;
constexpr int kContainerDepth = 30;
constexpr int kTextDepth = 30;
constexpr int kStopButtonDepth = 40;
constexpr std::size_t kStopLabelLimit = 25;  // graphemes; longer "Stop…" labels are prose, not the control

const text::Regex& timestampRegex() {
    static const text::Regex re(R"(^(?:[A-Z][a-z]{2} \d{1,2}, )?\d{1,2}:\d{2} ?(?:AM|PM|am|pm)$)");
    return re;
}

const text::Regex& overflowRegex() {
    static const text::Regex re(R"(^\+\d+$)");
    return re;
}

// A node as listed by its parent: the role is read with the list, the label
// at most once on demand, so no walk reads a member of a live element twice.
struct Seen {
    AXNodePtr node;
    std::string role;
    std::optional<std::string> label;

    const std::string& labelOnce() {
        if (!label) label = node->label();
        return *label;
    }
};
using Kids = std::vector<Seen>;
// Children of some of a list's members, read while testing them and kept for the descent.
using KidsCache = std::vector<std::optional<Kids>>;

Kids readKids(const AXNode& node) {
    Kids out;
    for (auto& child : node.children()) {
        auto role = child->role();
        out.push_back({std::move(child), std::move(role), std::nullopt});
    }
    return out;
}

Seen seen(const AXNode& node) { return {borrowed(node), node.role(), std::nullopt}; }

bool isControls(const std::string& role, Kids& kids) {
    if (role != "AXGroup") return false;
    bool edit = false, copy = false;
    for (auto& kid : kids) {
        if (kid.role != "AXButton") continue;
        const auto& label = kid.labelOnce();
        edit = edit || label == "Edit query";
        copy = copy || label == "Copy query";
    }
    return edit && copy;
}

// Whether one of `kids` is query controls; the children read on the way stay in `cache`.
bool anyControls(Kids& kids, KidsCache& cache) {
    cache.resize(kids.size());
    for (std::size_t i = 0; i < kids.size(); ++i) {
        if (kids[i].role != "AXGroup") continue;
        if (!cache[i]) cache[i] = readKids(*kids[i].node);
        if (isControls(kids[i].role, *cache[i])) return true;
    }
    return false;
}

bool hasInnerWhitespace(std::string_view s) {
    for (char32_t c : text::toUtf32(s)) {
        if (text::isWhitespace(c)) return true;
    }
    return false;
}

// A source chip: an icon and one-word texts (a site name, "+3").
bool isChip(const std::string& role, Kids& kids) {
    if (role != "AXGroup") return false;
    bool image = false, staticText = false;
    for (auto& kid : kids) {
        if (kid.role == "AXImage") image = true;
        if (kid.role != "AXStaticText") continue;
        staticText = true;
        auto trimmed = text::trim(kid.labelOnce());
        if (trimmed.empty() || overflowRegex().search(trimmed)) continue;
        if (hasInnerWhitespace(trimmed)) return false;
    }
    return image && staticText;
}

bool isControlRole(const std::string& role) {
    return role == "AXButton" || role == "AXLink" || role == "AXPopUpButton" || role == "AXMenuButton";
}

// A block's text: buttons, links standing alone (citations, sources) and source chips
// left out; a query's timestamps too.
NodeTextRules bareRules(bool query) {
    NodeTextRules rules;
    rules.maxDepth = kTextDepth;
    rules.skip = [](const NodeView& n) {
        // A citation is a link inside the prose, marked by its class.
        if (n.role() == "AXLink") return hasClass(n.domClassList(), "citation") || !NodeText::isLinkInProse(n);
        if (isControlRole(n.role())) return true;
        if (n.role() != "AXGroup") return false;
        auto kids = readKids(n.node());
        return isChip(n.role(), kids);
    };
    if (query) rules.dropLeaf = [](const std::string& t) { return timestampRegex().search(t); };
    return rules;
}

std::string bareText(const AXNode& block, bool query) { return NodeText::of(block, bareRules(query)); }

struct Thread {
    AXNodePtr node;
    Kids blocks;
    KidsCache blockKids;
    bool byHeading = false;  // queries are '.group/query' headings, not control groups
};

constexpr std::string_view kQueryClass = "group/query";

bool isQueryHeading(const Seen& s) {
    return s.role == "AXHeading" && hasClass(s.node->domClassList(), kQueryClass);
}

std::optional<Thread> containerIn(const AXNodePtr& node, Kids kids, int depth) {
    KidsCache cache;
    if (anyControls(kids, cache)) return Thread{node, std::move(kids), std::move(cache)};
    if (depth == kContainerDepth) return std::nullopt;
    for (std::size_t i = 0; i < kids.size(); ++i) {
        auto grand = cache[i] ? std::move(*cache[i]) : readKids(*kids[i].node);
        if (auto hit = containerIn(kids[i].node, std::move(grand), depth + 1)) return hit;
    }
    return std::nullopt;
}

// On Linux, Chromium leaves the class-only wrapper of a query's controls out
// of the tree; the query itself is a heading, and the thread's other blocks
// (tabs, source links, the answer's container, its buttons) sit beside it.
std::optional<Thread> headingContainerIn(const AXNodePtr& node, Kids kids, int depth) {
    for (const auto& k : kids)
        if (isQueryHeading(k)) return Thread{node, std::move(kids), {}, true};
    if (depth == kContainerDepth) return std::nullopt;
    for (auto& k : kids)
        if (auto hit = headingContainerIn(k.node, readKids(*k.node), depth + 1)) return hit;
    return std::nullopt;
}

using ThreadRow = std::pair<const char*, std::optional<Thread> (*)(const AXNode&)>;
const ThreadRow kThreadRows[] = {
    {"query controls group ('Edit query' + 'Copy query')",
     [](const AXNode& landmark) { return containerIn(borrowed(landmark), readKids(landmark), 0); }},
    {"query heading '.group/query'",
     [](const AXNode& landmark) { return headingContainerIn(borrowed(landmark), readKids(landmark), 0); }},
};

PerplexityTranscriptParser::Segmentation run(Thread& thread) {
    PerplexityTranscriptParser::Segmentation result;
    auto& turns = result.turns;
    int state = 0;  // 0 waiting for query controls, 1 waiting for the query, 2 inside an answer
    std::vector<AXNodePtr> answer;
    auto closeAnswer = [&](bool force) {
        if (force || !answer.empty()) turns.emplace_back("assistant", NodeText::of(answer, bareRules(false)));
        answer.clear();
    };

    thread.blockKids.resize(thread.blocks.size());
    for (std::size_t i = 0; i < thread.blocks.size(); ++i) {
        auto& block = thread.blocks[i];
        Kids* kids = nullptr;
        if (block.role == "AXGroup") {
            if (!thread.blockKids[i]) thread.blockKids[i] = readKids(*block.node);
            kids = &*thread.blockKids[i];
        }
        if (thread.byHeading && isQueryHeading(block)) {
            if (state == 2) closeAnswer(false);
            turns.emplace_back("user", bareText(*block.node, true));
            state = 2;
            result.open = true;
            continue;
        }
        if (!thread.byHeading && kids && isControls(block.role, *kids)) {
            // A new query may arrive while an answer is still open: close it first.
            if (state == 2) closeAnswer(false);
            state = 1;
            result.open = true;
            continue;
        }
        if (state == 0) {
            result.open = false;
            continue;
        }
        if (state == 1) {
            if (block.role == "AXGroup") {
                auto query = bareText(*block.node, true);
                if (!query.empty() || !bareText(*block.node, false).empty()) {
                    turns.emplace_back("user", std::move(query));
                    state = 2;
                }
            }
            result.open = true;
            continue;
        }
        if (block.role == "AXButton" && block.labelOnce() == "Copy") {
            closeAnswer(true);
            state = 0;
            result.open = false;
            continue;
        }
        if (block.role == "AXGroup") {
            if (!bareText(*block.node, false).empty()) answer.push_back(block.node);
        }
        result.open = true;
    }
    if (state == 2) closeAnswer(false);
    return result;
}

AXNodePtr stopIn(Seen& node, Kids* knownKids, int depth) {
    if (depth > kStopButtonDepth) return nullptr;
    if (node.role == "AXButton") {
        const auto& label = node.labelOnce();
        if (label.starts_with("Stop") && text::graphemeCount(label) < kStopLabelLimit) return node.node;
    }
    if (depth == kStopButtonDepth) return nullptr;
    Kids own;
    Kids& kids = knownKids ? *knownKids : (own = readKids(*node.node));
    KidsCache cache;
    if (anyControls(kids, cache)) return nullptr;  // the thread itself: its buttons belong to messages
    for (std::size_t i = 0; i < kids.size(); ++i) {
        if (auto hit = stopIn(kids[i], cache[i] ? &*cache[i] : nullptr, depth + 1)) return hit;
    }
    return nullptr;
}

}  // namespace

AXNodePtr PerplexityTranscriptParser::findLandmarkMain(const AXNode& scope) {
    return findBySubrole(borrowed(scope), "AXLandmarkMain", 0, kLandmarkDepth);
}

AXNodePtr PerplexityTranscriptParser::findContainer(const AXNode& landmark) {
    auto thread = kThreadRows[0].second(landmark);
    return thread ? thread->node : nullptr;
}

bool PerplexityTranscriptParser::isQueryControls(const AXNode& node) {
    auto role = node.role();
    if (role != "AXGroup") return false;
    auto kids = readKids(node);
    return isControls(role, kids);
}

bool PerplexityTranscriptParser::isCitationChip(const AXNode& node) {
    auto role = node.role();
    if (role != "AXGroup") return false;
    auto kids = readKids(node);
    return isChip(role, kids);
}

std::string PerplexityTranscriptParser::bareStaticText(const AXNode& block) { return bareText(block, false); }

AXNodePtr PerplexityTranscriptParser::findStopButton(const AXNode& scope) {
    auto s = seen(scope);
    return stopIn(s, nullptr, 0);
}

PerplexityTranscriptParser::Segmentation PerplexityTranscriptParser::segment(const AXNode& container) {
    Thread thread{borrowed(container), readKids(container), {}};
    return run(thread);
}

namespace {

// The thread's turns by the first row that finds a thread with turns.
std::optional<PerplexityTranscriptParser::Segmentation> segmentThread(const AXNode& scope) {
    auto landmark = PerplexityTranscriptParser::findLandmarkMain(scope);
    if (!landmark) return std::nullopt;
    for (const auto& [name, find] : kThreadRows) {
        auto thread = find(*landmark);
        if (!thread) continue;
        auto segmentation = run(*thread);
        if (!segmentation.turns.empty()) return segmentation;
    }
    return std::nullopt;
}

std::string rowNames(const char* what) {
    std::string out = what;
    out += ": ";
    for (std::size_t i = 0; i < std::size(kThreadRows); ++i) {
        if (i) out += " | ";
        out += kThreadRows[i].first;
    }
    return out;
}

bool anyWithRole(const AXNodePtr& scope, std::string_view role) {
    auto found = segmentThread(*scope);
    return found && std::any_of(found->turns.begin(), found->turns.end(),
                                [&](const auto& t) { return t.first == role; });
}

}  // namespace

const ParserAnchors& PerplexityTranscriptParser::anchors() {
    static const ParserAnchors rows{
        {rowNames("thread (in the main landmark)"), [](const AXNodePtr& s) { return segmentThread(*s).has_value(); }},
        {rowNames("queries"), [](const AXNodePtr& s) { return anyWithRole(s, "user"); }},
        {rowNames("answers"), [](const AXNodePtr& s) { return anyWithRole(s, "assistant"); }},
    };
    return rows;
}

std::optional<SegmenterSnapshot> PerplexityTranscriptParser::snapshot(const AXNode& scope,
                                                                      std::optional<std::string> conversationKey) const {
    auto segmentation = segmentThread(scope);
    if (!segmentation) return std::nullopt;

    SegmenterSnapshot snap;
    snap.conversationKey = std::move(conversationKey);
    const int total = static_cast<int>(segmentation->turns.size());
    for (int i = 0; i < total; ++i) {
        auto& [role, text] = segmentation->turns[static_cast<std::size_t>(i)];
        RawTurn turn;
        turn.index = i + 1;
        turn.total = total;
        turn.role = std::move(role);
        turn.text = std::move(text);
        snap.turns.push_back(std::move(turn));
    }
    snap.responseComplete = !segmentation->open && findStopButton(scope) == nullptr;
    return snap;
}

}  // namespace velmar
