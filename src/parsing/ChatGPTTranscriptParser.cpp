#include "parsing/ChatGPTTranscriptParser.hpp"

#include "ax/NodeText.hpp"
#include "text/Unicode.hpp"

#include <algorithm>

namespace velmar {
namespace {

constexpr int kLandmarkDepth = 25;
constexpr int kSegmentDepth = 20;
constexpr int kTextDepth = 40;
constexpr int kStopTextDepth = 40;
constexpr int kStopButtonDepth = 60;

constexpr std::string_view kUserPrefix = "You said:";
constexpr std::string_view kAssistantPrefix = "ChatGPT said:";

void collectSegments(const AXNode& node, int depth, std::vector<ChatGPTTranscriptParser::Segment>& out) {
    if (depth > kSegmentDepth) return;
    auto children = node.children();
    std::vector<std::size_t> headings;
    std::vector<std::string> headingLabels;
    for (std::size_t i = 0; i < children.size(); ++i) {
        const auto& child = *children[i];
        if (child.role() != "AXHeading") continue;
        auto label = child.label();
        bool isHeading = label.starts_with(kUserPrefix) || label.starts_with(kAssistantPrefix);
        if (!isHeading) isHeading = hasClass(child.domClassList(), "sr-only");
        if (isHeading) {
            headings.push_back(i);
            headingLabels.push_back(std::move(label));
        }
    }
    if (!headings.empty()) {
        for (std::size_t h = 0; h < headings.size(); ++h) {
            std::size_t end = h + 1 < headings.size() ? headings[h + 1] : children.size();
            ChatGPTTranscriptParser::Segment segment{children[headings[h]], std::move(headingLabels[h]), {}};
            segment.body.assign(children.begin() + static_cast<std::ptrdiff_t>(headings[h] + 1),
                                children.begin() + static_cast<std::ptrdiff_t>(end));
            out.push_back(std::move(segment));
        }
        return;
    }
    if (depth == kSegmentDepth) return;
    for (const auto& child : children) collectSegments(*child, depth + 1, out);
}

}  // namespace

AXNodePtr ChatGPTTranscriptParser::findLandmarkMain(const AXNode& scope) {
    return findBySubrole(borrowed(scope), "AXLandmarkMain", 0, kLandmarkDepth);
}

std::vector<ChatGPTTranscriptParser::Segment> ChatGPTTranscriptParser::turnSegments(const AXNode& landmark) {
    std::vector<Segment> out;
    collectSegments(landmark, 0, out);
    return out;
}

std::optional<std::string> ChatGPTTranscriptParser::role(const Segment& segment) {
    if (segment.headingLabel.starts_with(kUserPrefix)) return "user";
    if (segment.headingLabel.starts_with(kAssistantPrefix)) return "assistant";
    for (const auto& node : segment.body) {
        if (node->role() != "AXGroup") continue;
        auto label = node->label();
        if (label == "Your message actions") return "user";
        if (label == "Response actions") return "assistant";
    }
    return std::nullopt;
}

std::string ChatGPTTranscriptParser::text(const Segment& segment, bool stopAtFirstButton) {
    std::vector<AXNodePtr> body;
    for (const auto& node : segment.body) {
        if (stopAtFirstButton && node->role() == "AXButton") break;
        body.push_back(node);
    }
    NodeTextRules rules;
    rules.maxDepth = kTextDepth;
    // The screen-reader headings that open a message are not its text.
    rules.dropLeaf = [](const std::string& t) { return t == kUserPrefix || t == kAssistantPrefix; };
    return NodeText::of(body, rules);
}

std::vector<ChatGPTTranscriptParser::Segment> ChatGPTTranscriptParser::segmentsOf(const AXNode& scope) {
    auto landmark = findLandmarkMain(scope);
    if (!landmark) return {};
    return turnSegments(*landmark);
}

std::optional<SegmenterSnapshot> ChatGPTTranscriptParser::snapshot(const AXNode& scope,
                                                                   const std::vector<Segment>& segments,
                                                                   std::optional<std::string> conversationKey) const {
    if (segments.empty()) return std::nullopt;
    SegmenterSnapshot snap;
    snap.conversationKey = std::move(conversationKey);
    const int n = static_cast<int>(segments.size());
    for (int p = 1; p <= n; ++p) {
        const auto& segment = segments[static_cast<std::size_t>(p - 1)];
        auto r = role(segment);
        if (!r) continue;
        bool stop = *r == "user" && userBodyEndsAtFirstButton;
        RawTurn turn;
        turn.index = p;
        turn.total = n;
        turn.role = *r;
        turn.text = text(segment, stop);
        snap.turns.push_back(std::move(turn));
    }
    if (containsText(scope, 0, kStopTextDepth, labelEquals("Stop answering"))) {
        snap.responseComplete = false;
    } else if (!extraStopButtonLabels.empty()) {
        auto stop = find(borrowed(scope), "AXButton",
                         [this](const std::string& label) { return extraStopButtonLabels.count(label) > 0; }, 0,
                         kStopButtonDepth);
        snap.responseComplete = stop == nullptr;
    }
    return snap;
}

std::optional<SegmenterSnapshot> ChatGPTTranscriptParser::snapshot(const AXNode& scope,
                                                                   std::optional<std::string> conversationKey) const {
    return snapshot(scope, segmentsOf(scope), std::move(conversationKey));
}

std::optional<std::string> ChatGPTTranscriptParser::firstUserPromptText(const std::vector<Segment>& segments) {
    for (const auto& segment : segments) {
        if (role(segment) != "user") continue;
        auto text = ChatGPTTranscriptParser::text(segment, true);
        if (text.empty()) return std::nullopt;
        return text;
    }
    return std::nullopt;
}

std::optional<std::string> ChatGPTTranscriptParser::firstUserPromptText(const AXNode& scope) const {
    return firstUserPromptText(segmentsOf(scope));
}

}  // namespace velmar
