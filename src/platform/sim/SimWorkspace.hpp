#pragma once
// A scripted desktop's applications: what runs, where things are installed
// and which versions they declare.

#include "platform/Workspace.hpp"

#include <map>
#include <string>

namespace velmar::sim {

class SimWorkspace : public Workspace {
public:
    std::vector<RunningApplication> runningApplications() const override { return running_; }
    std::optional<std::filesystem::path> installedApplicationLocation(std::string_view bundleIdentifier) const override;
    std::optional<std::string> applicationShortVersion(const std::filesystem::path& bundleLocation) const override;

    void launch(RunningApplication app);
    void terminate(int pid);
    void install(std::string bundleIdentifier, std::filesystem::path location, std::optional<std::string> shortVersion);
    void setShortVersion(const std::filesystem::path& location, std::optional<std::string> shortVersion);
    // Version look-ups so far (they are slow on a real desktop).
    std::size_t versionReads() const { return versionReads_; }

private:
    std::vector<RunningApplication> running_;
    std::map<std::string, std::filesystem::path, std::less<>> installed_;
    std::map<std::filesystem::path, std::optional<std::string>> versions_;
    mutable std::size_t versionReads_ = 0;
};

}  // namespace velmar::sim
