#include "parsing/GeminiTranscriptParser.hpp"

#include "ax/NodeText.hpp"
#include "parsing/WorkspaceGeminiPanel.hpp"
#include "text/Unicode.hpp"

#include <algorithm>
#include <vector>

namespace velmar {
namespace {

using WorkspaceGeminiPanel::findByClass;

constexpr int kContainerDepth = 30;
constexpr int kHeadingDepth = 12;
constexpr int kContentDepth = 12;
constexpr int kTextDepth = 30;
constexpr int kPickerDepth = 30;
constexpr int kPickerButtonDepth = 8;
constexpr int kStopButtonDepth = 40;

constexpr std::string_view kUserHeadingPrefix = "You said ";

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

// The four landmarks of an exchange, found in one walk to depth 12: every
// one of them is looked for at most that deep, and a half whose heading is
// missing leaves the exchange walked to that depth anyway.
struct Exchange {
    FirstHit userHeading{kHeadingDepth, headingWith("screen-reader-user-query-label")};
    FirstHit queryContent{kContentDepth, withClass("query-content")};
    FirstHit modelHeading{kHeadingDepth, headingWith("screen-reader-model-response-label")};
    FirstHit response{kContentDepth, withClass("response-container")};

    explicit Exchange(const AXNodePtr& exchange) {
        findEach(exchange, {&userHeading, &queryContent, &modelHeading, &response});
    }

    static std::function<bool(const NodeView&)> headingWith(std::string_view cls) {
        return [cls](const NodeView& n) { return n.role() == "AXHeading" && hasClass(n.domClassList(), cls); };
    }
    static std::function<bool(const NodeView&)> withClass(std::string_view cls) {
        return [cls](const NodeView& n) { return hasClass(n.domClassList(), cls); };
    }
};

std::optional<RawTurn> userTurn(const Exchange& exchange, int index, int total) {
    const auto& heading = exchange.userHeading.node;
    if (!heading) return std::nullopt;
    std::string text;
    if (const auto& content = exchange.queryContent.node) text = GeminiTranscriptParser::staticText(*content);
    if (text.empty()) {
        // The visible query may be missing (for example an upload-only prompt);
        // the screen-reader heading still spells the question out.
        auto label = heading->label();
        if (label.starts_with(kUserHeadingPrefix)) text = text::trim(std::string_view(label).substr(kUserHeadingPrefix.size()));
    }
    return turn(index, total, "user", std::move(text));
}

std::optional<RawTurn> modelTurn(const Exchange& exchange, int index, int total) {
    if (!exchange.modelHeading.node) return std::nullopt;
    std::string text;
    if (const auto& response = exchange.response.node) {
        auto root = findByClass(response, "markdown", kContentDepth, 0);
        text = GeminiTranscriptParser::staticText(root ? *root : *response);
    }
    return turn(index, total, "assistant", std::move(text));
}

}  // namespace

std::string GeminiTranscriptParser::staticText(const AXNode& root) {
    NodeTextRules rules;
    rules.maxDepth = kTextDepth;
    // The screen-reader heading of a turn is not its text.
    rules.skip = [](const NodeView& n) {
        return n.role() == "AXHeading" && hasClass(n.domClassList(), "cdk-visually-hidden");
    };
    return NodeText::of(root, rules);
}

std::optional<std::string> GeminiTranscriptParser::modelLabel(const AXNode& scope) {
    return modelOfPicker(findByClass(borrowed(scope), "with-model-picker", kPickerDepth, 0));
}

std::optional<std::string> GeminiTranscriptParser::modelOfPicker(const AXNodePtr& picker) {
    if (!picker) return std::nullopt;
    auto button = findRole(picker, "AXPopUpButton", kPickerButtonDepth, 0);
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

std::optional<SegmenterSnapshot> GeminiTranscriptParser::snapshot(const AXNode& scope,
                                                                  std::optional<std::string> conversationKey) const {
    auto scopePtr = borrowed(scope);
    auto container = findByClass(scopePtr, "chat-history", kContainerDepth, 0);
    if (!container) return std::nullopt;

    std::vector<AXNodePtr> exchanges;
    for (auto& child : container->children()) {
        if (hasClass(child->domClassList(), "conversation-container")) exchanges.push_back(std::move(child));
    }
    if (exchanges.empty()) return std::nullopt;

    // Both halves of every exchange keep their slot, so a missing half never
    // shifts the numbering of later turns.
    const int total = 2 * static_cast<int>(exchanges.size());
    SegmenterSnapshot snap;
    for (std::size_t i = 0; i < exchanges.size(); ++i) {
        const int base = 2 * static_cast<int>(i);
        Exchange exchange(exchanges[i]);
        if (auto t = userTurn(exchange, base + 1, total)) snap.turns.push_back(std::move(*t));
        if (auto t = modelTurn(exchange, base + 2, total)) snap.turns.push_back(std::move(*t));
    }
    if (snap.turns.empty()) return std::nullopt;

    // The stop button and the model picker: one walk of the page.
    FirstHit stop{kStopButtonDepth, [](const NodeView& n) { return n.role() == "AXButton" && n.label().starts_with("Stop"); }};
    FirstHit picker{kPickerDepth, [](const NodeView& n) { return hasClass(n.domClassList(), "with-model-picker"); }};
    findEach(scopePtr, {&stop, &picker});
    snap.conversationKey = std::move(conversationKey);
    snap.responseComplete = stop.node == nullptr;
    snap.model = modelOfPicker(picker.node);
    return snap;
}

}  // namespace velmar
