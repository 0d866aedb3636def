#pragma once
// Where the agent's application bundle lives, and moving it into the
// Applications folder when it runs from a disk image or a translocated copy
// (where it can neither update itself nor keep its accessibility permission).
// Pure decisions over plain records; the relaunch is a shell script that
// waits for this process to exit, opens the installed copy and ejects the
// image.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmar::InstallLocation {

enum class Placement { notBundled, applications, mountedVolume, translocated, elsewhere };

struct VolumeInfo {
    bool readOnly = false;
    bool removable = false;
    std::optional<std::filesystem::path> volume;  // the volume's mount point
};

struct Bundle {
    std::optional<std::string> appId;
    std::filesystem::path path;
    VolumeInfo volume;
};

// True when VELMAR_SKIP_RELOCATION_CHECK is exactly "1" (pass its value).
bool isCheckDisabled(const std::optional<std::string>& skipVariable);

Placement current(const Bundle& bundle, const std::filesystem::path& homeDirectory);
std::optional<std::filesystem::path> applicationsDestination(const Bundle& bundle);
std::optional<std::filesystem::path> ejectableSourceVolume(const Bundle& bundle);

// "1.10.2" → {1, 10, 2}; absent for empty pieces or anything not decimal.
std::optional<std::vector<long long>> versionSegments(std::string_view version);
// False when either side is absent or does not parse; 1.2 equals 1.2.0.
bool isNewer(const std::optional<std::string>& a, const std::optional<std::string>& b);

enum class Offer { none, relocate, handOff };

struct PromptInputs {
    Placement placement = Placement::elsewhere;
    bool destinationExists = false;
    bool otherInstanceRunning = false;  // same identifier, another process and location
    std::optional<std::string> runningVersion;
    std::optional<std::string> installedVersion;
};
// Which alert, if any, the launch check shows.
Offer offer(const PromptInputs& inputs);

// One shell word in single quotes; a quote inside becomes '\''.
std::string shellQuote(std::string_view text);
// The script run by "/bin/sh -c" after this process (`pid`) quits.
std::string relaunchScript(long pid, const std::filesystem::path& application,
                           const std::optional<std::filesystem::path>& ejectVolume);

}  // namespace velmar::InstallLocation
