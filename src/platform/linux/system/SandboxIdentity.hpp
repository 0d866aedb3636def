#pragma once
// The application id of a sandboxed process: a snap's desktop id
// ("chromium_chromium") or a Flatpak's application id
// ("org.chromium.Chromium"). A sandboxed browser's executable lives inside
// its sandbox under a name that says little ("chrome" for the snap Chromium),
// so the sandbox names it first.

#include <optional>
#include <string>
#include <string_view>

namespace velmar::linux_backend {

class SandboxIdentity {
public:
    // From the text of /proc/PID/cgroup: systemd's scope for a snap
    // ("snap.chromium.chromium-<uuid>.scope") or a Flatpak
    // ("app-flatpak-org.chromium.Chromium-<n>.scope").
    static std::optional<std::string> fromCgroup(std::string_view cgroup);
    // From a Flatpak's /.flatpak-info: the "name" key of its [Application] group.
    static std::optional<std::string> fromFlatpakInfo(std::string_view info);
    // Both, for a running process under procRoot; absent for an unconfined one.
    static std::optional<std::string> ofProcess(const std::string& procRoot, int pid);
};

}  // namespace velmar::linux_backend
