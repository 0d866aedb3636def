#pragma once
// Developer tools over live accessibility trees. For now: the fixture node
// writer, which turns any node (a live element or a recorded one) into the
// recorded-node JSON with every text scrubbed.

#include "ax/AXNode.hpp"
#include "json/JsonDecoding.hpp"

#include <string>

namespace velmar {

class AXDump {
public:
    // The node budget a recording starts with.
    static constexpr int nodeBudget = 30000;
    // Nodes deeper than this are written without their children.
    static constexpr int maxChildDepth = 59;

    // Writes one node and, within the limits, its subtree. Texts pass through
    // FixtureScrubber::scrub; the address ("url") is written only when
    // includeURL is set and the node is the root (depth 0), through scrubURL.
    // Every node written takes one unit of `budget` before its children are
    // considered; a node's children are not read once the budget is spent or
    // the node lies deeper than maxChildDepth. Each member is read once.
    static jsondecode::Json serializeNode(const AXNode& node, bool includeURL, int depth, int& budget);

    // A fixture document as written to disk: indented by two, keys sorted,
    // ending in a newline, so recorded files diff cleanly.
    static std::string prettyJSON(const jsondecode::Json& document);
};

}  // namespace velmar
