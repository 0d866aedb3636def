#include "platform/linux/LinuxToolRunner.hpp"

#include "platform/linux/AtspiAccessibility.hpp"
#include "platform/linux/LinuxEnvironment.hpp"
#include "platform/linux/LinuxWorkspace.hpp"
#include "platform/linux/XTestInput.hpp"
#include "runtime/BuildInfo.hpp"
#include "tools/AXDump.hpp"

#include <glib.h>

#include <iostream>
#include <thread>

namespace velmar::linux_backend {
namespace {

// Without a display there is nothing to type into or click: every request is refused.
class NoInput final : public Input {
public:
    bool openURLInNewWindow(const std::filesystem::path&, std::optional<int>, std::string_view) override { return false; }
    bool raiseWindow(const AXElementRef&) override { return false; }
    bool closeWindow(const AXElementRef&) override { return false; }
    bool clickCentre(const AXElementRef&) override { return false; }
    bool typeText(std::string_view) override { return false; }
    bool pressKey(std::string_view) override { return false; }
};

class SystemClock final : public Clock {
public:
    TimePoint now() const override { return std::chrono::system_clock::now(); }
};

}  // namespace

int runDeveloperTool(const std::vector<std::string>& arguments) {
    LinuxEnvironment environment;
    AtspiAccessibility accessibility;
    LinuxWorkspace workspace(environment);
    // Keys a little apart, so a busy page misses none.
    std::unique_ptr<Input> input = XTestInput::open(std::chrono::milliseconds(20));
    if (!input) {
        std::cerr << "no X display with the XTest extension: nothing can be opened, clicked or typed\n";
        input = std::make_unique<NoInput>();
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

}  // namespace velmar::linux_backend
