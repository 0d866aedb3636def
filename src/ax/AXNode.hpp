#pragma once
// The node protocol every parser is written against. Live elements and
// recorded fixture nodes implement it; parsers see nothing else.
// Nothing is cached here: a live element reads afresh unless its parse reads
// it through an AXReadScope, which asks the application for each attribute
// once. Outside one, a walk that needs a member more than once reads it into
// a local and reuses it.

#include <any>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace velmar {

class AXNode;
using AXNodePtr = std::shared_ptr<const AXNode>;

class AXNode {
public:
    virtual ~AXNode() = default;

    // "?" when the role cannot be read.
    virtual std::string role() const = 0;
    virtual std::optional<std::string> subrole() const = 0;
    // The title as read, untrimmed.
    virtual std::optional<std::string> title() const = 0;
    virtual std::vector<std::string> domClassList() const = 0;
    virtual std::vector<AXNodePtr> children() const = 0;
    // Null at the root or when unreadable.
    virtual AXNodePtr parent() const = 0;
    // The string value of a named attribute; absent when missing or not a string.
    virtual std::optional<std::string> string(std::string_view attribute) const = 0;
    // Where to keep an answer about what lies below this node under `key`
    // (and a `variant` of the question, such as the depth left), emptied
    // whenever something below it may have changed; an answer that depends on
    // the node's own attributes either checks them itself or asks with
    // `withOwn`, and is then emptied when they change too. Null where the
    // tree is not kept between reads (recorded trees, plain live reads) or
    // not yet read again where it changed, so the answer is worked out afresh.
    virtual std::any* memo(const void* key, int variant = 0, bool withOwn = false) const {
        (void)key;
        (void)variant;
        (void)withOwn;
        return nullptr;
    }

    // The first of "AXValue", "AXTitle", "AXDescription" that is not blank,
    // returned as read (untrimmed); empty when all three are blank or absent.
    std::string label() const;
};

using LabelPredicate = std::function<bool(const std::string&)>;

struct TextNode {
    std::string role;
    std::string text;
    bool operator==(const TextNode&) const = default;
};

// First node in depth-first pre-order with exactly this role whose label passes
// the predicate. Depths are inclusive: a node deeper than maxDepth is not read.
// With a `key` (one per search), where the tree keeps answers, a subtree found
// to hold none is not searched again until something in it changes.
AXNodePtr find(const AXNodePtr& node, std::string_view role, const LabelPredicate& where, int depth, int maxDepth,
               const void* key = nullptr);

// First node in pre-order, within maxDepth, with exactly this subrole.
AXNodePtr findBySubrole(const AXNodePtr& node, std::string_view subrole, int depth, int maxDepth);

// True when the label of the node or of a descendant within maxDepth passes.
bool containsText(const AXNode& node, int depth, int maxDepth, const LabelPredicate& where);

// Every node with a non-blank label, in pre-order, with its role and untrimmed label.
std::vector<TextNode> textNodes(const AXNode& node, int depth, int maxDepth);

// A non-owning handle to a node the caller keeps alive, for helpers that take handles.
inline AXNodePtr borrowed(const AXNode& node) { return AXNodePtr(AXNodePtr(), &node); }

// One node's members for several tests at once; each member is read at most once.
class NodeView {
public:
    explicit NodeView(const AXNode& node) : node_(node) {}
    const AXNode& node() const { return node_; }
    const std::string& role() const;
    const std::optional<std::string>& subrole() const;
    // The "AXValue" string as read.
    const std::optional<std::string>& value() const;
    const std::string& label() const;
    const std::vector<std::string>& domClassList() const;

private:
    const AXNode& node_;
    mutable std::optional<std::string> role_, label_;
    mutable std::optional<std::optional<std::string>> subrole_, value_;
    mutable std::optional<std::vector<std::string>> classes_;
};

// A first-hit search for findEach: the first node in pre-order, within
// maxDepth (inclusive), that passes the test.
struct FirstHit {
    FirstHit(int maxDepth, std::function<bool(const NodeView&)> test) : maxDepth(maxDepth), test(std::move(test)) {}

    int maxDepth;
    std::function<bool(const NodeView&)> test;
    AXNodePtr node;  // the hit, null when none
};

// Runs several first-hit searches in one pre-order walk from `root` (depth 0).
// A node's children are read only while some search still looks below it, so
// every search finds what a walk of its own would, and no node is read that
// none of those walks would read.
void findEach(const AXNodePtr& root, std::vector<FirstHit*> searches);

// Whether `node` (depth 0) or a node below it within maxDepth (inclusive)
// passes `test`. Where the tree keeps answers and `key` names the test (one
// that looks at nothing but the node it is given), each subtree's answer is
// kept until something in it changes, so asking again costs what changed.
bool contains(const AXNode& node, int maxDepth, const void* key, const std::function<bool(const NodeView&)>& test);

// True when the DOM class list holds exactly this class.
bool hasClass(const std::vector<std::string>& classes, std::string_view cls);

// Common predicates.
LabelPredicate labelEquals(std::string expected);
LabelPredicate labelNotBlank();

}  // namespace velmar
