#include "DeveloperTools.hpp"

#include "platform/headless/NoInput.hpp"
#include "platform/linux/atspi/AtspiAccessibility.hpp"
#include "platform/linux/system/LinuxEnvironment.hpp"
#include "platform/linux/system/LinuxWorkspace.hpp"
#include "platform/linux/system/XTestInput.hpp"
#include "runtime/BuildInfo.hpp"
#include "tools/AXDump.hpp"

#include <glib.h>

#include <iostream>
#include <thread>

namespace velmar {
namespace {

class SystemClock final : public Clock {
public:
    TimePoint now() const override { return std::chrono::system_clock::now(); }
};

}  // namespace

int runDeveloperTool(const std::vector<std::string>& arguments) {
    linux_backend::LinuxEnvironment environment;
    linux_backend::AtspiAccessibility accessibility;
    linux_backend::LinuxWorkspace workspace(environment);
    // Keys a little apart, so a busy page misses none.
    std::unique_ptr<Input> input = linux_backend::XTestInput::open(std::chrono::milliseconds(20));
    if (!input) {
        std::cerr << "no X display with the XTest extension: nothing can be opened, clicked or typed\n";
        input = std::make_unique<headless::NoInput>();
    }
    SystemClock clock;
    ToolContext context{
        accessibility, workspace, *input, clock,
        [](Duration d) {
            // Let whatever the default context carries run while waiting.
            const auto end = std::chrono::steady_clock::now() + d;
            while (std::chrono::steady_clock::now() < end) {
                while (g_main_context_iteration(nullptr, FALSE)) {
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        },
        std::cout, std::cerr, std::string(build::version)};
    return AXDump::run(arguments, context);
}

}  // namespace velmar
