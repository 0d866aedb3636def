#pragma once
// What the developer tools run against: the desktop's ports, a way to wait
// while the desktop moves on, the output streams and the agent's version.
// The executable builds it over the real backends; tests over the simulated
// ones, whose waiting advances virtual time.

#include "platform/MainLoop.hpp"
#include "surfaces/BrowserProfile.hpp"

#include <filesystem>
#include <functional>
#include <iosfwd>
#include <string>

namespace velmar {

class Accessibility;
class Input;
class Workspace;

struct ToolContext {
    Accessibility& accessibility;
    Workspace& workspace;
    Input& input;
    // The clock; its time stamps reports and names recorded files.
    const Clock& clock;
    // Waits this long, letting the desktop (and, in a simulation, virtual time) move on.
    std::function<void(Duration)> pause;
    std::ostream& out;
    std::ostream& err;
    std::string agentVersion = "dev";
    // The desktop whose browsers are looked for.
    DesktopPlatform platform = BrowserProfile::runningPlatform();
};

}  // namespace velmar
