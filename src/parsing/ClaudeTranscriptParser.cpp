#include "parsing/ClaudeTranscriptParser.hpp"

#include "ax/NodeText.hpp"

#include "capture/PasteboardCapture.hpp"
#include "parsing/AttachmentMarkers.hpp"
#include "text/Regex.hpp"
#include "text/Unicode.hpp"

#include <algorithm>
#include <charconv>

namespace velmar {
namespace {

constexpr int kContainerDepth = 60;
constexpr int kProjectDepth = 60;
constexpr int kGroupDepth = 20;
constexpr int kTextDepth = 40;
constexpr int kContentDepth = 40;
constexpr int kChipDepth = 40;
constexpr int kComposerDepth = 40;
constexpr int kSearchDepth = 30;  // image names and artifact searches
constexpr int kLeafDepth = 25;
constexpr std::size_t kTitleLimit = 256;

constexpr std::string_view kContainerLabel = "Chat messages";
constexpr std::string_view kUserHeading = "You said:";
constexpr std::string_view kAssistantHeading = "Claude responded:";

// An artifact card. Whole class names only: Tailwind variants such as
// "group-hover/artifact-block:opacity-100" sit on the card's own children.
bool isArtifactCard(const std::vector<std::string>& classes) { return hasClass(classes, "artifact-block-cell"); }

// A file caption under a card or an attachment (Tailwind's line-clamp-N, any N).
bool isCaption(const std::vector<std::string>& classes) {
    return hasClass(classes, "text-[11px]") &&
           std::any_of(classes.begin(), classes.end(), [](const std::string& c) { return c.starts_with("line-clamp-"); });
}

// Decimal digits as ICU's \d matched them; anything other than an ASCII
// number that fits an int does not parse.
std::optional<int> parseInt(const std::optional<std::string>& digits) {
    if (!digits || digits->empty()) return std::nullopt;
    int value = 0;
    auto [end, ec] = std::from_chars(digits->data(), digits->data() + digits->size(), value);
    if (ec != std::errc() || end != digits->data() + digits->size()) return std::nullopt;
    return value;
}

std::optional<int> chipLineCount(const std::string& label) {
    auto match = ClaudeTranscriptParser::pasteChipRe().firstMatch(label);
    if (!match || match->groups.size() < 2) return std::nullopt;
    return parseInt(match->group(1));
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
    return NodeText::of(group, rules);
}

void collectGroups(const AXNodePtr& node, int depth, std::vector<AXNodePtr>& out) {
    if (depth > kGroupDepth) return;
    if (node->role() == "AXGroup" && ClaudeTranscriptParser::parseHeader(node->label())) out.push_back(node);
    if (depth == kGroupDepth) return;
    for (const auto& child : node->children()) collectGroups(child, depth + 1, out);
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

    void visit(const AXNodePtr& node, int depth, bool chipsHere) {
        if (depth > kContainerDepth) return;
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

using Message = ClaudeTranscriptParser::Message;

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
    auto container = find(borrowed(scope), "AXGroup", labelEquals(std::string(kContainerLabel)), 0, kContainerDepth);
    if (!container) return {};
    std::vector<AXNodePtr> groups;
    collectGroups(container, 0, groups);
    std::vector<Message> out;
    for (auto& g : groups) out.push_back({{g}, ClaudeTranscriptParser::parseHeader(g->label()), std::nullopt});
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

std::vector<ClaudeTranscriptParser::Message> ClaudeTranscriptParser::messages(const AXNode& scope) {
    for (const auto& row : kMessageRows) {
        auto found = row.find(scope);
        if (!found.empty()) return found;
    }
    return {};
}

const ParserAnchors& ClaudeTranscriptParser::anchors() {
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

const text::Regex& ClaudeTranscriptParser::pasteChipRe() {
    static const text::Regex re(R"(\bpasted\b.*?(\d+)\s+lines?\s*$)", text::Regex::CaseInsensitive);
    return re;
}

ClaudeTranscriptParser::PasteResolver ClaudeTranscriptParser::pasteboardResolver(const Clipboard* clipboard) {
    return [clipboard](int lines, const std::string& preview) {
        return PasteboardCapture::resolveBody(clipboard, lines, preview);
    };
}

ClaudeTranscriptParser::PasteResolver ClaudeTranscriptParser::noPasteBodies() {
    return [](int, const std::string&) { return std::optional<std::string>(); };
}

std::optional<std::pair<int, int>> ClaudeTranscriptParser::parseHeader(std::string_view label) {
    static const text::Regex header(R"(Message (\d+) of (\d+))");
    if (label.find("Message ") == std::string_view::npos) return std::nullopt;  // most groups: no regex
    auto match = header.firstMatch(label);
    if (!match || match->groups.size() < 3) return std::nullopt;
    auto index = parseInt(match->group(1));
    auto total = parseInt(match->group(2));
    if (!index || !total) return std::nullopt;
    return std::pair{*index, *total};
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
    auto header = parseHeader(group.label());
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
    auto found = messages(scope);
    if (!page.container && found.empty()) return std::nullopt;

    SegmenterSnapshot snap;
    snap.conversationKey = std::move(conversationKey);

    const int total = static_cast<int>(found.size());
    for (int i = 0; i < total; ++i) {
        const auto& message = found[static_cast<std::size_t>(i)];
        if (message.header) {
            snap.turns.push_back(turnOf(*message.nodes.front(), message.header->first, message.header->second, message.role));
        } else {
            snap.turns.push_back(turnOf(RunNode(message.nodes), i + 1, total, message.role));
        }
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
