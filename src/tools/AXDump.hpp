#pragma once
// Developer tools over live accessibility trees. For now: the fixture node
// writer, which turns any node (a live element or a recorded one) into the
// recorded-node JSON with every text scrubbed.

#include "ax/AXNode.hpp"
#include "json/JsonDecoding.hpp"

#include <array>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace velmar {

class AXDump {
public:
    // The verbs that make the executable a command-line tool, matched exactly.
    static constexpr std::array<std::string_view, 3> verbs{"ax-check", "ax-record", "capture-check"};
    static bool isVerb(std::string_view argument);

    static constexpr std::string_view usage =
        "usage: velmar-desktop-agent ax-check | ax-record --surface <s> --scenario <name> [--out <dir>] | "
        "capture-check --manifest <file> [--out <json>] [--surfaces a,b] [--browsers chrome,safari] [--send] "
        "[--close 0|1]\n";
    // What a process that may not read other applications' trees is told.
    static std::string_view missingTrustMessage();

    // The tool dispatcher: `arguments` start with the verb. The trust test
    // comes before the verb is looked at; an unknown verb gets the usage
    // line. Returns the process's exit status.
    static int run(const std::vector<std::string>& arguments, bool trusted, std::ostream& err);

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
