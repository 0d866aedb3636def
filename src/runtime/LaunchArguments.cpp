#include "runtime/LaunchArguments.hpp"

#include "runtime/BuildInfo.hpp"

#include <CLI/CLI.hpp>

#include <algorithm>

namespace velmar {

namespace {
constexpr const char* kName = "velmar-desktop-agent";

std::string usageLine() {
    return std::string("usage: ") + kName + " [--help] [--version] [--background] [LINK...]\n"
           "       " + kName + " ax-check | ax-record | capture-check ... (developer verbs)\n";
}
}  // namespace

LaunchArguments LaunchArguments::parse(const std::vector<std::string>& arguments) {
    CLI::App app{"Records the conversations held with AI chat assistants: reads chat windows and browser tabs "
                 "through the accessibility bus and hands each completed prompt and reply to its core.",
                 kName};
    bool version = false;
    bool background = false;
    std::vector<std::string> operands;
    app.add_flag("--version", version, "Print the version and exit");
    app.add_flag("--background", background, "Start without showing a window (as the session does at login)");
    app.add_option("links", operands, "fernhollow: links to open in the running agent");
    try {
        // CLI11 wants its arguments last first.
        std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
        app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        return {Action::help, {}, false, app.help()};
    } catch (const CLI::ParseError& error) {
        return {Action::usageError, {}, false, std::string(kName) + ": " + error.what() + "\n" + usageLine()};
    }
    if (version) return {Action::version, {}, false, std::string(kName) + " " + std::string(build::version) + "\n"};
    return {Action::run, std::move(operands), background, {}};
}

}  // namespace velmar
