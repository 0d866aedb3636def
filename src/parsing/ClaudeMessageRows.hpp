#pragma once
// Where a Claude transcript keeps its messages: three ways the page may show
// them (labelled groups, screen-reader headings, runs closed by a message's
// own controls), tried in order; the first that finds any wins.

#include "ax/AXNode.hpp"
#include "parsing/ParserAnchor.hpp"

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace velmar {

class ClaudeMessageRows {
public:
    static constexpr std::string_view containerLabel = "Chat messages";
    static constexpr std::string_view userHeading = "You said:";
    static constexpr std::string_view assistantHeading = "Claude responded:";

    // A message found by one of the rows: the nodes that make it up (one
    // labelled group, or a run of siblings in a page that exposes no message
    // container) and, where the row tells, its role.
    struct Message {
        std::vector<AXNodePtr> nodes;
        std::optional<std::pair<int, int>> header;  // "Message N of M"
        std::optional<std::string> role;

        // The message as one group: the labelled group, or the run read as one.
        AXNodePtr group() const;
    };

    // The messages of the first row that finds any, in page order.
    static std::vector<Message> messages(const AXNode& scope);
    // The rows, in the order they are tried (what `ax-check` probes).
    static const ParserAnchors& anchors();

    // "Message N of M" anywhere in a label: (index, total).
    static std::optional<std::pair<int, int>> parseHeader(std::string_view label);
};

}  // namespace velmar
