#include "parsing/GeminiTranscriptParser.hpp"

#include "ax/NodeText.hpp"
#include "text/Unicode.hpp"

#include <algorithm>
#include <vector>

namespace velmar {
namespace {

constexpr int kContainerDepth = 30;
constexpr int kHeadingDepth = 12;
constexpr int kContentDepth = 12;
// The answer panel sits deeper than the prompt where every wrapper is kept.
constexpr int kAnswerDepth = 16;
constexpr int kTextDepth = 30;
constexpr int kPickerDepth = 30;
constexpr int kPickerButtonDepth = 8;
constexpr int kStopButtonDepth = 40;

constexpr std::string_view kUserHeadingPrefix = "You said ";
constexpr std::string_view kModeSwitchClass = "input-area-switch";

// The model picker: its wrapper where the tree keeps it, else the mode
// switch button (the wrapper is a class-only div, left out on Linux).
bool isPicker(const NodeView& n) {
    return hasClass(n.domClassList(), "with-model-picker") ||
           (hasClass(n.domClassList(), kModeSwitchClass) && (n.role() == "AXPopUpButton" || n.role() == "AXButton"));
}

AXNodePtr findRole(const AXNodePtr& node, std::string_view role, int maxDepth, int depth) {
    if (depth > maxDepth) return nullptr;
    if (node->role() == role) return node;
    if (depth == maxDepth) return nullptr;
    for (const auto& child : node->children()) {
        if (auto hit = findRole(child, role, maxDepth, depth + 1)) return hit;
    }
    return nullptr;
}

RawTurn turn(int index, int total, std::string role, std::string text) {
    RawTurn t;
    t.index = index;
    t.total = total;
    t.role = std::move(role);
    t.text = std::move(text);
    return t;
}

// A row of one of the parser's tables: what it looks for, and how.
template <class Fn>
struct Row {
    const char* name;
    Fn find;
};

bool withClass(const NodeView& n, std::string_view cls) { return hasClass(n.domClassList(), cls); }

// The exchanges (one '.conversation-container' per prompt and answer) under
// the first node that passes `isList`, within the container depth.
std::vector<AXNodePtr> exchangesUnder(const AXNodePtr& scope, const std::function<bool(const NodeView&)>& isList) {
    FirstHit list{kContainerDepth, isList};
    findEach(scope, {&list});
    std::vector<AXNodePtr> out;
    if (!list.node) return out;
    for (auto& child : list.node->children()) {
        if (hasClass(child->domClassList(), "conversation-container")) out.push_back(std::move(child));
    }
    return out;
}

using ExchangeRow = Row<std::vector<AXNodePtr> (*)(const AXNodePtr&)>;
const ExchangeRow kExchangeRows[] = {
    {"'.chat-history' scroller",
     [](const AXNodePtr& s) { return exchangesUnder(s, [](const NodeView& n) { return withClass(n, "chat-history"); }); }},
    // The scroller is a bare custom element: without it, the exchanges are
    // children of its scroll container, which has an id.
    {"'.chat-history-scroll-container'",
     [](const AXNodePtr& s) {
         return exchangesUnder(s, [](const NodeView& n) { return withClass(n, "chat-history-scroll-container"); });
     }},
    {"any parent of '.conversation-container' exchanges",
     [](const AXNodePtr& s) {
         // The first node whose own child is an exchange.
         std::function<AXNodePtr(const AXNodePtr&, int)> parentOf = [&](const AXNodePtr& node, int depth) -> AXNodePtr {
             if (depth >= kContainerDepth) return nullptr;
             auto kids = node->children();
             for (const auto& k : kids)
                 if (hasClass(k->domClassList(), "conversation-container")) return node;
             for (const auto& k : kids)
                 if (auto hit = parentOf(k, depth + 1)) return hit;
             return nullptr;
         };
         auto parent = parentOf(s, 0);
         return parent ? exchangesUnder(parent, [&](const NodeView& n) { return &n.node() == parent.get(); })
                       : std::vector<AXNodePtr>{};
     }},
};

std::vector<AXNodePtr> findExchanges(const AXNodePtr& scope) {
    for (const auto& row : kExchangeRows)
        if (auto found = row.find(scope); !found.empty()) return found;
    return {};
}

// What one walk of an exchange finds: the hidden turn headings, the prompt's
// containers and the answer's.
struct Exchange {
    FirstHit userHeading{kHeadingDepth, headingWith("screen-reader-user-query-label")};
    FirstHit queryContent{kContentDepth, [](const NodeView& n) { return withClass(n, "query-content"); }};
    FirstHit queryLine{kContentDepth, [](const NodeView& n) { return withClass(n, "query-text-line"); }};
    FirstHit modelHeading{kHeadingDepth, headingWith("screen-reader-model-response-label")};
    FirstHit markdown{kAnswerDepth, [](const NodeView& n) { return withClass(n, "markdown"); }};
    FirstHit response{kContentDepth, [](const NodeView& n) { return withClass(n, "response-container"); }};

