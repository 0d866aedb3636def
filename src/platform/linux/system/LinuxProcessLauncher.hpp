#pragma once
// Real child processes: spawned by GLib with two pipes, the output pipe and the
// child's exit watched by the default main context (the GLibMainLoop), the
// input pipe non-blocking with a writability watch while bytes wait.

#include "platform/ProcessLauncher.hpp"

namespace velmar::linux_backend {

class LinuxProcessLauncher final : public ProcessLauncher {
public:
    // Ignores SIGPIPE for the process: a write to a child that has gone away
    // must fail with an error, not kill the agent.
    LinuxProcessLauncher();

    LaunchResult launch(const ProcessSpec& spec, ProcessCallbacks callbacks) override;
};

}  // namespace velmar::linux_backend
