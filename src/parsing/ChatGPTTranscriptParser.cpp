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

bool isPrefixHeading(const std::string& label) {
    return label.starts_with(kUserPrefix) || label.starts_with(kAssistantPrefix);
}

void findSegments(const AXNode& node, const AXNodePtr& self, int depth,
                  std::vector<ChatGPTTranscriptParser::Segment>& out);

// Kept per element holding at most one message (an article, the page's
// other parts) between reads: of a long conversation, only the messages
// on the way to what changed are looked for again. A list of messages
// changes with each of them: kept, it would be copied and dropped each read.
void collectSegments(const AXNode& node, const AXNodePtr& self, int depth,
                     std::vector<ChatGPTTranscriptParser::Segment>& out) {
    if (depth > kSegmentDepth) return;
    static const char key = 0;
    if (std::any* kept = node.memo(&key, kSegmentDepth - depth); kept && kept->has_value()) {
        const auto& found = std::any_cast<const std::vector<ChatGPTTranscriptParser::Segment>&>(*kept);
        out.insert(out.end(), found.begin(), found.end());
        return;
    }
    const auto first = out.size();
    findSegments(node, self, depth, out);
    if (out.size() - first > 1) return;
    // Asked again after the walk: a list read anew below drops what was kept here.
    if (std::any* kept = node.memo(&key, kSegmentDepth - depth))
        *kept = std::vector<ChatGPTTranscriptParser::Segment>(out.begin() + static_cast<std::ptrdiff_t>(first), out.end());
}

void findSegments(const AXNode& node, const AXNodePtr& self, int depth,
                  std::vector<ChatGPTTranscriptParser::Segment>& out) {
    auto children = node.children();
    std::vector<std::size_t> headings;
    std::vector<std::string> headingLabels;
    for (std::size_t i = 0; i < children.size(); ++i) {
        const auto& child = *children[i];
        if (child.role() != "AXHeading") continue;
        auto label = child.label();
        bool isHeading = isPrefixHeading(label);
        if (!isHeading) isHeading = hasClass(child.domClassList(), "sr-only");
        if (isHeading) {
            headings.push_back(i);
            headingLabels.push_back(std::move(label));
        }
    }
    if (!headings.empty()) {
        for (std::size_t h = 0; h < headings.size(); ++h) {
            std::size_t end = h + 1 < headings.size() ? headings[h + 1] : children.size();
            // Its text is kept by an element holding this message alone (an
            // article): one holding many changes with each of them.
            ChatGPTTranscriptParser::Segment segment{children[headings[h]], std::move(headingLabels[h]), {},
                                                     headings.size() == 1 ? self : nullptr, headings[h]};
            segment.body.assign(children.begin() + static_cast<std::ptrdiff_t>(headings[h] + 1),
                                children.begin() + static_cast<std::ptrdiff_t>(end));
            out.push_back(std::move(segment));
        }
        return;
    }
    if (depth == kSegmentDepth) return;
    for (const auto& child : children) collectSegments(*child, child, depth + 1, out);
}

// Message row 1: the screen-reader headings that open each message, and
// the siblings after each up to the next.
std::vector<ChatGPTTranscriptParser::Segment> headingSegments(const AXNode& transcript) {
    std::vector<ChatGPTTranscriptParser::Segment> out;
    out.reserve(64);
    collectSegments(transcript, nullptr, 0, out);
    return out;
}

void collectArticles(const AXNode& node, int depth, std::vector<ChatGPTTranscriptParser::Segment>& out) {
    if (depth > kSegmentDepth) return;
    for (const auto& child : node.children()) {
        if (child->subrole() == "AXDocumentArticle") {
            out.push_back({nullptr, {}, child->children(), nullptr, 0});
        } else if (depth < kSegmentDepth) {
            collectArticles(*child, depth + 1, out);
        }
    }
}

// Message row 2: one article per turn, where no heading opens the message.
std::vector<ChatGPTTranscriptParser::Segment> articleSegments(const AXNode& transcript) {
    std::vector<ChatGPTTranscriptParser::Segment> out;
    collectArticles(transcript, 0, out);
    return out;
}

struct SegmentRow {
    const char* name;
    std::vector<ChatGPTTranscriptParser::Segment> (*find)(const AXNode& transcript);
};

constexpr SegmentRow kSegmentRows[] = {
    {"'You said:' / 'ChatGPT said:' headings", headingSegments},
    {"articles", articleSegments},
};

using Segment = ChatGPTTranscriptParser::Segment;

// Role row 1: the heading that opens the message.
std::optional<std::string> byHeading(const Segment& segment) {
    if (segment.headingLabel.starts_with(kUserPrefix)) return "user";
    if (segment.headingLabel.starts_with(kAssistantPrefix)) return "assistant";
    return std::nullopt;
}

