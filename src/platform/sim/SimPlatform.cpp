#include "platform/sim/SimPlatform.hpp"

namespace velmar::sim {

SimPlatform::SimPlatform()
    : platform_{loop, settings, install, login, environment, log, workspace, accessibility, clipboard, processes} {
    // Notifications arrive on the platform's loop, as they would on a desktop.
    workspace.attachLoop(&loop);
    accessibility.attachLoop(&loop);
}

}  // namespace velmar::sim
