#pragma once
// The versions of the AI providers' applications on this desktop (the
// supported browsers, then the two native apps), reported with the capture
// statistics.
//
// Reading an installed application's version can be slow (on Linux it asks
// the package manager, or runs the program), so an instance remembers every
// answer, found or not, per install location and asks again only after
// `refreshAfter`. Keep one instance for the life of the caller (the heartbeat
// runs every five minutes; the versions change with software updates).

#include "platform/Clock.hpp"

#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmar {

class Workspace;
struct RunningApplication;

class ProviderVersions {
public:
    struct Bundle {
        std::string key;
        std::string appId;
        // Other identifiers of the same application (a browser's snap or
        // Flatpak id, its executable's name), tried in order after appId.
        std::vector<std::string> otherIDs;
        bool operator==(const Bundle&) const = default;
    };

    static constexpr std::chrono::hours defaultRefreshAfter{6};

    // Every browser profile of the running desktop in order (slug, its
    // identifiers), then
    // "claude_desktop" and "chatgpt_desktop".
    static const std::vector<Bundle>& bundles();

    // Non-empty, starts with 0-9, at most 32 characters, and only letters,
    // digits, ".", "+" and "-".
    static bool isVersionString(std::string_view text);

    explicit ProviderVersions(const Workspace& workspace,
                              std::chrono::seconds refreshAfter = defaultRefreshAfter);

    // The version of the first running application with this identifier, else
    // of its installed copy; absent when neither declares a valid version.
    std::optional<std::string> versionForAppId(std::string_view appId, TimePoint now);

    // Key to version, for every bundle whose version is known.
    std::map<std::string, std::string> current(TimePoint now);

private:
    struct Remembered {
        std::optional<std::string> version;
        TimePoint readAt;
    };

    std::optional<std::string> versionForAppId(std::string_view appId,
                                                  const std::vector<RunningApplication>& running, TimePoint now);
    std::optional<std::string> versionAt(const std::filesystem::path& location, TimePoint now);

    const Workspace& workspace_;
    std::chrono::seconds refreshAfter_;
    std::map<std::filesystem::path, Remembered> remembered_;
};

}  // namespace velmar
