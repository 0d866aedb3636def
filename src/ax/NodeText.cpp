#include "ax/NodeText.hpp"

#include "text/Unicode.hpp"

#include <algorithm>
#include <any>
#include <array>

namespace velmar {
namespace {

constexpr std::string_view kObjectReplacement = "\xEF\xBF\xBC";  // U+FFFC

constexpr std::array<std::string_view, 14> kControlRoles{
    "AXButton",    "AXPopUpButton", "AXMenuButton", "AXMenu",        "AXMenuBar",  "AXMenuItem",  "AXToolbar",
    "AXCheckBox",  "AXRadioButton", "AXComboBox",   "AXIncrementor", "AXSlider",   "AXScrollBar", "AXProgressIndicator"};
constexpr std::array<std::string_view, 4> kNoticeSubroles{"AXApplicationStatus", "AXApplicationAlert",
                                                          "AXApplicationAlertDialog", "AXApplicationTimer"};

bool isSpace(char c) { return c == ' ' || c == '\t'; }

std::string_view stripLeadingSpaces(std::string_view s) {
    while (!s.empty() && isSpace(s.front())) s.remove_prefix(1);
    return s;
}

// Lines as the page lays them out. A block boundary ends the line only when
// it holds something, so nested blocks never leave blank lines; a line break
// in the text itself always ends one. A prefix (list indentation and marker)
// waits for the line's first content.
class Lines {
public:
    // Inline text: a space between two runs stays one space, a line starts
    // without spaces, and every "\n" breaks the line.
    void run(std::string_view s) { write(s, false); }
    // Code: every character as it is, spaces and blank lines included.
    void verbatim(std::string_view s) { write(s, true); }
    void block() {
        if (open_) endLine();
    }
    // Between blocks with no list marker waiting: what follows starts afresh,
    // whatever came before.
    bool atBoundary() const { return !open_ && prefix_.empty(); }
    std::size_t lineCount() const { return lines_.size(); }
    std::vector<std::string> linesFrom(std::size_t first) const {
        return {lines_.begin() + static_cast<std::ptrdiff_t>(first), lines_.end()};
    }
    void append(const std::vector<std::string>& lines) { lines_.insert(lines_.end(), lines.begin(), lines.end()); }
    void setPrefix(std::string prefix) {
        block();
        prefix_ = std::move(prefix);
    }
    std::string finish() {
        block();
        std::string out = text::joinLines(lines_);
        for (auto at = out.find(kObjectReplacement); at != std::string::npos; at = out.find(kObjectReplacement, at))
            out.erase(at, kObjectReplacement.size());
        return text::trim(out);
    }

private:
    void write(std::string_view s, bool verbatim) {
        for (;;) {
            auto nl = s.find('\n');
            put(s.substr(0, nl), verbatim);
            if (nl == std::string_view::npos) return;
            endLine();
            s.remove_prefix(nl + 1);
        }
    }
    void put(std::string_view piece, bool verbatim) {
        if (!verbatim) {
            if (!open_ || (!line_.empty() && isSpace(line_.back()))) piece = stripLeadingSpaces(piece);
            // A run of blanks between runs is rendered as one space.
            while (piece.size() > 1 && isSpace(piece[0]) && isSpace(piece[1])) piece.remove_prefix(1);
        }
        if (piece.empty()) return;
        if (!open_) {
            line_ = std::move(prefix_);
            prefix_.clear();
            open_ = true;
        }
        keepSpaces_ = keepSpaces_ || verbatim;
        line_ += piece;
    }
    void endLine() {
        if (!keepSpaces_) {
            while (!line_.empty() && isSpace(line_.back())) line_.pop_back();
        }
        lines_.push_back(std::move(line_));
        line_.clear();
        open_ = keepSpaces_ = false;
    }

    std::vector<std::string> lines_;
    std::string line_, prefix_;
    bool open_ = false, keepSpaces_ = false;
};

class Reader {
public:
    explicit Reader(const NodeTextRules& rules) : rules_(rules) {}

