#pragma once
// The real platform: one of each Linux backend and the `Platform` over them.
// Accessibility and the clipboard have no Linux backend yet; until they do,
// the simulated ones stand in (untrusted, empty), so the agent runs but sees
// no application's tree. Not movable: the aggregate refers to the members.

#include "platform/Platform.hpp"
#include "platform/linux/GLibMainLoop.hpp"
#include "platform/linux/JsonFileSettings.hpp"
#include "platform/linux/LinuxEnvironment.hpp"
#include "platform/linux/LinuxProcessLauncher.hpp"
#include "platform/linux/LinuxWorkspace.hpp"
#include "platform/linux/PrefixInstallLayout.hpp"
#include "platform/linux/StderrLogSink.hpp"
#include "platform/linux/XdgAutostartLoginService.hpp"
#include "platform/sim/SimAccessibility.hpp"
#include "platform/sim/SimClipboard.hpp"

namespace velmar::linux_backend {

class LinuxPlatform {
public:
    LinuxPlatform();
    LinuxPlatform(const LinuxPlatform&) = delete;
    LinuxPlatform& operator=(const LinuxPlatform&) = delete;

    Platform& platform() { return platform_; }

private:
    LinuxEnvironment environment_;
    StderrLogSink log_;
    GLibMainLoop loop_;
    PrefixInstallLayout install_;
    JsonFileSettings settings_;
    XdgAutostartLoginService login_;
    LinuxWorkspace workspace_;
    sim::SimAccessibility accessibility_;
    sim::SimClipboard clipboard_;
    LinuxProcessLauncher processes_;
    Platform platform_;
};

}  // namespace velmar::linux_backend
