#pragma once
// The text of a message's subtree as a person reads it in its bubble, the
// same over live, simulated and recorded trees: inline runs (text leaves,
// emphasis, links, inline code, maths, images) join with no separator, lines
// break only between blocks and where the text itself breaks, code is kept
// verbatim, lists keep their markers, a table row is one line of " | "
// separated cells, and controls (buttons, menus, toolbars, check boxes other
// than a task-list marker, status notices) are never text. Parsers decide
// which subtree is a message and what else to leave out; this says what a
// subtree holds.

#include "ax/AXNode.hpp"

#include <functional>
#include <string>
#include <vector>

namespace velmar {

struct NodeTextRules {
    // Subtrees a parser leaves out on top of the controls (thinking blocks,
    // citations, hidden headings…); null leaves out nothing more.
    std::function<bool(const NodeView&)> skip;
    // Text leaves a parser leaves out, by their text as read (timestamps,
    // screen-reader captions…); null keeps them all.
    std::function<bool(const std::string&)> dropLeaf;
    // Nodes deeper than this below the node given are not read.
    int maxDepth = 40;
    // Names these rules, for rules that are the same whenever the key is and
    // look at nothing outside the subtree they read (nor at a container's
    // name): a tree kept between
    // reads (a mirrored page) then keeps each node's text until something in
    // its subtree changes, so an unchanged message is not read again. Null
    // keeps nothing.
    const void* memoKey = nullptr;
};

class NodeText {
public:
    // The trimmed text of the node's subtree; empty when it holds none.
    static std::string of(const AXNode& node, const NodeTextRules& rules = {});
    // The text of sibling nodes read one after another as blocks.
    static std::string of(const std::vector<AXNodePtr>& nodes, const NodeTextRules& rules = {});

    // Whether a link sits among words of its paragraph (prose, read as text)
    // rather than standing alone (a citation chip, a source, a nav link).
    static bool isLinkInProse(const NodeView& link);

    // Whether the role and subrole are those of a control, never message text.
    static bool isControl(std::string_view role, const std::optional<std::string>& subrole);
};

}  // namespace velmar
