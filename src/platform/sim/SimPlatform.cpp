#include "platform/sim/SimPlatform.hpp"

namespace velmar::sim {

SimPlatform::SimPlatform()
    : platform_{loop, settings, install, login, environment, log, workspace, accessibility, clipboard, processes} {}

}  // namespace velmar::sim
