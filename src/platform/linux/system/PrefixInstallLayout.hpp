#pragma once
// The agent installed like a Linux package under a prefix:
//   <prefix>/bin/velmar-desktop-agent
//   <prefix>/share/velmar/          resources ("config.json", "core.mjs", "signin/")
//   <prefix>/libexec/velmar/        auxiliary executables ("node")
// The build tree is a prefix too: its executables sit in build/ itself, and the
// build links build/share/velmar to the checkout's resources, so the agent
// runs from build/ without installing.

#include "platform/InstallLayout.hpp"

namespace velmar::linux_backend {

class PrefixInstallLayout final : public InstallLayout {
public:
    static constexpr std::string_view applicationId = "velmar-desktop-agent";

    // The layout around `executable`: <prefix>/bin/<exe> or <build>/<exe>.
    explicit PrefixInstallLayout(std::filesystem::path executable);
    // The layout around the running executable (/proc/self/exe).
    static PrefixInstallLayout forThisProcess();

    std::optional<std::filesystem::path> resource(std::string_view name, std::string_view extension) const override;
    std::optional<std::string> readResource(std::string_view name, std::string_view extension) const override;
    std::optional<std::filesystem::path> resourceDirectory(std::string_view name) const override;
    std::optional<std::filesystem::path> auxiliaryExecutable(std::string_view name) const override;
    std::optional<std::string> shortVersion() const override;
    std::optional<std::string> appId() const override { return std::string(applicationId); }
    std::filesystem::path executablePath() const override { return executable_; }
    std::filesystem::path installLocation() const override { return prefix_; }

    std::filesystem::path resourcesFolder() const { return prefix_ / "share" / "velmar"; }
    std::filesystem::path auxiliaryFolder() const { return prefix_ / "libexec" / "velmar"; }

private:
    std::optional<std::filesystem::path> resourceFile(std::string_view name, std::string_view extension) const;

    std::filesystem::path executable_;
    std::filesystem::path prefix_;
};

}  // namespace velmar::linux_backend
