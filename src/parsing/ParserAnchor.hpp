#pragma once
// One way a parser finds a structure it needs in a page (the transcript, the
// messages, who said what), as a row of that parser's table: rows are tried in
// order and the first that finds wins. The same rows are what `ax-check`
// probes, so a probe passes exactly where the parser can read.

#include "ax/AXNode.hpp"

#include <functional>
#include <string>
#include <vector>

namespace velmar {

struct ParserAnchor {
    // What the row looks for, as a developer reads it in a report.
    std::string name;
    // True when the row finds its structure within the scope.
    std::function<bool(const AXNodePtr& scope)> foundIn;
};

using ParserAnchors = std::vector<ParserAnchor>;

}  // namespace velmar