// Role row 2: the message's labelled action bar.
std::optional<std::string> byActionBar(const Segment& segment) {
    for (const auto& node : segment.body) {
        if (node->role() != "AXGroup") continue;
        auto label = node->label();
        if (label == "Your message actions") return "user";
        if (label == "Response actions") return "assistant";
    }
    return std::nullopt;
}

// Role row 3: the message's own controls, wherever its action bar's
// container went: only a prompt can be edited, only a reply rated.
std::optional<std::string> byControls(const Segment& segment) {
    std::optional<std::string> role;
    for (const auto& node : segment.body) {
        containsText(*node, 0, 8, [&role](const std::string& label) {
            if (label == "Edit message") role = "user";
            else if (label == "Good response" || label == "Bad response") role = "assistant";
            return role.has_value();
        });
        if (role) return role;
    }
    return std::nullopt;
}

struct RoleRow {
    const char* name;
    std::optional<std::string> (*of)(const Segment& segment);
};

constexpr RoleRow kRoleRows[] = {
    {"headings", byHeading},
    {"'Your message actions' / 'Response actions' bars", byActionBar},
    {"'Edit message' / 'Good response' controls", byControls},
};

template <typename Rows>
std::string tableName(std::string kind, const Rows& rows) {
    std::string out = kind + " (first of:";
    bool first = true;
    for (const auto& row : rows) {
        out += std::string(first ? " " : ", ") + row.name;
        first = false;
    }
    return out + ")";
}

}  // namespace

AXNodePtr ChatGPTTranscriptParser::findLandmarkMain(const AXNode& scope) {
    return findBySubrole(borrowed(scope), "AXLandmarkMain", 0, kLandmarkDepth);
}

AXNodePtr ChatGPTTranscriptParser::findTranscript(const AXNode& scope) {
    if (auto main = findLandmarkMain(scope)) return main;
    return borrowed(scope);
}

std::vector<ChatGPTTranscriptParser::Segment> ChatGPTTranscriptParser::turnSegments(const AXNode& transcript) {
    for (const auto& row : kSegmentRows) {
        auto found = row.find(transcript);
        if (!found.empty()) return found;
    }
    return {};
}

std::optional<std::string> ChatGPTTranscriptParser::role(const Segment& segment) {
    for (const auto& row : kRoleRows) {
        if (auto r = row.of(segment)) return r;
    }
    return std::nullopt;
}

const ParserAnchors& ChatGPTTranscriptParser::anchors() {
    // The transcript row always finds a scope (the page itself at worst), so
    // only the message and role tables can fail.
    static const ParserAnchors rows = {
        {tableName("messages in the main landmark or the page", kSegmentRows), [](const AXNodePtr& scope) { return !segmentsOf(*scope).empty(); }},
        {tableName("roles", kRoleRows),
         [](const AXNodePtr& scope) {
             auto segments = segmentsOf(*scope);
             return std::any_of(segments.begin(), segments.end(), [](const Segment& s) { return role(s).has_value(); });
         }},
    };
    return rows;
}

std::string ChatGPTTranscriptParser::text(const Segment& segment, bool stopAtFirstButton) {
    // Kept by the element holding the message: dropped when anything in it changes.
    static const char textKey = 0;
    const int variant = static_cast<int>(segment.at) * 2 + (stopAtFirstButton ? 1 : 0);
    if (std::any* kept = segment.holder ? segment.holder->memo(&textKey, variant) : nullptr; kept && kept->has_value())
        return std::any_cast<const std::string&>(*kept);
    std::string text = textOf(segment, stopAtFirstButton);
    if (std::any* kept = segment.holder ? segment.holder->memo(&textKey, variant) : nullptr) *kept = text;
    return text;
}

std::string ChatGPTTranscriptParser::textOf(const Segment& segment, bool stopAtFirstButton) {
    std::vector<AXNodePtr> body;
    for (const auto& node : segment.body) {
        if (stopAtFirstButton && node->role() == "AXButton") break;
        body.push_back(node);
    }
    NodeTextRules rules;
    rules.maxDepth = kTextDepth;
    // The screen-reader headings that open a message are not its text.
    rules.dropLeaf = [](const std::string& t) { return t == kUserPrefix || t == kAssistantPrefix; };
    static const char key = 0;
    rules.memoKey = &key;
    return NodeText::of(body, rules);
}

std::vector<ChatGPTTranscriptParser::Segment> ChatGPTTranscriptParser::segmentsOf(const AXNode& scope) {
    return turnSegments(*findTranscript(scope));
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
    static const char stopTextKey = 0;
    if (contains(scope, kStopTextDepth, &stopTextKey, [](const NodeView& n) { return n.label() == "Stop answering"; })) {
        snap.responseComplete = false;
    } else if (!extraStopButtonLabels.empty()) {
        snap.responseComplete = !contains(scope, kStopButtonDepth, stopButtonKey, [this](const NodeView& n) {
            return n.role() == "AXButton" && extraStopButtonLabels.count(n.label()) > 0;
        });
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
