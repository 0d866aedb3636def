#pragma once
// Where the agent is installed: its resources ("config.json", "core.mjs", the
// "signin" folder), auxiliary executables ("node"), its version and identity.
// An install prefix laid out like a package (or the build tree, which works as
// one).

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace velmar {

class InstallLayout {
public:
    virtual ~InstallLayout() = default;

    // A resource file by name and extension ("core", "mjs"); absent when it
    // does not exist.
    virtual std::optional<std::filesystem::path> resource(std::string_view name,
                                                          std::string_view extension) const = 0;
    // The contents of a resource file ("config", "json"); absent when it does
    // not exist or cannot be read.
    virtual std::optional<std::string> readResource(std::string_view name, std::string_view extension) const = 0;
    // A resource folder ("signin"); absent when it does not exist.
    virtual std::optional<std::filesystem::path> resourceDirectory(std::string_view name) const = 0;
    // An auxiliary executable shipped with the agent ("node"); absent when it
    // does not exist or is not executable.
    virtual std::optional<std::filesystem::path> auxiliaryExecutable(std::string_view name) const = 0;
    // The release's short version ("1.4.2"); absent in builds that have none.
    virtual std::optional<std::string> shortVersion() const = 0;
    // The application's identifier; absent when run outside an installation.
    virtual std::optional<std::string> appId() const = 0;
    // The running executable and the folder the installation lives in.
    virtual std::filesystem::path executablePath() const = 0;
    virtual std::filesystem::path installLocation() const = 0;
};

}  // namespace velmar