    // `amongRuns`: a text run sits right beside the node.
    void walk(const AXNode& node, int depth, Lines& out, int listLevel = 0, bool amongRuns = false) {
        NodeView view(node);
        walk(view, depth, out, listLevel, amongRuns);
    }
    void walk(const NodeView& view, int depth, Lines& out, int listLevel, bool amongRuns) {
        if (depth > rules_.maxDepth) return;
        const AXNode& node = view.node();
        const std::string& role = view.role();
        if (isControl(view)) return;
        if (rules_.skip && rules_.skip(view)) return;
        const auto& subrole = view.subrole();
        if (role == "AXStaticText" || role == "AXTextArea" || role == "AXTextField") return leaf(view, depth, out);
        if (role == "AXImage") {
            auto alt = text::trim(view.label());
            out.run(alt.empty() ? std::string("[image]") : "[image: " + alt + "]");
            return;
        }
        if (role == "AXListMarker") return out.run(marker(view.label()));
        if (subrole == "AXDocumentMath" || role == "AXMath") return out.run(maths(node, depth));
        if (subrole == "AXCodeStyleGroup") {
            auto code = verbatimText(node, depth);
            const bool isBlock = code.find('\n') != std::string::npos;
            while (!code.empty() && code.back() == '\n') code.pop_back();
            if (isBlock) out.block();
            out.verbatim(code);
            if (isBlock) out.block();
            return;
        }
        if (subrole == "AXPreformatted") return preformatted(node, depth, out);
        if (role == "AXTable") return table(node, depth, out);
        if (role == "AXList") return list(node, depth, out, listLevel);
        auto children = node.children();
        if (role == "AXLink" && children.empty()) return out.run(view.label());
        if (children.empty() && (role == "AXHeading" || role == "AXCell")) {
            out.block();
            out.run(view.label());
            out.block();
            return;
        }
        // A plain group of runs between runs is a span recorded without a
        // role of its own (trees recorded before inline elements had one).
        const bool inlineRun = role == "AXLink" || subrole == "AXInline" ||
                               (amongRuns && role == "AXGroup" && !subrole && onlyRuns(children));
        if (!inlineRun) out.block();
        std::vector<NodeView> views;
        views.reserve(children.size());
        for (const auto& child : children) views.emplace_back(*child);
        for (std::size_t i = 0; i < views.size(); ++i) {
            const bool beside = (i > 0 && isRun(views[i - 1])) || (i + 1 < views.size() && isRun(views[i + 1]));
            if (i > 0 && linesApart(views[i - 1], views[i])) {
                out.block();
            }
            walk(views[i], depth + 1, out, listLevel, beside);
        }
        if (!inlineRun) out.block();
    }

    // A top-level node as blocks: its lines kept with it where the tree keeps
    // answers and the rules are named (see NodeTextRules::memoKey).
    void block(const AXNode& node, Lines& out) {
        out.block();
        const bool keeps = rules_.memoKey && out.atBoundary();
        if (keeps) {
            if (const Kept* lines = keptFor(node)) return out.append(lines->lines);
        }
        const auto first = out.lineCount();
        walk(node, 0, out);
        out.block();
        if (!keeps) return;
        std::string own = ownAttributes(node);
        // Asked again, not held across the walk: a list the walk read anew
        // drops what was kept above it, the slot with it.
        if (std::any* kept = node.memo(rules_.memoKey)) {
            if (out.atBoundary()) {
                *kept = Kept{std::move(own), out.linesFrom(first), std::nullopt};
                checked(node);
            } else {
                kept->reset();
            }
        }
    }

    // The node's whole text; where the tree keeps answers, kept with its
    // lines, so a message that did not change costs no joining.
    std::string whole(const AXNode& node) {
        if (rules_.memoKey) {
            if (const Kept* kept = keptFor(node); kept && kept->text) return *kept->text;
        }
        Lines out;
        block(node, out);
        std::string text = out.finish();
        if (rules_.memoKey) {
            if (Kept* kept = const_cast<Kept*>(keptFor(node))) kept->text = text;
        }
        return text;
    }

    std::string text(const AXNode& node, int depth) {
        Lines out;
        walk(node, depth, out);
        return out.finish();
    }

private:
    struct Kept {
        std::string own;
        std::vector<std::string> lines;
        // The lines as one finished text, once asked for.
        std::optional<std::string> text;
    };

    // The memory vouches for what lies below the node; the node's own
    // attributes (a message renamed "Message 3 of 4") are compared once
    // after they change, and a rename that left the text as it was keeps it.
    const Kept* keptFor(const AXNode& node) const {
        if (!held(node)) return nullptr;
        if (std::any* check = node.memo(rules_.memoKey, 0, true); check && check->has_value()) return held(node);
        std::string own = ownAttributes(node);
        const Kept* kept = held(node);
        if (!kept || kept->own != own) return nullptr;
        checked(node);
        return held(node);
    }
    const Kept* held(const AXNode& node) const {
        std::any* slot = node.memo(rules_.memoKey);
        return slot ? std::any_cast<Kept>(slot) : nullptr;
    }
    // Its own attributes are those its kept lines were worked out from,
    // until they change.
    void checked(const AXNode& node) const {
        if (std::any* check = node.memo(rules_.memoKey, 0, true)) *check = true;
    }

