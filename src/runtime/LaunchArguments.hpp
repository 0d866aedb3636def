#pragma once
// The agent's own command line (the developer verbs are dispatched before
// this): --help, --version, and links handed over by the desktop.

#include <string>
#include <vector>

namespace velmar {

struct LaunchArguments {
    enum class Action { run, help, version, usageError };

    Action action = Action::run;
    // The words to run with (links among them are opened once running).
    std::vector<std::string> operands;
    // Started by the session at login (the autostart entry's --background):
    // no window is shown at start.
    bool background = false;
    // What to print: the help or version text (standard output), or the
    // error and the usage line (standard error).
    std::string message;

    static LaunchArguments parse(const std::vector<std::string>& arguments);
};

}  // namespace velmar
