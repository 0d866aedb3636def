#include "platform/sim/SimWorkspace.hpp"

#include <algorithm>

namespace velmar::sim {

std::optional<std::filesystem::path> SimWorkspace::installedApplicationLocation(std::string_view bundleIdentifier) const {
    auto it = installed_.find(bundleIdentifier);
    if (it == installed_.end()) return std::nullopt;
    return it->second;
}

std::optional<std::string> SimWorkspace::applicationShortVersion(const std::filesystem::path& bundleLocation) const {
    ++versionReads_;
    auto it = versions_.find(bundleLocation);
    if (it == versions_.end()) return std::nullopt;
    return it->second;
}

void SimWorkspace::launch(RunningApplication app) {
    terminate(app.pid);
    running_.push_back(std::move(app));
}

void SimWorkspace::terminate(int pid) {
    std::erase_if(running_, [pid](const RunningApplication& a) { return a.pid == pid; });
}

void SimWorkspace::install(std::string bundleIdentifier, std::filesystem::path location,
                           std::optional<std::string> shortVersion) {
    versions_[location] = std::move(shortVersion);
    installed_[std::move(bundleIdentifier)] = std::move(location);
}

void SimWorkspace::setShortVersion(const std::filesystem::path& location, std::optional<std::string> shortVersion) {
    versions_[location] = std::move(shortVersion);
}

}  // namespace velmar::sim
