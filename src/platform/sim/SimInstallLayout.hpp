#pragma once
// A scripted installation: resources held in memory, auxiliary executables,
// version and identifier as the test sets them.

#include "platform/InstallLayout.hpp"

#include <map>
#include <set>

namespace velmar::sim {

class SimInstallLayout final : public InstallLayout {
public:
    // Installed under /opt/velmar, version "1.0.0", identifier "velmar-desktop-agent".
    SimInstallLayout();

    std::optional<std::filesystem::path> resource(std::string_view name, std::string_view extension) const override;
    std::optional<std::string> readResource(std::string_view name, std::string_view extension) const override;
    std::optional<std::filesystem::path> resourceDirectory(std::string_view name) const override;
    std::optional<std::filesystem::path> auxiliaryExecutable(std::string_view name) const override;
    std::optional<std::string> shortVersion() const override { return version_; }
    std::optional<std::string> appId() const override { return identifier_; }
    std::filesystem::path executablePath() const override { return location_ / "bin" / "velmar-desktop-agent"; }
    std::filesystem::path installLocation() const override { return location_; }

    // A resource file with these contents; nullopt makes it exist but unreadable.
    void setResource(std::string_view name, std::string_view extension, std::optional<std::string> contents);
    void removeResource(std::string_view name, std::string_view extension);
    void addResourceDirectory(std::string name) { directories_.insert(std::move(name)); }
    void addAuxiliaryExecutable(std::string name) { executables_.insert(std::move(name)); }
    void setShortVersion(std::optional<std::string> version) { version_ = std::move(version); }
    void setBundleIdentifier(std::optional<std::string> identifier) { identifier_ = std::move(identifier); }
    void setInstallLocation(std::filesystem::path location) { location_ = std::move(location); }

    std::filesystem::path resourcesFolder() const { return location_ / "share" / "velmar"; }

private:
    static std::string fileName(std::string_view name, std::string_view extension);

    std::filesystem::path location_;
    std::optional<std::string> version_;
    std::optional<std::string> identifier_;
    std::map<std::string, std::optional<std::string>, std::less<>> resources_;
    std::set<std::string, std::less<>> directories_;
    std::set<std::string, std::less<>> executables_;
};

}  // namespace velmar::sim
