#include "parsing/ClaudeTranscriptParser.hpp"

#include "ax/NodeText.hpp"

#include "parsing/AttachmentMarkers.hpp"
#include "parsing/ClaudeMessageRows.hpp"
#include "text/Regex.hpp"
#include "text/Unicode.hpp"

#include <algorithm>

namespace velmar {
namespace {

constexpr int kContainerDepth = 60;
constexpr int kProjectDepth = 60;
constexpr int kTextDepth = 40;
constexpr int kContentDepth = 40;
constexpr int kChipDepth = 40;
constexpr int kComposerDepth = 40;
constexpr int kSearchDepth = 30;  // image names and artifact searches
constexpr int kLeafDepth = 25;
constexpr std::size_t kTitleLimit = 256;

constexpr std::string_view kContainerLabel = ClaudeMessageRows::containerLabel;
constexpr std::string_view kUserHeading = ClaudeMessageRows::userHeading;
constexpr std::string_view kAssistantHeading = ClaudeMessageRows::assistantHeading;

// An artifact card. Whole class names only: Tailwind variants such as
// "group-hover/artifact-block:opacity-100" sit on the card's own children.
bool isArtifactCard(const std::vector<std::string>& classes) { return hasClass(classes, "artifact-block-cell"); }

// A file caption under a card or an attachment (Tailwind's line-clamp-N, any N).
bool isCaption(const std::vector<std::string>& classes) {
    return hasClass(classes, "text-[11px]") &&
           std::any_of(classes.begin(), classes.end(), [](const std::string& c) { return c.starts_with("line-clamp-"); });
}

std::optional<int> chipLineCount(const std::string& label) {
    auto match = ClaudeTranscriptParser::pasteChipRe().firstMatch(label);
    if (!match) return std::nullopt;
    return match->groupNumber(1);
}

std::string lineWord(int lines) { return lines == 1 ? "line" : "lines"; }

// Static texts inside a message that are interface, not message: the hidden
// headings, the reasoning toggle and the timestamps.
bool isTranscriptChrome(const std::string& label) {
    static const text::Regex relativeTime(R"(^\d+ (second|minute|hour|day|week|month|year)s? ago$)");
    static const text::Regex clockTime(R"(^\d{1,2}:\d{2}(:\d{2})?\s?(AM|PM|am|pm)?$)");
    static const text::Regex monthDay(
        R"(^(January|February|March|April|May|June|July|August|September|October|November|December) \d{1,2}(, \d{4})?$)");
    if (text::isBlank(label)) return true;
    if (label.starts_with(kUserHeading) || label.starts_with(kAssistantHeading)) return true;
    if (label == "Thought process" || label == "just now" || label == "yesterday" || label == "Today" ||
        label == "Yesterday") {
        return true;
    }
    // Each pattern needs a literal that most labels lack: test that first.
    const bool maybeRelative = label.find(" ago") != std::string::npos;
    const bool maybeClock = label.find(':') != std::string::npos;
    const bool maybeMonth = std::string_view("JFMASOND").find(label.front()) != std::string_view::npos;
    return (maybeRelative && relativeTime.search(label)) || (maybeClock && clockTime.search(label)) ||
           (maybeMonth && monthDay.search(label));
}

std::optional<ClaudeTranscriptParser::PasteChip> chipOf(const AXNode& button, const std::string& label) {
    auto lines = chipLineCount(label);
    if (!lines) return std::nullopt;
    return ClaudeTranscriptParser::PasteChip{*lines, ClaudeTranscriptParser::chipPreview(button)};
}

// Everything one message group says, gathered in one walk to depth 40 that
// reads each node once: its text nodes (the role, collapsed messages), its
// content (texts, paste chips, image names; the subtrees content skips are
// still walked for the rest) and, to depth 30, the artifact clues. Every
// search keeps its own cap and takes its first hit in pre-order, so each
// finds what a walk of its own would.
struct MessageWalk {
    std::vector<std::string> nodeTexts;  // every non-blank label
    std::vector<ClaudeTranscriptParser::PasteChip> chips;
    std::vector<std::optional<std::string>> imageNames;
    AXNodePtr artifactBlock;
    std::optional<std::string> viewButtonTitle;
    bool interactiveArtifact = false;

