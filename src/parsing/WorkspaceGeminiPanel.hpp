#pragma once
// Finds the Gemini side panel inside a Google Docs or Sheets page and checks
// that the candidate is the panel alone, not a subtree that holds the document
// editor (whose text must never be captured as chat).

#include "ax/AXNode.hpp"

#include <array>
#include <string_view>

namespace velmar::WorkspaceGeminiPanel {

// Class prefixes of the document editors' own elements.
inline constexpr std::array<std::string_view, 5> editorClassPrefixes{"kix-", "docs-editor", "waffle-", "grid-",
                                                                      "cell-input"};

// The panel root: a complementary landmark carrying "appsElementsSidekickRoot",
// at most three levels below the page; nested web areas are not searched.
AXNodePtr locate(const AXNodePtr& page);

// True when the candidate's subtree holds no nested web area and no editor
// element. A subtree deeper than 45 levels, or with more than nodeCap + 1
// nodes, is refused; the walk never reads past that many nodes.
bool isDisjointFromEditor(const AXNodePtr& candidate, int nodeCap);

// First node in depth-first pre-order (from `depth`, inclusive cap `maxDepth`)
// whose DOM class list holds `cls` exactly.
AXNodePtr findByClass(const AXNodePtr& node, std::string_view cls, int maxDepth, int depth);

}  // namespace velmar::WorkspaceGeminiPanel
