#pragma once
// A scripted desktop's applications: what runs, what is in front, when the
// user last touched the machine, where things are installed and which
// versions they declare. Changes post the matching notifications; with a main
// loop attached they are delivered on it, otherwise at once.

#include "platform/MainLoop.hpp"
#include "platform/Workspace.hpp"

#include <map>
#include <string>

namespace velmar::sim {

class SimWorkspace : public Workspace {
public:
    using Kind = WorkspaceNotification::Kind;

    std::vector<RunningApplication> runningApplications() const override { return running_; }
    std::optional<std::filesystem::path> installedApplicationLocation(std::string_view appId) const override;
    std::optional<std::string> applicationShortVersion(const std::filesystem::path& bundleLocation) const override;
    std::optional<RunningApplication> frontmostApplication() const override;
    double secondsSinceLastInput() const override;
    WorkspaceSubscription subscribe(WorkspaceObserver observer) override;

    // Notifications go through this loop, and its clock measures idle time.
    void attachLoop(MainLoop* loop) { loop_ = loop; }

    // Posts "launched" (and "terminated" for a process it replaces).
    void launch(RunningApplication app);
    // Posts "terminated" when the process ran; the front application is gone too.
    void terminate(int pid);
    // Brings a running process to the front and posts "activated".
    void activate(int pid);
    // The user typed or moved the mouse now (needs the loop's clock).
    void userInput();
    // Displays, session and screen lock: posts the notification of that kind.
    void post(Kind kind);

    void install(std::string appId, std::filesystem::path location, std::optional<std::string> shortVersion);
    void setShortVersion(const std::filesystem::path& location, std::optional<std::string> shortVersion);
    // Version look-ups so far (they are slow on a real desktop).
    std::size_t versionReads() const { return versionReads_; }

private:
    void deliver(WorkspaceNotification note);

    std::vector<RunningApplication> running_;
    std::optional<int> frontmost_;
    std::optional<TimePoint> lastInput_;
    MainLoop* loop_ = nullptr;
    std::vector<std::weak_ptr<const WorkspaceObserver>> observers_;
    std::map<std::string, std::filesystem::path, std::less<>> installed_;
    std::map<std::filesystem::path, std::optional<std::string>> versions_;
    mutable std::size_t versionReads_ = 0;
};

}  // namespace velmar::sim
