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

#include "platform/Workspace.hpp"
#include "platform/linux/DesktopEntries.hpp"

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

    std::vector<RunningApplication> runningApplications() const override;
    std::optional<std::filesystem::path> installedApplicationLocation(std::string_view bundleIdentifier) const override;
    std::optional<std::string> applicationShortVersion(const std::filesystem::path& bundleLocation) const override;

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
    std::optional<std::string> readVersion(const std::filesystem::path& location) const;

    const ProcessEnvironment& environment_;
    std::filesystem::path procRoot_;
    mutable std::mutex mutex_;
    mutable std::optional<DesktopEntries> entries_;
    mutable std::map<std::filesystem::path, Remembered> versions_;
};

}  // namespace velmar::linux_backend
