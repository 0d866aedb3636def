#include "runtime/CaptureSupervisor.hpp"

#include "capture/AIAppAllowlist.hpp"
#include "capture/BrowserCaptureController.hpp"
#include "capture/CaptureController.hpp"
#include "platform/Accessibility.hpp"
#include "platform/LogSink.hpp"
#include "platform/Notifications.hpp"
#include "platform/Platform.hpp"
#include "platform/Settings.hpp"
#include "ui/StatusMenu.hpp"

#include <algorithm>

namespace velmar {

std::shared_ptr<CaptureSupervisor> CaptureSupervisor::create(Ports ports, Hooks hooks) {
    return std::shared_ptr<CaptureSupervisor>(new CaptureSupervisor(ports, std::move(hooks)));
}

CaptureSupervisor::CaptureSupervisor(Ports ports, Hooks hooks)
    : ports_(ports), hooks_(std::move(hooks)), pastes_(&ports_.platform.clipboard) {}

CaptureSupervisor::~CaptureSupervisor() {
    // Controllers hand their last turns to an owner that is going away; an
    // orderly end has already stopped them.
    controllers_.clear();
}

bool CaptureSupervisor::trusted() const { return ports_.platform.accessibility.isProcessTrusted(); }

double CaptureSupervisor::flushGraceSeconds() const {
    auto grace = ports_.platform.settings.number(flushGraceKey);
    return grace && *grace > 0 ? *grace : defaultGraceSeconds;
}

void CaptureSupervisor::start() {
    auto self = shared_from_this();
    workspaceSubscription_ = ports_.platform.workspace.subscribe(
        [weak = weak_from_this()](const WorkspaceNotification& note) {
            auto self = weak.lock();
            if (!self || !note.app) return;
            if (note.kind == WorkspaceNotification::Kind::launched) self->appLaunched(*note.app);
            if (note.kind == WorkspaceNotification::Kind::terminated) self->appTerminated(*note.app);
        });
    wasTrusted_ = trusted();
    ports_.menu.axTrusted = wasTrusted_;
    if (wasTrusted_) attachRunning();
    trustTimer_ = ports_.platform.loop.repeating(trustPollInterval, Duration{0},
                                                 weakly(self, [](CaptureSupervisor& s) { s.trustObserved(s.trusted()); }));
}

void CaptureSupervisor::stop() {
    stopped_ = true;
    trustTimer_.cancel();
    for (auto& pending : pendingAttaches_) pending.cancel();
    pendingAttaches_.clear();
    stopControllers();
    refreshCapturingLine();
}

void CaptureSupervisor::trustObserved(bool nowTrusted) {
    ports_.menu.axTrusted = nowTrusted;
    if (nowTrusted && !wasTrusted_) attachRunning();
    const bool changed = nowTrusted != wasTrusted_;
    wasTrusted_ = nowTrusted;
    if (changed) {
        hooks_.onEdge();
        ports_.menu.refresh();
    }
}

void CaptureSupervisor::applyDirective(const CaptureDirective& directive) {
    ports_.menu.capturePause =
        directive.isPause() ? std::optional(StatusMenu::CapturePause{directive.scope}) : std::nullopt;
    const bool paused = directive.isPause();
    if (paused == paused_) {
        ports_.menu.refresh();
        return;
    }
    paused_ = paused;
    if (paused) {
        stopControllers();
        refreshCapturingLine();
    } else if (trusted()) {
        attachRunning();
    }
    ports_.menu.refresh();
    hooks_.onEdge();
}

void CaptureSupervisor::appLaunched(const RunningApplication& app) {
    // Most programs started on a desktop are none of ours: they cost nothing more.
    if (!app.appId || !AIAppAllowlist::specForAppId(*app.appId)) return;
    // Give the application time to build its windows before observing it.
    attachLater(app, attachAfterLaunch);
}

void CaptureSupervisor::attachLater(const RunningApplication& app, Duration delay) {
    std::erase_if(pendingAttaches_, [](const TimerHandle& h) { return !h.active(); });
    pendingAttaches_.push_back(ports_.platform.loop.postDelayed(
        delay, weakly(shared_from_this(), [app](CaptureSupervisor& s) {
            // Only if it still runs: a quick quit must not leave a controller behind.
            if (s.ports_.platform.workspace.isRunning(app.pid))
                s.attachIfAllowlisted(app);
            else
                s.attachRetryDelay_.erase(app.pid);
        })));
}

void CaptureSupervisor::appTerminated(const RunningApplication& app) {
    attachRetryDelay_.erase(app.pid);
    auto it = controllers_.find(app.pid);
    if (it == controllers_.end()) return;
    auto controller = std::move(it->second);
    controllers_.erase(it);
    controller->stop();
    refreshCapturingLine();
}

std::unique_ptr<AttachedController> CaptureSupervisor::controllerFor(const RunningApplication& app,
                                                                     const CaptureSpec& spec) {
    auto& p = ports_.platform;
    CaptureSchedule::Timings timings;
    timings.settle = controllerSettle;
    timings.grace = CaptureSchedule::Seconds(flushGraceSeconds());
    timings.sweep = controllerSweep;
    auto onEvent = [weak = weak_from_this()](const TurnEvent& event) {
        if (auto self = weak.lock()) self->hooks_.onTurn(event);
    };
    if (const auto* native = spec.nativeCase())
        return std::make_unique<CaptureController>(app, native->segmenter, p.accessibility, p.loop, ports_.diag,
                                                   timings, onEvent);
    const auto* browser = spec.browserCase();
    if (!browser) return nullptr;
    auto controller = std::make_unique<BrowserCaptureController>(app, browser->profile, p.accessibility, p.loop,
                                                                 ports_.diag, timings, onEvent, &pastes_,
                                                                 &ports_.debug);
    controller->setOnPagesHidden([weak = weak_from_this(), profile = browser->profile] {
        if (auto self = weak.lock()) self->tellToRestart(profile);
    });
    return controller;
}

void CaptureSupervisor::attachIfAllowlisted(const RunningApplication& app) {
    if (paused_ || stopped_ || !app.appId || controllers_.count(app.pid)) return;
    // The allow-list first: asking the bus whether capture is trusted costs a round trip.
    auto spec = AIAppAllowlist::specForAppId(*app.appId, &pastes_);
    if (!spec || !trusted()) return;
    auto controller = controllerFor(app, *spec);
    if (!controller) return;
    if (hooks_.resumeLookup) controller->setResumeLookup(hooks_.resumeLookup);
    if (!controller->start()) return attachFailed(app, *spec);
    if (attachRetryDelay_.erase(app.pid))
        ports_.platform.log.writeLine("[agent] attached to " + *app.appId + " on a later try");
    controllers_.emplace(app.pid, std::move(controller));
    refreshCapturingLine();
}

void CaptureSupervisor::attachFailed(const RunningApplication& app, const CaptureSpec& spec) {
    // Said once per process; the tries go on quietly.
    if (!attachRetryDelay_.contains(app.pid)) {
        ports_.platform.log.writeLine("[agent] could not observe " + *app.appId +
                                      " over the accessibility bus — capture degraded, trying again");
        ports_.menu.lastEventLine = "⚠︎ Accessibility attach failed for " + app.localizedName.value_or(*app.appId);
        ports_.menu.refresh();
    }
    // A browser that is still off the bus after several tries was started
    // before accessibility was turned on: only a restart brings it on.
    if (const auto* browser = spec.browserCase(); browser && attachRetryDelay_[app.pid] >= attachRestartHint)
        tellToRestart(browser->profile);
    auto& delay = attachRetryDelay_[app.pid];
    delay = delay.count() == 0 ? attachRetryFirst : std::min(delay * 2, attachRetryMost);
    attachLater(app, delay);
}

void CaptureSupervisor::tellToRestart(const BrowserProfile& browser) {
    if (!toldToRestart_.insert(browser.slug).second) return;
    ports_.platform.log.writeLine("[agent] " + browser.name +
                                  " shows no pages over the accessibility bus — asking the user to restart it");
    if (!ports_.notifications) return;
    ports_.notifications->show(
        {"Restart " + browser.name + " to capture its AI chats",
         browser.name + " was started before accessibility was turned on, so " + hooks_.appName +
             " cannot read its pages. Close it and open it again; its tabs come back."});
}

void CaptureSupervisor::attachRunning() {
    for (const auto& app : ports_.platform.workspace.runningApplications()) attachIfAllowlisted(app);
}

void CaptureSupervisor::refreshCapturingLine() {
    ports_.menu.capturingApps.clear();
    for (const auto& [pid, controller] : controllers_)
        ports_.menu.capturingApps.push_back(controller->app().localizedName.value_or("AI app"));
    ports_.menu.refresh();
}

void CaptureSupervisor::stopControllers() {
    // Taken out first: a controller's flush may call back into the owner.
    auto stopping = std::exchange(controllers_, {});
    for (auto& [pid, controller] : stopping) controller->stop();
}

}  // namespace velmar
