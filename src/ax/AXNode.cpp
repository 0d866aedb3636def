#include "ax/AXNode.hpp"

#include "text/Unicode.hpp"

#include <algorithm>

namespace velmar {

std::string AXNode::label() const {
    for (const char* attribute : {"AXValue", "AXTitle", "AXDescription"}) {
        auto value = string(attribute);
        if (value && !text::isBlank(*value)) return std::move(*value);
    }
    return {};
}

AXNodePtr find(const AXNodePtr& node, std::string_view role, const LabelPredicate& where, int depth, int maxDepth,
               const void* key) {
    if (!node || depth > maxDepth) return nullptr;
    if (std::any* none = key ? node->memo(key, maxDepth - depth, true) : nullptr; none && none->has_value())
        return nullptr;
    if (node->role() == role && where(node->label())) return node;
    if (depth < maxDepth) {  // else children would be past the cap: don't read them
        for (const auto& child : node->children()) {
            if (auto hit = find(child, role, where, depth + 1, maxDepth, key)) return hit;
        }
    }
    if (std::any* none = key ? node->memo(key, maxDepth - depth, true) : nullptr) *none = true;
    return nullptr;
}

AXNodePtr findBySubrole(const AXNodePtr& node, std::string_view subrole, int depth, int maxDepth) {
    if (!node || depth > maxDepth) return nullptr;
    if (node->subrole() == subrole) return node;
    if (depth == maxDepth) return nullptr;
    for (const auto& child : node->children()) {
        if (auto hit = findBySubrole(child, subrole, depth + 1, maxDepth)) return hit;
    }
    return nullptr;
}

bool containsText(const AXNode& node, int depth, int maxDepth, const LabelPredicate& where) {
    if (depth > maxDepth) return false;
    if (where(node.label())) return true;
    if (depth == maxDepth) return false;
    for (const auto& child : node.children()) {
        if (containsText(*child, depth + 1, maxDepth, where)) return true;
    }
    return false;
}

namespace {
bool containsBelow(const AXNode& node, int depth, int maxDepth, const void* key,
                   const std::function<bool(const NodeView&)>& test) {
    // Kept with the node's own attributes: an unchanged node costs neither
    // the test nor a copy of its children list.
    if (std::any* kept = key ? node.memo(key, maxDepth - depth, true) : nullptr; kept && kept->has_value())
        return std::any_cast<bool>(*kept);
    bool found = test(NodeView(node));
    if (!found && depth < maxDepth) {
        const auto children = node.children();
        found = std::any_of(children.begin(), children.end(), [&](const AXNodePtr& child) {
            return containsBelow(*child, depth + 1, maxDepth, key, test);
        });
    }
    // Asked again, not held across the walk below: a list read anew there
    // drops what was kept above it, the slot with it.
    if (std::any* kept = key ? node.memo(key, maxDepth - depth, true) : nullptr) *kept = found;
    return found;
}
}  // namespace

bool contains(const AXNode& node, int maxDepth, const void* key, const std::function<bool(const NodeView&)>& test) {
    return maxDepth >= 0 && containsBelow(node, 0, maxDepth, key, test);
}

namespace {
void collectText(const AXNode& node, int depth, int maxDepth, std::vector<TextNode>& out) {
    if (depth > maxDepth) return;
    auto label = node.label();
    if (!label.empty()) out.push_back({node.role(), std::move(label)});
    if (depth == maxDepth) return;
    for (const auto& child : node.children()) collectText(*child, depth + 1, maxDepth, out);
}
}  // namespace

std::vector<TextNode> textNodes(const AXNode& node, int depth, int maxDepth) {
    std::vector<TextNode> out;
    collectText(node, depth, maxDepth, out);
    return out;
}

const std::string& NodeView::role() const {
    if (!role_) role_ = node_.role();
    return *role_;
}

const std::optional<std::string>& NodeView::subrole() const {
    if (!subrole_) subrole_ = node_.subrole();
    return *subrole_;
}

const std::optional<std::string>& NodeView::value() const {
    if (!value_) value_ = node_.string("AXValue");
    return *value_;
}

const std::string& NodeView::label() const {
    if (!label_) label_ = node_.label();
    return *label_;
}

const std::vector<std::string>& NodeView::domClassList() const {
    if (!classes_) classes_ = node_.domClassList();
    return *classes_;
}

namespace {
// True while some search has no hit and looks at `depth`.
bool looking(const std::vector<FirstHit*>& searches, int depth) {
    return std::any_of(searches.begin(), searches.end(),
                       [depth](const FirstHit* s) { return !s->node && depth <= s->maxDepth; });
}

void visitEach(const AXNodePtr& node, int depth, const std::vector<FirstHit*>& searches) {
    NodeView view(*node);
    for (FirstHit* s : searches) {
        if (!s->node && depth <= s->maxDepth && s->test(view)) s->node = node;
    }
    if (!looking(searches, depth + 1)) return;
    for (const auto& child : node->children()) {
        visitEach(child, depth + 1, searches);
        if (!looking(searches, depth + 1)) return;
    }
}
}  // namespace

void findEach(const AXNodePtr& root, std::vector<FirstHit*> searches) {
    if (root && looking(searches, 0)) visitEach(root, 0, searches);
}

bool hasClass(const std::vector<std::string>& classes, std::string_view cls) {
    return std::find(classes.begin(), classes.end(), cls) != classes.end();
}

LabelPredicate labelEquals(std::string expected) {
    return [expected = std::move(expected)](const std::string& label) { return label == expected; };
}

LabelPredicate labelNotBlank() {
    return [](const std::string& label) { return !label.empty(); };
}

}  // namespace velmar
