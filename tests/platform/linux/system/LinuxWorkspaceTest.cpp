#include "platform/linux/system/LinuxWorkspace.hpp"

#include "platform/linux/system/GLibMainLoop.hpp"

#include "platform/sim/SimEnvironment.hpp"
#include "runtime/ProviderVersions.hpp"
#include "support/TempFiles.hpp"

#include <gtest/gtest.h>

#include <glib.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <limits>
#include <memory>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace velmar::linux_backend {
namespace {

namespace fs = std::filesystem;
using velmar::testing::TempDir;
using velmar::testing::writeFile;

TEST(LinuxWorkspace, VersionTexts) {
    const auto upstream = &LinuxWorkspace::upstreamVersion;
    const auto inOutput = &LinuxWorkspace::versionInOutput;
    struct Case {
        const char* description;
        std::optional<std::string> actual;
        std::optional<std::string> expected;
    };
    const Case cases[] = {
        {"package revision", upstream("9.1-1"), "9.1"},
        {"package epoch and backport revision", upstream("1:120.0.6099.224-1~deb12u1"), "120.0.6099.224"},
        {"native package", upstream("2.38.1"), "2.38.1"},
        {"dashes in the upstream part", upstream("1.0-rc1-3"), "1.0-rc1"},
        {"package version with a trailing newline", upstream("3.11.2-1\n"), "3.11.2"},
        {"browser output", inOutput("Chromium 120.0.6099.224 built on Debian 12.4, running on Debian 12.4\n"),
         "120.0.6099.224"},
        {"GNU tool output", inOutput("sleep (GNU coreutils) 9.1\nCopyright (C) 2022\n"), "9.1"},
        {"v prefix and comma", inOutput("node v18.19.0, x64"), "18.19.0"},
        {"version on the second line only", inOutput("Some App\n1.2.3\n"), std::nullopt},
        {"no dotted number", inOutput("tool 7"), std::nullopt},
        {"no output", inOutput(""), std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(c.actual, c.expected) << c.description;
}

// A made-up /proc: a browser's helper processes fold into the one that started
// them; other programs, even its children, stay; processes without an
// executable (kernel threads) are skipped. Another login session of the same
// user has its own desktop: its programs are not ours; a process whose
// session the kernel does not know counts as ours.
TEST(LinuxWorkspace, ListsThisSessionsProgramsWithHelperProcessesFolded) {
    TempDir proc;
    const std::string slice = "0::/user.slice/user-1000.slice/user@1000.service/app.slice/";
    auto process = [&](int pid, int ppid, const char* exe, const char* session = nullptr, const char* scope = nullptr) {
        fs::create_directories(proc / std::to_string(pid));
        writeFile(proc / (std::to_string(pid) + "/stat"), std::to_string(pid) + " (odd) name) S " + std::to_string(ppid) + " 1 1\n");
        if (exe) fs::create_symlink(exe, proc / (std::to_string(pid) + "/exe"));
        if (session) writeFile(proc / (std::to_string(pid) + "/sessionid"), session);
        if (scope) writeFile(proc / (std::to_string(pid) + "/cgroup"), slice + scope + "\n");
    };
    writeFile(proc / "self/sessionid", "3");
    process(100, 1, "/usr/lib/chromium/chromium", "3");
    process(101, 100, "/usr/lib/chromium/chromium");
    process(102, 101, "/usr/lib/chromium/chromium");
    process(103, 100, "/usr/bin/sleep", "4294967295");
    process(2, 0, nullptr);
    process(400, 1, "/usr/bin/firefox-esr", "7");
    // Sandboxed browsers are named by their sandbox, not by their program.
    process(200, 1, "/snap/brave/312/opt/brave.com/brave/brave", nullptr,
            "snap.brave.brave-2c3b4d35-1111-2222-3333-444455556666.scope");
    process(300, 1, "/app/chromium/chromium", nullptr, "app-flatpak-org.chromium.Chromium-81234.scope");

    TempDir data;
    writeFile(data / "applications/chromium.desktop",
              "[Desktop Entry]\nType=Application\nName=Chromium\nName[de]=Chromium-Browser\nExec=/usr/bin/chromium %U\n");
    writeFile(data / "applications/brave_brave.desktop",
              "[Desktop Entry]\nType=Application\nName=Brave\nExec=env BAMF=1 /snap/bin/brave %U\n");
    sim::SimEnvironment env{{"XDG_DATA_HOME", data.path().string()}, {"XDG_DATA_DIRS", "/nonexistent"},
                            {"PATH", "/nonexistent"}, {"LANG", "de_AT.UTF-8"}};
    LinuxWorkspace workspace(env, proc.path());

    const std::vector<RunningApplication> expected{
        {100, "chromium", "Chromium-Browser", "/usr/lib/chromium/chromium"},
        {103, "sleep", "sleep", "/usr/bin/sleep"},
        {200, "brave_brave", "Brave", "/snap/brave/312/opt/brave.com/brave/brave"},
        {300, "org.chromium.Chromium", "org.chromium.Chromium", "/app/chromium/chromium"},
    };
    EXPECT_EQ(workspace.runningApplications(), expected);

    // A window's process is a renderer: the application is the browser.
    EXPECT_EQ(workspace.applicationOfProcess(102), expected[0]);
    EXPECT_EQ(workspace.applicationOfProcess(103), expected[1]);
    EXPECT_EQ(workspace.applicationOfProcess(2), std::nullopt) << "a kernel thread";
    EXPECT_EQ(workspace.applicationOfProcess(999), std::nullopt) << "gone";
    EXPECT_EQ(workspace.applicationOfProcess(400), std::nullopt) << "another session's";
    EXPECT_FALSE(workspace.isRunning(400));
    EXPECT_TRUE(workspace.isRunning(100));
    // No display and no session bus: nothing in front, idle time unknown.
    EXPECT_EQ(workspace.frontmostApplication(), std::nullopt);
    EXPECT_EQ(workspace.secondsSinceLastInput(), std::numeric_limits<double>::max());
}

// For real, on GLib's loop: a program started after the workspace began
// watching is reported with its desktop entry (in the user's language), its
// installed location through PATH and its version from the package database
// (through the other spelling of a merged /usr), agreeing with its own
// --version; its end is reported with the same description.
TEST(LinuxWorkspace, ReportsARealProgramStartedAfterSubscribingAndItsEnd) {
    TempDir data;
    writeFile(data / "applications/test/sleeper.desktop",
              "[Desktop Entry]\nType=Application\nName=Sleeper\nName[fr]=Dormeur\nExec=env A=1 sleep 1000\n");
    sim::SimEnvironment env{{"XDG_DATA_HOME", data.path().string()}, {"XDG_DATA_DIRS", "/nonexistent"},
                            {"PATH", "/usr/bin:/bin"}, {"LC_ALL", "fr_FR.UTF-8"}};
    GLibMainLoop loop;
    LinuxWorkspace workspace(env);
    workspace.attachLoop(&loop);
    std::vector<WorkspaceNotification> notes;
    auto subscription = workspace.subscribe([&](const WorkspaceNotification& n) { notes.push_back(n); });

    auto spinUntil = [](const std::function<bool()>& done) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!done() && std::chrono::steady_clock::now() < deadline) {
            if (!g_main_context_iteration(nullptr, FALSE)) g_usleep(5000);
        }
        return done();
    };
    auto find = [&](WorkspaceNotification::Kind kind, int pid) -> std::optional<RunningApplication> {
        for (const auto& n : notes)
            if (n.kind == kind && n.app && n.app->pid == pid) return n.app;
        return std::nullopt;
    };

    pid_t pid = -1;
    const char* argv[] = {"/usr/bin/sleep", "30", nullptr};
    ASSERT_EQ(::posix_spawn(&pid, argv[0], nullptr, nullptr, const_cast<char**>(argv), environ), 0);
    // Killed and reaped when released, or when the test ends early.
    std::shared_ptr<void> sleeper(nullptr, [pid](void*) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    });
    ASSERT_TRUE(spinUntil([&] { return find(WorkspaceNotification::Kind::launched, pid).has_value(); }))
        << "no launch reported within 10 s";
    const auto launched = *find(WorkspaceNotification::Kind::launched, pid);
    EXPECT_EQ(launched, (RunningApplication{pid, "test-sleeper", "Dormeur", "/usr/bin/sleep"}));
    const auto running = workspace.runningApplications();
    EXPECT_EQ(std::count(running.begin(), running.end(), launched), 1);

