#include "runtime/ProviderVersions.hpp"

#include "platform/Workspace.hpp"
#include "capture/AIAppAllowlist.hpp"
#include "surfaces/BrowserProfile.hpp"
#include "text/Unicode.hpp"

namespace velmar {
namespace {

std::string trimSpacesAndTabs(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(" \t");
    return std::string(text.substr(first, last - first + 1));
}

}  // namespace

const std::vector<ProviderVersions::Bundle>& ProviderVersions::bundles() {
    static const std::vector<Bundle> list = [] {
        std::vector<Bundle> out;
        for (const BrowserProfile& profile : BrowserProfile::all())
            out.push_back({profile.slug, profile.appId, profile.otherIDs});
        out.push_back({"claude_desktop", std::string(AIAppAllowlist::claudeDesktopAppId), {}});
        out.push_back({"chatgpt_desktop", std::string(AIAppAllowlist::chatgptDesktopAppId), {}});
        return out;
    }();
    return list;
}

bool ProviderVersions::isVersionString(std::string_view text) {
    if (text.empty() || text.front() < '0' || text.front() > '9') return false;
    if (!text::isValidUtf8(text) || text::graphemeCount(text) > 32) return false;
    for (char32_t c : text::toUtf32(text)) {
        if (c == U'.' || c == U'+' || c == U'-') continue;
        if (!text::isLetter(c) && !text::isNumber(c)) return false;
    }
    return true;
}

ProviderVersions::ProviderVersions(const Workspace& workspace, std::chrono::seconds refreshAfter)
    : workspace_(workspace), refreshAfter_(refreshAfter) {}

std::optional<std::string> ProviderVersions::versionForAppId(std::string_view appId, TimePoint now) {
    return versionForAppId(appId, workspace_.runningApplications(), now);
}

std::optional<std::string> ProviderVersions::versionForAppId(std::string_view appId,
                                                                const std::vector<RunningApplication>& running,
                                                                TimePoint now) {
    std::optional<std::filesystem::path> location;
    for (const RunningApplication& app : running) {
        if (app.appId == appId) {
            location = app.bundleLocation;
            break;
        }
    }
    if (!location) location = workspace_.installedApplicationLocation(appId);
    if (!location) return std::nullopt;
    return versionAt(*location, now);
}

std::optional<std::string> ProviderVersions::versionAt(const std::filesystem::path& location, TimePoint now) {
    if (auto it = remembered_.find(location); it != remembered_.end() && now - it->second.readAt < refreshAfter_) {
        return it->second.version;
    }
    std::optional<std::string> version;
    if (auto declared = workspace_.applicationShortVersion(location)) {
        std::string trimmed = trimSpacesAndTabs(*declared);
        if (isVersionString(trimmed)) version = std::move(trimmed);
    }
    remembered_.insert_or_assign(location, Remembered{version, now});
    return version;
}

std::map<std::string, std::string> ProviderVersions::current(TimePoint now) {
    std::map<std::string, std::string> versions;
    const std::vector<RunningApplication> running = workspace_.runningApplications();
    for (const Bundle& bundle : bundles()) {
        auto version = versionForAppId(bundle.appId, running, now);
        for (auto other = bundle.otherIDs.begin(); !version && other != bundle.otherIDs.end(); ++other)
            version = versionForAppId(*other, running, now);
        if (version) versions.insert_or_assign(bundle.key, *version);
    }
    return versions;
}

}  // namespace velmar
