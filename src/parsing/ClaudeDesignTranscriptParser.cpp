#include "parsing/ClaudeDesignTranscriptParser.hpp"

#include "ax/NodeText.hpp"

#include "parsing/AttachmentMarkers.hpp"
#include "text/Regex.hpp"
#include "text/Unicode.hpp"

#include <algorithm>

namespace velmar {
namespace {

constexpr int kContainerDepth = 45;
constexpr int kBubbleDepth = 45;
constexpr int kUnitTextDepth = 30;
constexpr int kMarkerDepth = 10;
constexpr int kTileImageDepth = 4;
constexpr int kSingleChildSteps = 10;
constexpr int kRunTextDepth = 6;
constexpr int kStopButtonDepth = 60;
constexpr int kComposerDepth = 60;
constexpr int kPickerDepth = 8;
constexpr int kComposerAncestors = 6;  // the text area and its five nearest ancestors
constexpr int kPopupWalkDepth = 45;
constexpr int kPopupSteps = 40;

constexpr std::string_view kChatContainerClass = "om-chat-messages";
constexpr std::string_view kAttachmentClass = "om-attachment-thumb";

// Texts the page shows in a message that the user did not write.
bool isChatChrome(const std::string& trimmed) {
    static const text::Regex pastedLabel(R"(^Pasted text \(\d+ lines?\)$)");
    return trimmed.starts_with("<system-info") || trimmed == "Response stopped" || pastedLabel.search(trimmed);
}

AXNodePtr findChatContainer(const AXNodePtr& node, int depth) {
    if (depth > kContainerDepth) return nullptr;
    if (hasClass(node->domClassList(), kChatContainerClass)) return node;
    if (depth == kContainerDepth) return nullptr;
    for (const auto& child : node->children()) {
        if (auto hit = findChatContainer(child, depth + 1)) return hit;
    }
    return nullptr;
}

// The marker of one attachment tile: named after the first image in it.
std::string tileMarker(const AXNode& tile) {
    auto image = find(borrowed(tile), "AXImage", [](const std::string&) { return true; }, 0, kTileImageDepth);
    auto name = image ? image->label() : tile.label();
    return AttachmentMarkers::marker(name);
}

void collectMarkers(const AXNode& node, int depth, std::vector<std::string>& out) {
    if (depth > kMarkerDepth) return;
    if (hasClass(node.domClassList(), kAttachmentClass)) {
        out.push_back(tileMarker(node));
        return;
    }
    if (depth == kMarkerDepth) return;
    for (const auto& child : node.children()) collectMarkers(*child, depth + 1, out);
}

void collectBubbles(const AXNodePtr& node, int depth, std::vector<AXNodePtr>& out) {
    if (depth > kBubbleDepth) return;
    if (ClaudeDesignTranscriptParser::isUserBubbleClassList(node->domClassList())) out.push_back(node);
    if (depth == kBubbleDepth) return;
    for (const auto& child : node->children()) collectBubbles(child, depth + 1, out);
}

RawTurn userTurn(int index, std::string text) {
    RawTurn turn;
    turn.index = index;
    turn.role = "user";
    turn.text = std::move(text);
    return turn;
}

void numberTotals(std::vector<RawTurn>& turns) {
    for (auto& t : turns) t.total = static_cast<int>(turns.size());
}

// Follows single-child chains down from the container to the node whose
// children are the messages.
AXNodePtr unitNode(const AXNode& container) {
    AXNodePtr node = borrowed(container);
    for (int step = 0; step < kSingleChildSteps; ++step) {
        auto children = node->children();
        if (children.size() != 1) break;
        node = children.front();
    }
    return node;
}

struct FlatEntry {
    std::string text;
    std::vector<std::string> markers;
};

void collectFlatBubbles(const AXNode& node, int depth, std::vector<FlatEntry>& out) {
    if (depth >= kBubbleDepth) return;  // children would lie past the cap
    std::vector<std::string> pending;
    for (const auto& child : node.children()) {
        if (child->role() == "AXWebArea") continue;  // a nested document is not this chat
        auto classes = child->domClassList();
        if (hasClass(classes, kAttachmentClass)) {
            pending.push_back(tileMarker(*child));
        } else if (ClaudeDesignTranscriptParser::isUserBubbleClassList(classes)) {
            out.push_back({ClaudeDesignTranscriptParser::unitText(*child), std::move(pending)});
            pending.clear();
        } else {
            collectFlatBubbles(*child, depth + 1, out);
        }
    }
}

// The composer: the first text area, to depth 60.
FirstHit composerSearch() {
    return {kComposerDepth, [](const NodeView& n) { return n.role() == "AXTextArea"; }};
}

struct PopupSearch {
    bool afterComposer = false;
    int stepsUsed = 0;
    bool done = false;
    std::optional<std::string> result;

