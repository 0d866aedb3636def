#pragma once
// capture-check: opens each known baseline conversation of a manifest, checks
// the live parse and probes, optionally types a ping prompt and waits for the
// reply, prints a table and writes a JSON report compared with the previous one.

#include "tools/CaptureAssertions.hpp"
#include "tools/CaptureManifest.hpp"
#include "tools/ToolContext.hpp"

#include <string>
#include <string_view>
#include <vector>

namespace velmar {

class CaptureCheck {
public:
    static constexpr std::string_view usage =
        "capture-check --manifest <file> [--out <json>] [--surfaces a,b] [--browsers chrome,safari] [--send] "
        "[--close 0|1]";
    static constexpr std::string_view defaultReportPath = "capture-check-report.json";
    // How often a live target is read while waiting for it.
    static constexpr Duration pollInterval{500};
    // How long a window stays open after a completed reply, so that an agent
    // capturing beside the harness reads the reply before the window closes:
    // its settle (0.7 s), the 1.5 s a reply must stand still, the read that
    // confirms it, and room for a slow page.
    static constexpr Duration captureGrace{5000};

    struct Options {
        std::string manifest;
        std::string out{defaultReportPath};
        std::optional<std::vector<std::string>> surfaces, browsers;
        bool send = false;
        bool close = true;
    };

    // The arguments after the verb into `options`; the exit status when the
    // tool should stop (0 after help, 2 after printing the problem).
    static std::optional<int> parseArguments(const std::vector<std::string>& arguments, Options& options,
                                             ToolContext& context);
    // Exit status: 0 when nothing failed, 1 when an entry failed (or none was
    // selected), 2 for usage and manifest problems.
    static int run(const std::vector<std::string>& arguments, ToolContext& context);
};

}  // namespace velmar
