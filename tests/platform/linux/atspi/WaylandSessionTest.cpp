// A private Wayland desktop (tests/support/wayland-session.sh, ctest's
// "desktop_wayland"): Chromium on its Wayland platform. The X server cannot
// say which window is active there; the agent's workspace learns it from the
// accessibility bus.

#include "platform/linux/atspi/AtspiWindowActivation.hpp"
#include "platform/linux/system/GLibMainLoop.hpp"
#include "platform/linux/system/LinuxEnvironment.hpp"
#include "platform/linux/system/LinuxWorkspace.hpp"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace velmar::linux_backend {
namespace {

using namespace std::chrono_literals;

TEST(WaylandSession, TheFrontApplicationComesFromTheAccessibilityBus) {
    if (!std::getenv("VELMAR_WAYLAND_SESSION")) GTEST_SKIP() << "needs the private Wayland desktop (desktop_wayland)";
    const char* chromium = nullptr;
    for (const char* candidate : {"/usr/bin/chromium", "/usr/bin/chromium-browser", "/usr/bin/google-chrome"})
        if (::access(candidate, X_OK) == 0) chromium = candidate;
    if (!chromium) GTEST_SKIP() << "no Chromium installed (scripts/bootstrap.sh installs it)";

    GLibMainLoop loop;
    LinuxEnvironment environment;
    LinuxWorkspace workspace(environment);
    workspace.attachLoop(&loop);
    // Opened before the browser starts, so its first activation is heard.
    auto subscription = workspace.subscribe([](const WorkspaceNotification&) {});
    EXPECT_FALSE(workspace.frontmostApplication()) << "nothing has a window yet";

    const std::string profile = std::string(std::getenv("VELMAR_SESSION_DIR")) + "/chromium-profile";
    const std::string profileArg = "--user-data-dir=" + profile;
    std::vector<const char*> argv{chromium,       "--ozone-platform=wayland", "--force-renderer-accessibility",
                                  "--no-sandbox", "--disable-gpu",            "--no-first-run",
                                  "--no-default-browser-check", profileArg.c_str(), "about:blank", nullptr};
    pid_t browser = 0;
    ASSERT_EQ(posix_spawn(&browser, chromium, nullptr, nullptr, const_cast<char**>(argv.data()), environ), 0);

    std::optional<RunningApplication> front;
    ScopedTimer deadline = loop.postDelayed(20s, [&] { loop.quit(); });
    ScopedTimer poll = loop.repeating(100ms, 0ms, [&] {
        front = workspace.frontmostApplication();
        if (front) loop.quit();
    });
    loop.run();
    kill(browser, SIGTERM);
    waitpid(browser, nullptr, 0);
    ASSERT_TRUE(front) << "no window activation reached the workspace";
    EXPECT_EQ(front->pid, browser);
}

}  // namespace
}  // namespace velmar::linux_backend
