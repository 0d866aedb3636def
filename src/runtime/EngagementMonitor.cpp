#include "runtime/EngagementMonitor.hpp"

#include "capture/AIAppAllowlist.hpp"
#include "platform/Accessibility.hpp"
#include "surfaces/SurfaceTraits.hpp"

#include <algorithm>
#include <ctime>

namespace velmar {

EngagementMonitor::EngagementMonitor(Workspace& workspace, Accessibility& accessibility, MainLoop& loop, Send send)
    : workspace_(workspace), accessibility_(accessibility), loop_(loop), send_(std::move(send)) {}

void EngagementMonitor::start() {
    subscription_ = workspace_.subscribe([this](const WorkspaceNotification& note) { handle(note); });
    emitEdgeIfChanged();
    pollTimer_ = loop_.repeating(pollInterval, Duration(0), [this] { poll(); });
}

void EngagementMonitor::handle(const WorkspaceNotification& note) {
    using K = WorkspaceNotification::Kind;
    switch (note.kind) {
        case K::displaysSlept: screensAsleep_ = true; break;
        case K::displaysWoke: screensAsleep_ = false; break;
        case K::sessionResigned: sessionActive_ = false; break;
        case K::sessionBecameActive: sessionActive_ = true; break;
        case K::screenLocked: screenLocked_ = true; break;
        case K::screenUnlocked: screenLocked_ = false; break;
        case K::activated: break;
        case K::launched:
        case K::terminated: return;  // focus changes come as activations
    }
    emitEdgeIfChanged();
}

std::optional<EngagementMonitor::Focus> EngagementMonitor::focusedSurface() {
    auto front = workspace_.frontmostApplication();
    if (!front || !front->appId) return std::nullopt;
    const auto& bundle = *front->appId;
    if (bundle == AIAppAllowlist::claudeDesktopAppId) return Focus{std::string(SurfaceKey::claudeDesktop), {}};
    if (bundle == AIAppAllowlist::chatgptDesktopAppId) return Focus{std::string(SurfaceKey::chatgptDesktop), {}};
    if (!accessibility_.isProcessTrusted()) return std::nullopt;
    auto profile = BrowserProfile::profileForAppId(bundle);
    if (!profile) return std::nullopt;
    auto surface = gate(front->pid, *profile).focusedAISurface();
    if (!surface) return std::nullopt;
    return Focus{*surface, profile->slug};
}

BrowserGate& EngagementMonitor::gate(int pid, const BrowserProfile& profile) {
    if (auto it = browserGates_.find(pid); it != browserGates_.end()) return it->second;
    const auto running = workspace_.runningApplications();
    std::erase_if(browserGates_, [&](const auto& entry) {
        return std::none_of(running.begin(), running.end(), [&](const auto& a) { return a.pid == entry.first; });
    });
    return browserGates_.try_emplace(pid, pid, profile, accessibility_).first->second;
}

void EngagementMonitor::sendEngagement(const Focus& focus, bool focused, bool visible) {
    nlohmann::json message = {
        {"type", "engagement"}, {"surface", focus.surface}, {"focused", focused}, {"visible", visible}, {"at", stamp()}};
    if (focus.browser) message["browser"] = *focus.browser;
    send_(message);
}

void EngagementMonitor::emitEdgeIfChanged() {
    const auto now = focusedSurface();
    const bool isVisible = visible();
    if (now == last_ && isVisible == lastVisible_) return;
    if (now != last_) {
        if (last_) sendEngagement(*last_, false, isVisible);
        if (now) sendEngagement(*now, true, isVisible);
    } else if (now) {
        sendEngagement(*now, true, isVisible);
    }
    last_ = now;
    lastVisible_ = isVisible;
}

void EngagementMonitor::poll() {
    emitEdgeIfChanged();
    if (!last_ || !visible()) return;
    if (workspace_.secondsSinceLastInput() >= activeInputSeconds) return;
    nlohmann::json message = {{"type", "activity"}, {"surface", last_->surface}, {"at", stamp()}};
    if (last_->browser) message["browser"] = *last_->browser;
    send_(message);
}

void EngagementMonitor::flushActiveTime() { send_({{"type", "flush_active_time"}, {"force", true}}); }

std::string EngagementMonitor::stamp() const {
    const std::time_t t = std::chrono::system_clock::to_time_t(
        std::chrono::time_point_cast<std::chrono::seconds>(loop_.now()));
    std::tm tm{};
    gmtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return buf;
}

}  // namespace velmar
