#include "parsing/WorkspaceGeminiPanel.hpp"

#include <algorithm>
#include <string>
#include <vector>

namespace velmar::WorkspaceGeminiPanel {
namespace {

constexpr int kLocateMaxDepth = 3;
constexpr int kEditorCheckMaxDepth = 45;

AXNodePtr locateIn(const AXNode& node, int depth) {
    if (depth > kLocateMaxDepth) return nullptr;
    for (const auto& child : node.children()) {
        if (child->role() == "AXWebArea") continue;  // an embedded page is someone else's content
        if (child->subrole() == "AXLandmarkComplementary" && hasClass(child->domClassList(), "appsElementsSidekickRoot")) {
            return child;
        }
        if (depth < kLocateMaxDepth) {
            if (auto hit = locateIn(*child, depth + 1)) return hit;
        }
    }
    return nullptr;
}

bool disjoint(const AXNode& node, int depth, int nodeCap, int& visited) {
    if (depth > kEditorCheckMaxDepth) return false;
    if (visited > nodeCap) return false;
    ++visited;
    if (depth >= 1 && node.role() == "AXWebArea") return false;
    for (const auto& cls : node.domClassList()) {
        for (auto prefix : editorClassPrefixes) {
            if (cls.starts_with(prefix)) return false;
        }
    }
    for (const auto& child : node.children()) {
        if (!disjoint(*child, depth + 1, nodeCap, visited)) return false;
    }
    return true;
}

}  // namespace

AXNodePtr locate(const AXNodePtr& page) {
    if (!page) return nullptr;
    return locateIn(*page, 1);
}

bool isDisjointFromEditor(const AXNodePtr& candidate, int nodeCap) {
    if (!candidate) return false;
    int visited = 0;
    return disjoint(*candidate, 0, nodeCap, visited);
}

AXNodePtr findByClass(const AXNodePtr& node, std::string_view cls, int maxDepth, int depth) {
    if (!node || depth > maxDepth) return nullptr;
    if (hasClass(node->domClassList(), cls)) return node;
    if (depth == maxDepth) return nullptr;  // the children would be past the cap: don't read them
    for (const auto& child : node->children()) {
        if (auto hit = findByClass(child, cls, maxDepth, depth + 1)) return hit;
    }
    return nullptr;
}

}  // namespace velmar::WorkspaceGeminiPanel
