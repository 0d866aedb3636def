#pragma once
// The controls a chat page shows while a reply is still being written, per
// surface, in one table: the labels each product uses (and has used: sites
// rename them, "Stop answering" became "Stop streaming") with the roles they
// come in. While any of them is on the page, no reply there is complete.

#include "ax/AXNode.hpp"

#include <span>
#include <string_view>

namespace velmar {

class StopControls {
public:
    struct Row {
        std::string_view surface;  // "" for every surface
        std::string_view role;     // "" for any role
        std::string_view label;
        bool prefix;               // the label begins with `label` (and is short)
    };

    // A control whose label merely begins with "Stop" counts only up to this
    // many characters: a longer one is prose ("Stop words are…").
    static constexpr std::size_t maxPrefixLabelChars = 24;
    // Structural depth of the search, as the parsers' own stop searches.
    static constexpr int maxDepth = 60;

    static std::span<const Row> table();
    // The first row matching this node's role and label, for `surface`.
    static const Row* match(std::string_view surface, const NodeView& node);
    // True when the scope shows a stop control of `surface`.
    static bool shownIn(std::string_view surface, const AXNodePtr& scope);
};

}  // namespace velmar