    explicit MessageWalk(const AXNode& group) { visit(borrowed(group), 0, true); }

    void visit(const AXNodePtr& node, int depth, bool content) {
        if (depth > kTextDepth) return;
        auto label = node->label();
        if (!label.empty()) nodeTexts.push_back(label);
        auto role = node->role();
        std::optional<std::vector<std::string>> classList;
        const auto classes = [&]() -> const std::vector<std::string>& {
            if (!classList) classList = node->domClassList();
            return *classList;
        };
        if (depth <= kSearchDepth) {
            if (!artifactBlock && isArtifactCard(classes())) artifactBlock = node;
            if (!viewButtonTitle && role == "AXButton") viewButtonTitle = ClaudeTranscriptParser::titleFromViewLabel(label);
            if (role == "AXStaticText" && label == "Interactive artifact") interactiveArtifact = true;
        }
        if (content) content = takeContent(*node, role, label, classes());
        if (depth == kTextDepth) return;
        for (const auto& child : node->children()) visit(child, depth + 1, content);
    }

    // The content rules, first match decides; true when the children are content too.
    bool takeContent(const AXNode& node, const std::string& role, const std::string& label,
                     const std::vector<std::string>& classes) {
        if (hasClass(classes, "group/thumbnail")) {
            imageNames.push_back(ClaudeTranscriptParser::imageChipName(node));
            return false;
        }
        if (role == "AXButton") {
            // Button text is never message text; only a paste chip says something.
            if (auto chip = chipOf(node, label)) chips.push_back(std::move(*chip));
            return false;
        }
        if (role == "AXToolbar") return false;                             // message action bar
        if (isArtifactCard(classes)) return false;  // reported as artifact fields
        if (isCaption(classes)) return false;
        return role != "AXStaticText";
    }
};

// The message's text by the same content rules: thumbnails, controls,
// artifact cards, captions and the transcript's own chrome are not its text.
std::string messageText(const AXNode& group) {
    NodeTextRules rules;
    rules.maxDepth = kTextDepth;
    rules.skip = [](const NodeView& n) {
        const auto& classes = n.domClassList();
        return hasClass(classes, "group/thumbnail") || isArtifactCard(classes) || isCaption(classes);
    };
    rules.dropLeaf = [](const std::string& t) { return isTranscriptChrome(t); };
    static const char key = 0;
    rules.memoKey = &key;
    return NodeText::of(group, rules);
}

void collectChips(const AXNode& node, bool excludingChat, int depth, std::vector<ClaudeTranscriptParser::PasteChip>& out) {
    if (depth > kChipDepth) return;
    auto role = node.role();
    if (role == "AXButton") {
        if (auto chip = chipOf(node, node.label())) out.push_back(std::move(*chip));
        return;
    }
    if (excludingChat && role == "AXGroup" && node.label() == kContainerLabel) return;
    if (depth == kChipDepth) return;
    for (const auto& child : node.children()) collectChips(*child, excludingChat, depth + 1, out);
}

using NodeTest = std::function<bool(const AXNode&)>;

// First node in pre-order, the start node included, to depth 30.
AXNodePtr firstNode(const AXNodePtr& node, const NodeTest& test, int depth = 0) {
    if (depth > kSearchDepth) return nullptr;
    if (test(*node)) return node;
    if (depth == kSearchDepth) return nullptr;
    for (const auto& child : node->children()) {
        if (auto hit = firstNode(child, test, depth + 1)) return hit;
    }
    return nullptr;
}

// The title a view button gives, when the node is one.
std::optional<std::string> viewButtonTitle(const AXNode& node) {
    if (node.role() != "AXButton") return std::nullopt;
    return ClaudeTranscriptParser::titleFromViewLabel(node.label());
}

std::optional<std::string> firstViewButtonTitle(const AXNode& root) {
    std::optional<std::string> title;
    firstNode(borrowed(root), [&title](const AXNode& n) { return (title = viewButtonTitle(n)).has_value(); });
    return title;
}

// What a message's artifact clues add up to: a card, else a view button, else
// the interactive-artifact label, else no artifact.
std::optional<ClaudeTranscriptParser::Artifact> artifactOf(const MessageWalk& walk) {
    using Artifact = ClaudeTranscriptParser::Artifact;
    if (const auto& block = walk.artifactBlock) {
        if (auto card = ClaudeTranscriptParser::cardFromLeaves(ClaudeTranscriptParser::textLeaves(*block, 2))) {
            return Artifact{card->title, card->type};
        }
        if (auto title = firstViewButtonTitle(*block)) return Artifact{title, std::nullopt};
        return Artifact{};
    }
    if (walk.viewButtonTitle) return Artifact{walk.viewButtonTitle, std::nullopt};
    if (walk.interactiveArtifact) return Artifact{std::nullopt, "Interactive artifact"};
    return std::nullopt;
}

void collectLeaves(const AXNode& node, std::size_t limit, int depth, std::vector<std::string>& out) {
    if (depth > kLeafDepth || out.size() >= limit) return;
    auto role = node.role();
    if (role == "AXButton" || role == "AXToolbar") return;
    if (role == "AXStaticText") {
        auto trimmed = text::trim(node.label());
        if (!trimmed.empty()) out.push_back(std::move(trimmed));
        return;
    }
    if (depth == kLeafDepth) return;
    for (const auto& child : node.children()) {
        collectLeaves(*child, limit, depth + 1, out);
        if (out.size() >= limit) return;
    }
}

bool isComposer(const AXNode& node, const std::string& role) {
    return role == "AXTextArea" && hasClass(node.domClassList(), "ProseMirror");
}

AXNodePtr findComposer(const AXNodePtr& node, int depth) {
    if (depth > kComposerDepth) return nullptr;
    if (isComposer(*node, node->role())) return node;
    if (depth == kComposerDepth) return nullptr;
    for (const auto& child : node->children()) {
        if (auto hit = findComposer(child, depth + 1)) return hit;
    }
    return nullptr;
}

// The page around the transcript, surveyed in one walk: the transcript
// container and the project checkbox (to depth 60), the composer, the model
// line, the completion notice and the paste chips outside the transcript (to
// depth 40). Every search keeps its own cap and first-hit rule, and the walk
// goes only where some search still looks, so each finds what a walk of its
// own would and nothing is visited that one of them would not visit.
struct PageSurvey {
    bool wantProject;
    AXNodePtr container;
    bool project = false;
    AXNodePtr composer;
    std::optional<std::string> model;
    bool finished = false;
    std::vector<ClaudeTranscriptParser::PasteChip> chips;