    EXPECT_EQ(workspace.installedApplicationLocation("test-sleeper"), fs::path("/usr/bin/sleep"));
    EXPECT_EQ(workspace.installedApplicationLocation("sleep"), fs::path("/usr/bin/sleep"));
    EXPECT_EQ(workspace.installedApplicationLocation("no-such-program-here"), std::nullopt);
    auto version = workspace.applicationShortVersion("/usr/bin/sleep");
    ASSERT_TRUE(version);
    EXPECT_TRUE(ProviderVersions::isVersionString(*version)) << *version;
    std::string own;
    if (FILE* pipe = ::popen("LC_ALL=C /usr/bin/sleep --version", "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe)) own += buffer;
        ::pclose(pipe);
    }
    EXPECT_EQ(version, LinuxWorkspace::versionInOutput(own)) << own;
    EXPECT_EQ(workspace.applicationShortVersion("/nonexistent/app"), std::nullopt);

    sleeper.reset();  // killed and reaped
    ASSERT_TRUE(spinUntil([&] { return find(WorkspaceNotification::Kind::terminated, pid).has_value(); }))
        << "no end reported within 10 s";
    EXPECT_EQ(*find(WorkspaceNotification::Kind::terminated, pid), launched);
    EXPECT_FALSE(find(WorkspaceNotification::Kind::launched, ::getpid())) << "what ran before subscribing is not news";
}

}  // namespace
}  // namespace velmar::linux_backend