    void visit(const AXNode& node, int depth) {
        if (done || depth > kPopupWalkDepth) return;
        auto role = node.role();
        if (depth > 0 && role == "AXWebArea") return;
        if (afterComposer) {
            ++stepsUsed;
            if (role == "AXPopUpButton") {
                auto label = node.label();
                if (!label.empty()) {
                    result = std::move(label);
                    done = true;
                    return;
                }
            }
            if (stepsUsed >= kPopupSteps) {
                done = true;
                return;
            }
        } else if (role == "AXTextArea") {
            afterComposer = true;
        }
        if (depth == kPopupWalkDepth) return;
        for (const auto& child : node.children()) {
            visit(*child, depth + 1);
            if (done) return;
        }
    }
};

}  // namespace

bool ClaudeDesignTranscriptParser::isUserBubbleClassList(const std::vector<std::string>& classes) {
    return hasClass(classes, "select-text") && hasClass(classes, "w-fit") &&
           std::any_of(classes.begin(), classes.end(), [](const std::string& c) { return c.starts_with("max-w-"); });
}

std::string ClaudeDesignTranscriptParser::unitText(const AXNode& unit) {
    NodeTextRules rules;
    rules.maxDepth = kUnitTextDepth;
    // Chips and buttons drawn as text are not the message; attachment tiles
    // are its markers.
    rules.skip = [](const NodeView& n) {
        return hasClass(n.domClassList(), "cursor-pointer") || hasClass(n.domClassList(), kAttachmentClass);
    };
    rules.dropLeaf = [](const std::string& t) { return isChatChrome(text::trim(t)); };
    return NodeText::of(unit, rules);
}

std::vector<std::string> ClaudeDesignTranscriptParser::attachmentMarkersInUnit(const AXNode& unit) {
    std::vector<std::string> out;
    collectMarkers(unit, 0, out);
    return out;
}

ClaudeDesignTranscriptParser::DesignTurns ClaudeDesignTranscriptParser::designTurns(const AXNode& container) {
    DesignTurns result;
    std::vector<AXNodePtr> bubbles;
    collectBubbles(borrowed(container), 0, bubbles);
    if (!bubbles.empty()) {
        int index = 0;
        for (const auto& bubble : bubbles) {
            std::vector<std::string> markers;
            // Attachments sit beside the bubble, in the row that holds it.
            if (auto parent = bubble->parent()) markers = attachmentMarkersInUnit(*parent);
            result.turns.push_back(
                userTurn(++index, AttachmentMarkers::appending(unitText(*bubble), markers)));
        }
        numberTotals(result.turns);
        return result;
    }
    auto unit = unitNode(container);
    result.turns = structuralUnitTurns(*unit);
    if (!result.turns.empty()) return result;
    result.turns = mergedTurns(*unit);
    result.usedFallback = true;
    return result;
}

ClaudeDesignTranscriptParser::BareTexts ClaudeDesignTranscriptParser::leadingBareTexts(
    const std::vector<AXNodePtr>& nodes, std::size_t from) {
    BareTexts result;
    std::size_t i = from;
    for (; i < nodes.size(); ++i) {
        if (nodes[i]->role() != "AXStaticText") break;
        auto label = nodes[i]->label();
        auto trimmed = text::trim(label);
        if (text::graphemeCount(trimmed) < 2) break;
        if (!isChatChrome(trimmed)) result.texts.push_back(std::move(label));
    }
    result.next = i;
    return result;
}

std::vector<RawTurn> ClaudeDesignTranscriptParser::structuralUnitTurns(const AXNode& unit) {
    std::vector<RawTurn> turns;
    for (const auto& child : unit.children()) {
        auto bare = leadingBareTexts(child->children(), 0);
        if (bare.texts.empty()) continue;
        auto text = AttachmentMarkers::appending(text::joinLines(bare.texts), attachmentMarkersInUnit(*child));
        turns.push_back(userTurn(static_cast<int>(turns.size()) + 1, std::move(text)));
    }
    numberTotals(turns);
    return turns;
}

std::vector<RawTurn> ClaudeDesignTranscriptParser::mergedTurns(const AXNode& unit) {
    std::vector<RawTurn> turns;
    auto children = unit.children();
    for (std::size_t p = 0; p < children.size(); ++p) {
        RawTurn turn;
        turn.index = static_cast<int>(p) + 1;
        turn.total = static_cast<int>(children.size());
        turn.role = p % 2 == 0 ? "user" : "assistant";
        turn.text = unitText(*children[p]);
        if (turn.role == "user") turn.text = AttachmentMarkers::appending(turn.text, attachmentMarkersInUnit(*children[p]));
        turns.push_back(std::move(turn));
    }
    return turns;
}

std::vector<RawTurn> ClaudeDesignTranscriptParser::flatBubbleTurns(const AXNode& scope) {
    std::vector<FlatEntry> entries;
    collectFlatBubbles(scope, 0, entries);
    std::vector<RawTurn> turns;
    for (auto& e : entries) {
        turns.push_back(userTurn(static_cast<int>(turns.size()) + 1, AttachmentMarkers::appending(e.text, e.markers)));
    }
    numberTotals(turns);
    return turns;
}

AXNodePtr ClaudeDesignTranscriptParser::webKitTranscriptRun(const AXNode& scope) {
    AXNodePtr run;
    for (const auto& child : scope.children()) {
        auto role = child->role();
        if (role == "AXTextArea") break;
        if (role != "AXGroup" || child->subrole() == "AXEmptyGroup") continue;
        if (find(child, "AXStaticText", [](const std::string&) { return true; }, 0, kRunTextDepth)) run = child;
    }
    return run;
}

std::vector<RawTurn> ClaudeDesignTranscriptParser::structuralRunTurns(const AXNode& run) {
    std::vector<RawTurn> turns;
    std::vector<std::string> pending;
    bool turnStart = true;
    auto children = run.children();
    std::size_t i = 0;
    while (i < children.size()) {
        const auto& child = *children[i];
        auto role = child.role();
        if (role == "AXGroup" && child.subrole() == "AXEmptyGroup") {
            pending.clear();
            turnStart = true;
        } else if (hasClass(child.domClassList(), kAttachmentClass)) {
            pending.push_back(tileMarker(child));
        } else if (turnStart && role == "AXStaticText") {
            auto bare = leadingBareTexts(children, i);
            if (!bare.texts.empty()) {
                turns.push_back(userTurn(static_cast<int>(turns.size()) + 1,
                                         AttachmentMarkers::appending(text::joinLines(bare.texts), pending)));
                pending.clear();
                turnStart = false;
                i = bare.next;
                continue;
            }
        }
        ++i;
    }
    numberTotals(turns);
    return turns;
}

std::optional<std::string> ClaudeDesignTranscriptParser::composerModel(const AXNode& scope) {
    FirstHit textArea = composerSearch();
    findEach(borrowed(scope), {&textArea});
    return modelNearComposer(textArea.node);
}

std::optional<std::string> ClaudeDesignTranscriptParser::modelNearComposer(AXNodePtr node) {
    for (int looked = 0; node && looked < kComposerAncestors; ++looked) {
        if (auto picker = find(node, "AXPopUpButton", labelNotBlank(), 0, kPickerDepth)) return picker->label();
        node = node->parent();
    }
    return std::nullopt;
}

std::optional<std::string> ClaudeDesignTranscriptParser::popupAfterComposer(const AXNode& scope) {
    PopupSearch search;
    search.visit(scope, 0);
    return search.result;
}

std::optional<SegmenterSnapshot> ClaudeDesignTranscriptParser::snapshot(
    const AXNode& scope, std::optional<std::string> conversationKey) const {
    SegmenterSnapshot snap;
    FirstHit stop{kStopButtonDepth, [](const NodeView& n) { return n.role() == "AXButton" && n.label().starts_with("Stop"); }};
    if (auto container = findChatContainer(borrowed(scope), 0)) {
        auto design = designTurns(*container);
        snap.turns = std::move(design.turns);
        snap.usedParityFallback = design.usedFallback;
        // The composer and the stop button: one walk of the page.
        FirstHit textArea = composerSearch();
        findEach(borrowed(scope), {&textArea, &stop});
        snap.model = modelNearComposer(textArea.node);
    } else {
        snap.turns = flatBubbleTurns(scope);
        if (snap.turns.empty()) {
            auto run = webKitTranscriptRun(scope);
            if (!run) return std::nullopt;
            snap.turns = structuralRunTurns(*run);
            if (snap.turns.empty()) return std::nullopt;
        }
        snap.model = popupAfterComposer(scope);
        findEach(borrowed(scope), {&stop});
    }
    snap.responseComplete = stop.node == nullptr;
    snap.conversationKey = std::move(conversationKey);
    snap.surface = "claude_design";
    return snap;
}

}  // namespace velmar
