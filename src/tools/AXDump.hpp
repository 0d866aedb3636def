#pragma once
// Developer tools over live accessibility trees: the verb dispatcher,
// "ax-check" (structural probes and a parse of every live capture target),
// "ax-record" (a scrubbed fixture of one live target, re-parsed to show that
// scrubbing kept what the parser needs) and the fixture node writer.

#include "ax/AXElement.hpp"
#include "ax/AXNode.hpp"
#include "json/JsonDecoding.hpp"
#include "parsing/SegmenterSnapshot.hpp"
#include "tools/ToolContext.hpp"

#include <array>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace velmar {

class AXDump {
public:
    // The verbs that make the executable a command-line tool, matched exactly.
    static constexpr std::array<std::string_view, 4> verbs{"ax-check", "ax-record", "ax-turns", "capture-check"};
    static bool isVerb(std::string_view argument);

    static constexpr std::string_view usage =
        "usage: velmar-desktop-agent ax-check | ax-record --surface <s> --scenario <name> [--out <dir>] | "
        "ax-turns [--surface <s>] [--json] | "
        "capture-check --manifest <file> [--out <json>] [--surfaces a,b] [--browsers chrome,safari] [--send] "
        "[--close 0|1]\n";
    // What a process that may not read other applications' trees is told.
    static std::string_view missingTrustMessage();

    // The tool dispatcher: `arguments` start with the verb. The trust test
    // comes before the verb is looked at; an unknown verb gets the usage
    // line. Returns the process's exit status.
    static int run(const std::vector<std::string>& arguments, ToolContext& context);

    // One live thing to inspect.
    struct Target {
        std::string surface;
        // The focused window of a native app, or the web area (the panel for
        // Docs and Sheets) of a browser tab.
        AXElement scope;
        std::optional<std::string> conversationKey;
        std::string origin;  // "native" or the browser's slug
        std::optional<SegmenterSnapshot> parse;
        int pid = 0;
    };

    // A named structural test of a target's scope.
    struct Probe {
        std::string name;
        std::function<bool(const AXNodePtr& scope)> run;
    };

    // Every live capture target: Claude Desktop and the ChatGPT app (first
    // instance each), then every gated tab of every running supported browser.
    // Tabs on surfaces a browser does not capture are logged and left out.
    static std::vector<Target> liveTargets(ToolContext& context, const std::function<void(const std::string&)>& log);
    // The probes of a surface, in their printed order; none for an unknown surface.
    static std::vector<Probe> probes(std::string_view surface);
    static bool hasProbes(std::string_view surface) { return !probes(surface).empty(); }

    // "ax-check": 0 when every probe and parse check passes, 1 when one fails,
    // 2 when there is nothing to check.
    static int check(ToolContext& context);
    // "ax-record" with the arguments after the verb: 0 recorded and the
    // scrubbed copy parses alike, 1 written but diverging (or a write
    // failure), 2 usage or nothing to record.
    static int record(const std::vector<std::string>& arguments, ToolContext& context);
    static constexpr std::string_view recordUsage =
        "usage: ax-record --surface <s> --scenario <name> [--browser <slug>] [--out <dir>]\n";
    static constexpr std::string_view defaultFixtureDirectory = "tests/fixtures";
    // "ax-turns" with the arguments after the verb: prints the parsed turns of
    // every live target (of one surface with --surface), readable or, with
    // --json, one compact camelCase object per turn. 0 when a target was
    // read, 2 on a usage error or when none is open, 1 on an error.
    static int turns(const std::vector<std::string>& arguments, ToolContext& context);
    static constexpr std::string_view turnsUsage = "ax-turns [--surface <s>] [--json]";
    // What "ax-check" says when there is nothing to check.
    static std::string noTargetsMessage();

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