    // What the walk reads of the node itself: its label only where it is
    // the node's text (a leaf, an image, a marker), not a container's name.
    static std::string ownAttributes(const AXNode& node) {
        NodeView view(node);
        std::string own = view.role() + '\x1f' + view.subrole().value_or("") + '\x1f' + view.value().value_or("");
        for (const auto& cls : view.domClassList()) own += '\x1f' + cls;
        const auto& role = view.role();
        if (role == "AXStaticText" || role == "AXTextArea" || role == "AXTextField" || role == "AXImage" ||
            role == "AXListMarker" || node.children().empty())
            own += '\x1e' + view.label();
        return own;
    }

    // A text leaf with something to read.
    bool isRun(const NodeView& node) {
        if (node.role() != "AXStaticText") return false;
        const auto& text = leafText(node);
        return !text::isBlank(text) && !(rules_.dropLeaf && rules_.dropLeaf(text));
    }
    // Two text leaves side by side are one run, unless they meet where no
    // run would: a word ends and a capital or an indentation starts right
    // after it. Recorded trees hold each line of a paragraph with hard line
    // breaks (a prompt, a code block) as a text leaf of its own.
    bool linesApart(const NodeView& left, const NodeView& right) {
        if (!isRun(left) || !isRun(right)) return false;
        const auto &l = leafText(left), &r = leafText(right);
        if (isSpace(l.back()) || l.back() == '\n' || r.front() == '\n') return false;
        if (r.starts_with("  ") || r.front() == '\t') return true;
        if (isSpace(r.front())) return false;
        auto first = text::toUtf32(r.substr(0, 4));
        return !first.empty() && text::isUpper(first.front());
    }
    static const std::string& leafText(const NodeView& node) { return node.value() ? *node.value() : node.label(); }

    // Text leaves, or a formula: what a span between runs holds. (A
    // formula's visually hidden reading copy is positioned out of the flow,
    // which makes Firefox call its span a block.)
    static bool onlyRuns(const std::vector<AXNodePtr>& children) {
        return !children.empty() && std::all_of(children.begin(), children.end(), [](const AXNodePtr& c) {
                   if (c->role() == "AXMath" || c->subrole() == "AXDocumentMath") return true;
                   return c->role() == "AXStaticText" && c->children().empty();
               });
    }

    bool isControl(const NodeView& view) { return NodeText::isControl(view.role(), view.subrole()); }

    // A text leaf's text as read, blanks included (a blank run is a space
    // between words, or a code indentation).
    void leaf(const NodeView& view, int depth, Lines& out) {
        const AXNode& node = view.node();
        auto children = node.children();
        // An inline element recorded as a text leaf holding its own text
        // leaves: its text is theirs, read once.
        if (!children.empty() && node.role() == "AXStaticText") {
            for (const auto& child : children) walk(*child, depth + 1, out);
            return;
        }
        const std::string& text = leafText(view);
        if (text.empty() || (rules_.dropLeaf && rules_.dropLeaf(text))) return;
        if (view.role() == "AXStaticText") {
            out.run(text);
        } else {
            out.verbatim(text);  // a text field shows its text as typed
        }
    }

    // A code element's exact text: its whole text where the tree has it,
    // each embedded object in it replaced by that child's text, else its
    // leaves' texts in order, blanks and line breaks included.
    std::string verbatimText(const AXNode& node, int depth) {
        if (depth > rules_.maxDepth) return {};
        auto children = node.children();
        if (auto whole = node.string("AXValue"); whole && (!whole->empty() || children.empty())) {
            if (whole->find(kObjectReplacement) == std::string::npos) return std::move(*whole);
            std::vector<const AXNode*> embedded;
            for (const auto& child : children) {
                if (child->role() != "AXStaticText") embedded.push_back(child.get());
            }
            std::string out;
            std::size_t next = 0, from = 0;
            for (auto at = whole->find(kObjectReplacement); at != std::string::npos;
                 at = whole->find(kObjectReplacement, from)) {
                out.append(*whole, from, at - from);
                if (next < embedded.size()) out += verbatimText(*embedded[next++], depth + 1);
                from = at + kObjectReplacement.size();
            }
            out.append(*whole, from);
            return out;
        }
        std::string out;
        for (const auto& child : children) {
            if (isControl(NodeView(*child))) continue;
            if (child->children().empty()) {
                if (auto v = child->string("AXValue")) out += *v;
                else if (child->role() == "AXStaticText") out += child->label();
            } else {
                out += verbatimText(*child, depth + 1);
            }
        }
        return out;
    }

    // A code block: its text leaves and code verbatim, its header (a
    // language label beside its buttons) a line of its own.
    void preformatted(const AXNode& node, int depth, Lines& out) {
        out.block();
        std::string code;
        auto flush = [&] {
            while (!code.empty() && code.back() == '\n') code.pop_back();
            out.verbatim(code);
            code.clear();
        };
        for (const auto& child : node.children()) {
            if (depth + 1 > rules_.maxDepth) break;
            NodeView view(*child);
            if (view.role() == "AXStaticText" || view.subrole() == "AXCodeStyleGroup") {
                code += verbatimText(*child, depth + 1);
                continue;
            }
            flush();
            out.block();
            walk(*child, depth + 1, out);
            out.block();
        }
        flush();
        out.block();
    }

