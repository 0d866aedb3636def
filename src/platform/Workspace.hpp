#pragma once
// The desktop's applications, as far as the agent needs them.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmar {

struct RunningApplication {
    int pid = 0;
    // The identifier applications are allow-listed by (a bundle identifier on
    // macOS; a desktop entry id or executable name on Linux).
    std::optional<std::string> bundleIdentifier;
    std::optional<std::string> localizedName;
    // Where the application is installed; what its version is read from.
    std::optional<std::filesystem::path> bundleLocation;

    bool operator==(const RunningApplication&) const = default;
};

class Workspace {
public:
    virtual ~Workspace() = default;

    virtual std::vector<RunningApplication> runningApplications() const = 0;
    // Where an application with this identifier is installed, running or not.
    virtual std::optional<std::filesystem::path> installedApplicationLocation(std::string_view bundleIdentifier) const = 0;
    // The short version string an installed application declares, untrimmed and
    // unchecked; absent when it declares none. May be slow the first time.
    virtual std::optional<std::string> applicationShortVersion(const std::filesystem::path& bundleLocation) const = 0;
};

}  // namespace velmar
