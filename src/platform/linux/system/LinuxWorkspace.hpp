#pragma once
// The desktop's applications on Linux.
// - Running applications: this user's processes from /proc, one per program
//   (a browser's helper processes fold into the process that started them),
//   named by their desktop entry id where one matches, else by the
//   executable's file name; the location is the executable.
// - Installed applications: a desktop entry id's program, or a program name,
//   found through PATH.
// - Versions: what the package manager says about the file (dpkg), else the
//   first version in the program's "--version" output. Either may take a
//   while (a child process, up to a few seconds), so never ask on the main
//   loop's hot path; each location's answer is kept until the file changes.
// - Launches and ends: with a loop attached and someone subscribed, the
//   process table is looked at every 2 s and compared with the previous look
//   (only new processes are read). The kernel's process-event connector would
//   tell at once but needs a privilege the agent has not; a listing of /proc
//   every 2 s costs a fraction of a millisecond. A program that lives less
//   than one look may go unseen; the agent attaches only to applications that
//   stay open.
// - The application in front: the X window manager's active window, where a
//   display exists; absent elsewhere. Changes are posted as activations.
// - Idle time: GNOME's idle monitor, else the X screen saver extension, else
//   the freedesktop screen saver service.
// - Screen lock and session switches: logind and the screen saver services,
//   asked without waiting at every look.

#include "platform/MainLoop.hpp"
#include "platform/Workspace.hpp"
#include "platform/linux/session/DesktopEntries.hpp"
#include "platform/linux/system/ProcessWatch.hpp"

#include <chrono>
#include <ctime>
#include <mutex>

namespace velmar {
class ProcessEnvironment;
}

namespace velmar::linux_backend {

class LinuxWorkspace final : public Workspace {
public:
    explicit LinuxWorkspace(const ProcessEnvironment& environment, std::filesystem::path procRoot = "/proc");
    ~LinuxWorkspace() override;

    std::vector<RunningApplication> runningApplications() const override;
    // One look at /proc/PID: a process of this user and login session.
    bool isRunning(int pid) const override { return inspect(pid).has_value(); }
    std::optional<std::filesystem::path> installedApplicationLocation(std::string_view appId) const override;
    std::optional<std::string> applicationShortVersion(const std::filesystem::path& bundleLocation) const override;
    std::optional<RunningApplication> frontmostApplication() const override;
    double secondsSinceLastInput() const override;
    WorkspaceSubscription subscribe(WorkspaceObserver observer) override;

    static constexpr Duration lookInterval{2'000};
    // Notifications need a loop: the table is looked at on it while anyone
    // is subscribed.
    void attachLoop(MainLoop* loop) { loop_ = loop; }
    // One look at the process table and the session now (what the timer does).
    void look();

    // The application a process belongs to: a helper's program (the first
    // ancestor of another executable ends the climb), named as
    // runningApplications() names it; absent for processes that are gone or
    // not this user's.
    std::optional<RunningApplication> applicationOfProcess(int pid) const;

    // The upstream part of a Debian version: "1:120.0-1~deb12u1" gives "120.0".
    static std::string upstreamVersion(std::string_view debianVersion);
    // The first version-looking word of a program's "--version" output.
    static std::optional<std::string> versionInOutput(std::string_view output);

private:
    struct Remembered {
        std::filesystem::file_time_type modified;
        std::uintmax_t size = 0;
        std::optional<std::string> version;
    };

    const DesktopEntries& entries() const;
    RunningApplication describe(int pid, const std::filesystem::path& executable) const;
    std::optional<ProcessWatch::Process> inspect(int pid) const;
    std::vector<int> listProcesses() const;
    void deliver(const WorkspaceNotification& note);
    class Desktop;
    Desktop& desktop() const;
    std::optional<std::string> readVersion(const std::filesystem::path& location) const;

    const ProcessEnvironment& environment_;
    std::filesystem::path procRoot_;
    mutable std::mutex mutex_;
    mutable std::optional<DesktopEntries> entries_;
    mutable std::map<std::filesystem::path, Remembered> versions_;

    MainLoop* loop_ = nullptr;
    ScopedTimer lookTimer_;
    ProcessWatch watch_;
    std::optional<int> lastFrontmost_;
    std::vector<std::weak_ptr<const WorkspaceObserver>> observers_;
    bool inOurSession(const std::filesystem::path& processDir) const;
    const std::optional<unsigned long> ownSession_;  // this process's login session, when known
    mutable std::unique_ptr<Desktop> desktop_;  // the X server and the session services, opened on first use
};

}  // namespace velmar::linux_backend