    explicit Exchange(const AXNodePtr& exchange) {
        findEach(exchange, {&userHeading, &queryContent, &queryLine, &modelHeading, &markdown, &response});
        queryLines = queryLine.node ? siblingsWithClass(queryLine.node, "query-text-line") : std::vector<AXNodePtr>{};
    }

    std::vector<AXNodePtr> queryLines;

    static std::function<bool(const NodeView&)> headingWith(std::string_view cls) {
        return [cls](const NodeView& n) { return n.role() == "AXHeading" && hasClass(n.domClassList(), cls); };
    }
    // The line and the lines beside it: a prompt's paragraphs share a parent.
    static std::vector<AXNodePtr> siblingsWithClass(const AXNodePtr& first, std::string_view cls) {
        auto parent = first->parent();
        if (!parent) return {first};
        std::vector<AXNodePtr> out;
        for (auto& k : parent->children())
            if (hasClass(k->domClassList(), cls)) out.push_back(std::move(k));
        return out;
    }
};

// A prompt's text, by the first row that finds it.
using TextRow = Row<std::optional<std::string> (*)(const Exchange&)>;
const TextRow kUserRows[] = {
    {"'.query-content'",
     [](const Exchange& e) -> std::optional<std::string> {
         if (!e.queryContent.node) return std::nullopt;
         auto text = GeminiTranscriptParser::staticText(*e.queryContent.node);
         return text.empty() ? std::nullopt : std::optional(text);
     }},
    {"'.query-text-line' paragraphs",
     [](const Exchange& e) -> std::optional<std::string> {
         if (e.queryLines.empty()) return std::nullopt;
         NodeTextRules rules;
         rules.maxDepth = kTextDepth;
         auto text = NodeText::of(e.queryLines, rules);
         return text.empty() ? std::nullopt : std::optional(text);
     }},
    // An upload-only prompt shows no query text; the screen-reader heading
    // still spells the question out.
    {"heading '.screen-reader-user-query-label' (\"You said …\")",
     [](const Exchange& e) -> std::optional<std::string> {
         if (!e.userHeading.node) return std::nullopt;
         auto label = e.userHeading.node->label();
         if (!label.starts_with(kUserHeadingPrefix)) return std::string();
         return text::trim(std::string_view(label).substr(kUserHeadingPrefix.size()));
     }},
};

// An answer's text, by the first row that finds it; an answer whose heading
// is there but whose body has not started is an empty turn.
const TextRow kModelRows[] = {
    {"'.markdown' panel",
     [](const Exchange& e) -> std::optional<std::string> {
         if (!e.markdown.node) return std::nullopt;
         return GeminiTranscriptParser::staticText(*e.markdown.node);
     }},
    {"'.response-container'",
     [](const Exchange& e) -> std::optional<std::string> {
         if (!e.response.node) return std::nullopt;
         return GeminiTranscriptParser::staticText(*e.response.node);
     }},
    {"heading '.screen-reader-model-response-label' (\"Gemini said\")",
     [](const Exchange& e) -> std::optional<std::string> {
         if (!e.modelHeading.node) return std::nullopt;
         return std::string();
     }},
};

template <std::size_t N>
std::optional<std::string> firstText(const TextRow (&rows)[N], const Exchange& exchange) {
    for (const auto& row : rows)
        if (auto text = row.find(exchange)) return text;
    return std::nullopt;
}

template <class R, std::size_t N>
std::string namesOf(const char* what, const R (&rows)[N]) {
    std::string out = what;
    out += ": ";
    for (std::size_t i = 0; i < N; ++i) {
        if (i) out += " | ";
        out += rows[i].name;
    }
    return out;
}

// Whether some exchange in the scope has a half that `rows` reads.
template <std::size_t N>
bool someHalf(const AXNodePtr& scope, const TextRow (&rows)[N]) {
    for (const auto& node : findExchanges(scope))
        if (firstText(rows, Exchange(node))) return true;
    return false;
}

}  // namespace

std::string GeminiTranscriptParser::staticText(const AXNode& root) {
    NodeTextRules rules;
    rules.maxDepth = kTextDepth;
    // The screen-reader heading of a turn is not its text.
    rules.skip = [](const NodeView& n) {
        return n.role() == "AXHeading" && hasClass(n.domClassList(), "cdk-visually-hidden");
    };
    static const char key = 0;
    rules.memoKey = &key;
    return NodeText::of(root, rules);
}

std::optional<std::string> GeminiTranscriptParser::modelLabel(const AXNode& scope) {
    FirstHit picker{kPickerDepth, [](const NodeView& n) { return isPicker(n); }};
    findEach(borrowed(scope), {&picker});
    return modelOfPicker(picker.node);
}

std::optional<std::string> GeminiTranscriptParser::modelOfPicker(const AXNodePtr& picker) {
    if (!picker) return std::nullopt;
    // The mode switch itself, or the popup button inside its wrapper.
    auto button = hasClass(picker->domClassList(), kModeSwitchClass) ? picker
                                                                      : findRole(picker, "AXPopUpButton", kPickerButtonDepth, 0);
    if (!button) return std::nullopt;
    auto label = button->label();
    auto comma = label.rfind(", ");
    if (comma == std::string::npos) return std::nullopt;
    auto tail = text::trim(std::string_view(label).substr(comma + 2));

    std::vector<std::string> words;
    std::size_t start = 0;
    while (start <= tail.size()) {
        auto end = tail.find(' ', start);
        if (end == std::string::npos) end = tail.size();
        if (end > start) words.push_back(tail.substr(start, end - start));
        start = end + 1;
    }
    std::string model = tail;
    if (!words.empty() && text::toLower(words.front()) == "currently") {
        model.clear();
        for (std::size_t i = 1; i < words.size(); ++i) {
            if (i > 1) model += ' ';
            model += words[i];
        }
    }
    if (model.empty()) return std::nullopt;
    return model;
}

const ParserAnchors& GeminiTranscriptParser::anchors() {
    static const ParserAnchors rows{
        {namesOf("exchanges", kExchangeRows),
         [](const AXNodePtr& s) { return someHalf(s, kUserRows) || someHalf(s, kModelRows); }},
        {namesOf("prompts", kUserRows), [](const AXNodePtr& s) { return someHalf(s, kUserRows); }},
        {namesOf("answers", kModelRows), [](const AXNodePtr& s) { return someHalf(s, kModelRows); }},
    };
    return rows;
}

std::optional<SegmenterSnapshot> GeminiTranscriptParser::snapshot(const AXNode& scope,
                                                                  std::optional<std::string> conversationKey) const {
    auto scopePtr = borrowed(scope);
    auto exchanges = findExchanges(scopePtr);
    if (exchanges.empty()) return std::nullopt;

    // Both halves of every exchange keep their slot, so a missing half never
    // shifts the numbering of later turns.
    const int total = 2 * static_cast<int>(exchanges.size());
    SegmenterSnapshot snap;
    for (std::size_t i = 0; i < exchanges.size(); ++i) {
        const int base = 2 * static_cast<int>(i);
        Exchange exchange(exchanges[i]);
        if (auto t = firstText(kUserRows, exchange)) snap.turns.push_back(turn(base + 1, total, "user", std::move(*t)));
        if (auto t = firstText(kModelRows, exchange))
            snap.turns.push_back(turn(base + 2, total, "assistant", std::move(*t)));
    }
    if (snap.turns.empty()) return std::nullopt;

    // The stop button and the model picker: one walk of the page.
    FirstHit stop{kStopButtonDepth, [](const NodeView& n) { return n.role() == "AXButton" && n.label().starts_with("Stop"); }};
    FirstHit picker{kPickerDepth, [](const NodeView& n) { return isPicker(n); }};
    findEach(scopePtr, {&stop, &picker});
    snap.conversationKey = std::move(conversationKey);
    snap.responseComplete = stop.node == nullptr;
    snap.model = modelOfPicker(picker.node);
    return snap;
}

}  // namespace velmar