    PageSurvey(const AXNode& scope, bool detectFields) : wantProject(detectFields) { visit(borrowed(scope), 0, true); }

    bool deepSearching() const { return !container || (wantProject && !project); }
    bool shallowSearching() const { return !composer || !model || !finished; }

    // The searches still open. A subtree in which none of them found anything
    // is not visited again, with the same searches open at the same depth,
    // until something in it changes: a long page is surveyed along what changed.
    int open() const {
        return int(!container) | int(wantProject && !project) << 1 | int(!composer) << 2 | int(!model) << 3 |
               int(!finished) << 4 | int(wantProject) << 5;
    }

    void visit(const AXNodePtr& node, int depth, bool chipsHere) {
        if (depth > kContainerDepth) return;
        static const char nothingHere = 0;
        const int variant = (depth * 2 + int(chipsHere)) * 64 + open();
        if (std::any* none = node->memo(&nothingHere, variant, true); none && none->has_value()) return;
        const auto before = std::pair(open(), chips.size());
        survey(node, depth, chipsHere);
        if (std::pair(open(), chips.size()) != before) return;
        if (std::any* none = node->memo(&nothingHere, variant, true)) *none = true;
    }

    void survey(const AXNodePtr& node, int depth, bool chipsHere) {
        auto role = node->role();
        std::optional<std::string> read;
        const auto label = [&]() -> const std::string& {
            if (!read) read = node->label();
            return *read;
        };
        if (!container && role == "AXGroup" && label() == kContainerLabel) container = node;
        if (wantProject && !project && role == "AXCheckBox" && label().starts_with("Project: ")) project = true;
        const bool shallow = depth <= kComposerDepth;
        if (shallow) {
            if (!composer && isComposer(*node, role)) composer = node;
            if (!model && label().starts_with("Model: ")) model = label().substr(7);
            if (label() == "Claude finished the response") finished = true;
        }
        if (shallow && chipsHere) {
            if (role == "AXButton") {
                if (auto chip = chipOf(*node, label())) chips.push_back(std::move(*chip));
                chipsHere = false;  // nor below a button
            } else if (role == "AXGroup" && label() == kContainerLabel) {
                chipsHere = false;  // the transcript's own chips are its messages'
            }
        }
        const bool below = depth < kContainerDepth && deepSearching();
        const bool shallowBelow = depth < kComposerDepth && (shallowSearching() || chipsHere);
        if (!below && !shallowBelow) return;
        for (const auto& child : node->children()) visit(child, depth + 1, chipsHere);
    }
};

std::optional<std::string> draftOf(const AXNodePtr& composer) {
    if (!composer) return std::nullopt;
    auto value = composer->string("AXValue");
    if (!value) return std::nullopt;
    auto trimmed = text::trim(*value);
    if (trimmed.empty()) return std::nullopt;
    // An empty field shows its placeholder, which some versions expose as the value.
    if (auto placeholder = composer->string("AXPlaceholderValue"); placeholder && text::trim(*placeholder) == trimmed) {
        return std::nullopt;
    }
    if (trimmed == "Write a message\u2026" || trimmed == "How can I help you today?") return std::nullopt;
    return trimmed;
}

std::string cutTitle(std::string title) {
    if (text::graphemeCount(title) > kTitleLimit) return text::graphemePrefix(title, kTitleLimit);
    return title;
}

}  // namespace

const text::Regex& ClaudeTranscriptParser::pasteChipRe() {
    static const text::Regex re(R"(\bpasted\b.*?(\d+)\s+lines?\s*$)", text::Regex::CaseInsensitive);
    return re;
}

std::optional<std::string> ClaudeTranscriptParser::readComposerDraft(const AXNode& scope) {
    return draftOf(findComposer(borrowed(scope), 0));
}

std::vector<ClaudeTranscriptParser::PasteChip> ClaudeTranscriptParser::pasteChips(const AXNode& scope,
                                                                                  bool excludingChat) {
    std::vector<PasteChip> out;
    collectChips(scope, excludingChat, 0, out);
    return out;
}

std::string ClaudeTranscriptParser::chipPreview(const AXNode& chip) {
    std::string best;
    std::size_t bestLength = 0;
    bool found = false;
    for (auto& t : textNodes(chip, 0, kTextDepth)) {
        if (t.role != "AXStaticText" || t.text == "PASTED") continue;
        auto length = text::graphemeCount(t.text);
        if (!found || length > bestLength) {
            best = std::move(t.text);
            bestLength = length;
            found = true;
        }
    }
    return best;
}

std::optional<ClaudeTranscriptParser::ArtifactCard> ClaudeTranscriptParser::cardFromLeaves(
    const std::vector<std::string>& leaves) {
    std::vector<std::string> kept;
    for (const auto& leaf : leaves) {
        auto trimmed = text::trim(leaf);
        if (!trimmed.empty()) kept.push_back(std::move(trimmed));
    }
    if (kept.empty()) return std::nullopt;
    ArtifactCard card;
    card.title = cutTitle(std::move(kept[0]));
    if (kept.size() > 1) card.type = std::move(kept[1]);
    return card;
}

std::optional<std::string> ClaudeTranscriptParser::titleFromViewLabel(std::string_view label) {
    if (!label.starts_with("View ")) return std::nullopt;
    auto title = text::trim(label.substr(5));
    if (title.empty()) return std::nullopt;
    return cutTitle(std::move(title));
}

std::optional<std::string> ClaudeTranscriptParser::collapsedRecovery(const std::string& body,
                                                                    const std::vector<std::string>& nodeTexts) {
    if (text::trim(body) != "Message collapsed") return std::nullopt;
    for (const auto& t : nodeTexts) {
        for (std::string_view prefix : {"You said: ", "Claude responded: "}) {
            if (t.starts_with(prefix)) return text::trim(std::string_view(t).substr(prefix.size()));
        }
    }
    // The heading is missing: still a collapsed turn, with nothing to show.
    return std::string();
}

std::string ClaudeTranscriptParser::pasteBlock(int lines, const std::string& body) {
    return "[pasted text: " + std::to_string(lines) + " " + lineWord(lines) + "]\n" + body + "\n[end pasted text]";
}

std::string ClaudeTranscriptParser::appendPasteBlocks(const std::string& text, const std::vector<PasteChip>& chips,
                                                      const PasteResolver& resolve) {
    if (chips.empty()) return text;
    std::vector<std::string> parts;
    if (!text.empty()) parts.push_back(text);
    for (const auto& chip : chips) {
        auto body = resolve ? resolve(chip.lines, chip.preview) : std::nullopt;
        parts.push_back(body ? pasteBlock(chip.lines, *body)
                             : "[pasted text: " + std::to_string(chip.lines) + " " + lineWord(chip.lines) +
                                   ", content not captured]");
    }
    return text::joinLines(parts);
}

std::optional<std::string> ClaudeTranscriptParser::imageChipName(const AXNode& tile) {
    for (const auto& child : tile.children()) {
        auto hit = firstNode(
            child,
            [](const AXNode& n) {
                auto role = n.role();
                return (role == "AXButton" || role == "AXImage") && !text::isBlank(n.label());
            },
            1);
        if (hit) return hit->label();
    }
    return std::nullopt;
}

std::vector<std::string> ClaudeTranscriptParser::textLeaves(const AXNode& node, std::size_t limit) {
    std::vector<std::string> out;
    collectLeaves(node, limit, 0, out);
    return out;
}

std::optional<ClaudeTranscriptParser::Artifact> ClaudeTranscriptParser::artifactCard(const AXNode& group) {
    return artifactOf(MessageWalk(group));
}

std::optional<RawTurn> ClaudeTranscriptParser::extractTurn(const AXNode& group) const {
    auto header = ClaudeMessageRows::parseHeader(group.label());
    if (!header) return std::nullopt;
    return turnOf(group, header->first, header->second, std::nullopt);
}

RawTurn ClaudeTranscriptParser::turnOf(const AXNode& group, int index, int total,
                                       const std::optional<std::string>& role) const {
    RawTurn turn;
    turn.index = index;
    turn.total = total;

    MessageWalk walk(group);
    turn.role = role.value_or("unknown");
    for (const auto& t : walk.nodeTexts) {
        if (t.starts_with(kUserHeading)) {
            turn.role = "user";
            break;
        }
        if (t.starts_with(kAssistantHeading)) {
            turn.role = "assistant";
            break;
        }
    }

    if (detectFields) {
        auto artifact = artifactOf(walk);
        turn.producedArtifact = artifact.has_value();
        if (artifact) {
            turn.artifactTitle = artifact->title;
            turn.artifactType = artifact->type;
        }
    }

    auto body = messageText(group);
    if (auto recovered = collapsedRecovery(body, walk.nodeTexts)) {
        turn.text = std::move(*recovered);
        turn.collapsed = true;
        return turn;
    }
    auto text = appendPasteBlocks(body, walk.chips, resolvePaste);
    std::vector<std::string> markers;
    markers.reserve(walk.imageNames.size());
    for (const auto& name : walk.imageNames) markers.push_back(AttachmentMarkers::marker(name));
    turn.text = AttachmentMarkers::appending(text, markers);
    return turn;
}

std::optional<SegmenterSnapshot> ClaudeTranscriptParser::snapshot(const AXNode& scope,
                                                                 std::optional<std::string> conversationKey) const {
    PageSurvey page(scope, detectFields);
    auto found = ClaudeMessageRows::messages(scope);
    if (!page.container && found.empty()) return std::nullopt;

    SegmenterSnapshot snap;
    snap.conversationKey = std::move(conversationKey);

    const int total = static_cast<int>(found.size());
    for (int i = 0; i < total; ++i) {
        const auto& message = found[static_cast<std::size_t>(i)];
        const auto [index, count] = message.header.value_or(std::pair{i + 1, total});
        snap.turns.push_back(turnOf(*message.group(), index, count, message.role));
    }

    // Chips still in the composer are resolved now, while the clipboard most
    // likely still holds what was pasted; the body is cached for when the
    // message reaches the transcript.
    if (resolvePaste) {
        for (const auto& chip : page.chips) resolvePaste(chip.lines, chip.preview);
    }

    snap.model = page.model;
    snap.responseComplete = page.finished;
    if (detectFields) snap.inProject = page.project;
    snap.composerDraft = draftOf(page.composer);
    return snap;
}

}  // namespace velmar