    // A formula's token texts joined: math letters read as the letters they
    // are styled from (Chromium gives an identifier as mathematical italic).
    std::string maths(const AXNode& node, int depth) {
        if (depth > rules_.maxDepth) return {};
        auto children = node.children();
        if (children.empty()) {
            if (node.role() != "AXStaticText") return {};
            std::string out;
            for (char32_t c : text::toUtf32(node.label())) {
                auto plain = text::compatibilityForm(c);
                out += text::fromUtf32(plain.empty() ? std::u32string(1, c) : plain);
            }
            return out;
        }
        std::string out;
        for (const auto& child : children) out += maths(*child, depth + 1);
        return out;
    }

    static std::string marker(const std::string& label) {
        auto m = text::trim(label);
        if (m.empty()) return {};
        for (char32_t c : text::toUtf32(m)) {
            if (text::isLetter(c) || text::isNumber(c)) return m + " ";
        }
        return "- ";  // a bullet of any shape
    }

    void list(const AXNode& node, int depth, Lines& out, int level) {
        out.block();
        for (const auto& item : node.children()) {
            if (depth + 1 > rules_.maxDepth) break;
            NodeView view(*item);
            if (view.role() == "AXListMarker" || isControl(view) || (rules_.skip && rules_.skip(view))) continue;
            if (view.role() == "AXList") {
                list(*item, depth + 1, out, level + 1);
                continue;
            }
            auto parts = item->children();
            std::string mark;
            std::size_t first = 0;
            // An item the tree gives no marker reads as a bullet's.
            mark = "- ";
            if (first < parts.size() && parts[first]->role() == "AXListMarker") mark = marker(parts[first++]->label());
            // A check box leading the item is the task list's marker.
            if (first < parts.size() && parts[first]->role() == "AXCheckBox") {
                const auto& box = *parts[first++];
                bool checked = box.subrole() == "AXChecked" || box.string("AXValue") == "1";
                mark = checked ? "[x] " : "[ ] ";
            }
            out.setPrefix(std::string(static_cast<std::size_t>(2 * level), ' ') + mark);
            for (std::size_t i = first; i < parts.size(); ++i) walk(*parts[i], depth + 2, out, level + 1);
            out.block();
        }
    }

    void table(const AXNode& node, int depth, Lines& out) {
        out.block();
        for (const auto& child : node.children()) {
            if (depth + 1 > rules_.maxDepth) break;
            const auto role = child->role();
            if (role == "AXColumn") continue;  // the same cells again, by column
            if (role != "AXRow") {
                if (role == "AXGroup") table(*child, depth + 1, out);  // a header or body group
                else walk(*child, depth + 1, out);
                continue;
            }
            std::vector<std::string> cells;
            for (const auto& cell : child->children()) {
                auto t = text(*cell, depth + 2);
                std::replace(t.begin(), t.end(), '\n', ' ');
                cells.push_back(text::trim(t));
            }
            out.block();
            out.run(text::joinLines(cells, " | "));
            out.block();
        }
        out.block();
    }

    const NodeTextRules& rules_;
};

}  // namespace

bool NodeText::isControl(std::string_view role, const std::optional<std::string>& subrole) {
    if (std::find(kControlRoles.begin(), kControlRoles.end(), role) != kControlRoles.end()) return true;
    return subrole && std::find(kNoticeSubroles.begin(), kNoticeSubroles.end(), *subrole) != kNoticeSubroles.end();
}

std::string NodeText::of(const AXNode& node, const NodeTextRules& rules) {
    Reader reader(rules);
    return reader.whole(node);
}

std::string NodeText::of(const std::vector<AXNodePtr>& nodes, const NodeTextRules& rules) {
    Reader reader(rules);
    if (std::count_if(nodes.begin(), nodes.end(), [](const AXNodePtr& node) { return node != nullptr; }) == 1)
        return reader.whole(**std::find_if(nodes.begin(), nodes.end(), [](const AXNodePtr& node) { return node != nullptr; }));
    Lines out;
    for (const auto& node : nodes) {
        if (node) reader.block(*node, out);
    }
    return out.finish();
}

bool NodeText::isLinkInProse(const NodeView& link) {
    auto parent = link.node().parent();
    if (!parent) return false;
    for (const auto& sibling : parent->children()) {
        const std::string role = sibling->role();
        if (role == "AXLink" || isControl(role, sibling->subrole())) continue;
        if (!text::isBlank(sibling->label())) return true;
    }
    return false;
}

}  // namespace velmar
