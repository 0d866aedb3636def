#include "platform/sim/SimWorkspace.hpp"

#include <algorithm>
#include <limits>

namespace velmar::sim {

std::optional<std::filesystem::path> SimWorkspace::installedApplicationLocation(std::string_view appId) const {
    auto it = installed_.find(appId);
    if (it == installed_.end()) return std::nullopt;
    return it->second;
}

std::optional<std::string> SimWorkspace::applicationShortVersion(const std::filesystem::path& bundleLocation) const {
    ++versionReads_;
    auto it = versions_.find(bundleLocation);
    if (it == versions_.end()) return std::nullopt;
    return it->second;
}

std::optional<RunningApplication> SimWorkspace::frontmostApplication() const {
    if (!frontmost_) return std::nullopt;
    for (const auto& app : running_) {
        if (app.pid == *frontmost_) return app;
    }
    return std::nullopt;
}

double SimWorkspace::secondsSinceLastInput() const {
    if (!lastInput_ || !loop_) return std::numeric_limits<double>::max();
    return std::chrono::duration<double>(loop_->now() - *lastInput_).count();
}

WorkspaceSubscription SimWorkspace::subscribe(WorkspaceObserver observer) {
    auto subscription = std::make_shared<const WorkspaceObserver>(std::move(observer));
    observers_.push_back(subscription);
    return subscription;
}

void SimWorkspace::deliver(WorkspaceNotification note) {
    std::erase_if(observers_, [](const auto& weak) { return weak.expired(); });
    auto send = [observers = observers_, note = std::move(note)] {
        for (const auto& weak : observers) {
            if (auto observer = weak.lock()) (*observer)(note);  // dropped since posting: skipped
        }
    };
    if (loop_) loop_->post(std::move(send));
    else send();
}

void SimWorkspace::launch(RunningApplication app) {
    terminate(app.pid);
    running_.push_back(app);
    deliver({Kind::launched, std::move(app)});
}

void SimWorkspace::terminate(int pid) {
    auto it = std::find_if(running_.begin(), running_.end(), [pid](const auto& a) { return a.pid == pid; });
    if (it == running_.end()) return;
    RunningApplication gone = *it;
    running_.erase(it);
    if (frontmost_ == pid) frontmost_.reset();
    deliver({Kind::terminated, std::move(gone)});
}

void SimWorkspace::activate(int pid) {
    frontmost_ = pid;
    if (auto app = frontmostApplication()) deliver({Kind::activated, std::move(app)});
}

void SimWorkspace::userInput() {
    if (loop_) lastInput_ = loop_->now();
}

void SimWorkspace::post(Kind kind) { deliver({kind, std::nullopt}); }

void SimWorkspace::install(std::string appId, std::filesystem::path location,
                           std::optional<std::string> shortVersion) {
    versions_[location] = std::move(shortVersion);
    installed_[std::move(appId)] = std::move(location);
}

void SimWorkspace::setShortVersion(const std::filesystem::path& location, std::optional<std::string> shortVersion) {
    versions_[location] = std::move(shortVersion);
}

}  // namespace velmar::sim
