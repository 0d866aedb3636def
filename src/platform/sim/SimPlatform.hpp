#pragma once
// A whole simulated platform in one object: one of each simulated backend,
// public so tests and tools can script them, and the `Platform` over them.
// Not movable: the aggregate refers to the members.

#include "platform/Platform.hpp"
#include "platform/sim/SimAccessibility.hpp"
#include "platform/sim/SimClipboard.hpp"
#include "platform/sim/SimEnvironment.hpp"
#include "platform/sim/SimInstallLayout.hpp"
#include "platform/sim/SimLogSink.hpp"
#include "platform/sim/SimLoginService.hpp"
#include "platform/sim/SimMainLoop.hpp"
#include "platform/sim/SimProcessLauncher.hpp"
#include "platform/sim/SimSettings.hpp"
#include "platform/sim/SimWorkspace.hpp"

namespace velmar::sim {

class SimPlatform {
public:
    SimPlatform();
    SimPlatform(const SimPlatform&) = delete;
    SimPlatform& operator=(const SimPlatform&) = delete;

    SimMainLoop loop;
    SimSettings settings;
    SimInstallLayout install;
    SimLoginService login;
    SimEnvironment environment;
    SimLogSink log;
    SimWorkspace workspace;
    SimAccessibility accessibility;
    SimClipboard clipboard;
    SimProcessLauncher processes{loop};

    Platform& platform() { return platform_; }

private:
    Platform platform_;
};

}  // namespace velmar::sim
