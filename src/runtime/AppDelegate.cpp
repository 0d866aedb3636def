#include "runtime/AppDelegate.hpp"

#include "capture/AIAppAllowlist.hpp"
#include "capture/BrowserCaptureController.hpp"
#include "capture/CaptureController.hpp"
#include "platform/Accessibility.hpp"
#include "platform/Alerts.hpp"
#include "platform/DesktopLauncher.hpp"
#include "platform/InstallLayout.hpp"
#include "platform/LogSink.hpp"
#include "platform/LoginService.hpp"
#include "platform/Notifications.hpp"
#include "platform/Platform.hpp"
#include "platform/ProcessEnvironment.hpp"
#include "platform/Settings.hpp"
#include "platform/StatusItem.hpp"
#include "runtime/Beacon.hpp"
#include "runtime/CaptureDiag.hpp"
#include "runtime/DeviceIdentity.hpp"
#include "runtime/EngagementMonitor.hpp"
#include "runtime/LoginItem.hpp"
#include "runtime/NodeCoreProcess.hpp"
#include "ui/AXHelperOverlay.hpp"
#include "ui/Updater.hpp"

#include <algorithm>
#include <cctype>
#include <ctime>

namespace velmar {

namespace cc = core_contract;

std::shared_ptr<AppDelegate> AppDelegate::create(Ports ports, AgentConfig config, Options options) {
    return std::shared_ptr<AppDelegate>(new AppDelegate(ports, std::move(config), std::move(options)));
}

AppDelegate::AppDelegate(Ports ports, AgentConfig config, Options options)
    : ports_(ports),
      config_(std::move(config)),
      options_(std::move(options)),
      menu_(StatusMenu::Ports{ports.statusItem, ports.alerts, ports.windowing, ports.desktop, ports.platform.install,
                              ports.platform.login}),
      keychain_(ports.secrets, ports.platform.log),
      providerVersions_(ports.platform.workspace),
      deviceId_(DeviceIdentity::current(ports.platform.settings)),
      captureDebug_(ports.platform.environment, ports.platform.log) {}

AppDelegate::~AppDelegate() {
    // Controllers hand their last turns to a delegate that is going away;
    // an orderly end has already stopped them.
    controllers_.clear();
}

// --- launch ---------------------------------------------------------------

void AppDelegate::applicationDidFinishLaunching() {
    // An installed package is never relocated on Linux: the package manager
    // owns the location, so the relocation step has nothing to do here.
    menu_.install(config_.dryRun);
    if (Updater::isConfigured(ports_.updates))
        updater_ = std::make_unique<Updater>(ports_.updates, ports_.windowing, ports_.platform.log);
    wireMenuCallbacks();
    if (!startCore()) return;

    workspaceSubscription_ = ports_.platform.workspace.subscribe(
        [weak = weak_from_this()](const WorkspaceNotification& note) {
            auto self = weak.lock();
            if (!self || !note.app) return;
            if (note.kind == WorkspaceNotification::Kind::launched) self->appLaunched(*note.app);
            if (note.kind == WorkspaceNotification::Kind::terminated) self->appTerminated(*note.app);
        });

    engagement_ = std::make_unique<EngagementMonitor>(
        ports_.platform.workspace, ports_.platform.accessibility, ports_.platform.loop,
        [weak = weak_from_this()](const nlohmann::json& message) {
            if (auto self = weak.lock()) self->send(message);
        });
    engagement_->start();

    wasTrusted_ = trusted();
    menu_.axTrusted = wasTrusted_;
    if (wasTrusted_) attachRunningAllowlistedApps();

    auto& loop = ports_.platform.loop;
    auto self = shared_from_this();
    trustTimer_ = loop.repeating(trustPollInterval, Duration{0}, weakly(self, [](AppDelegate& d) { d.pollTrust(); }));
    heartbeatTimer_ = loop.repeating(heartbeatInterval, heartbeatTolerance,
                                     weakly(self, [](AppDelegate& d) { d.sendHeartbeat(false); }));
    menu_.refresh();
}

bool AppDelegate::startCore() {
    auto& p = ports_.platform;
    auto stateDirectory = options_.stateDirectory.value_or(NodeCoreProcess::defaultStateDirectory(p.environment));
    core_ = NodeCoreProcess::create(p.install, config_.coreScriptOverride, config_.coreEnvironment(p.environment),
                                    stateDirectory, {p.loop, p.processes, p.log, ports_.diag});
    if (!core_) {
        ports_.windowing.activate();
        warn(missingCoreText);
        terminate();
        return false;
    }
    lastExchanges_ = std::make_unique<LastExchangeStore>(stateDirectory);
    core_->onMessage = [weak = weak_from_this()](const nlohmann::json& message) {
        if (auto self = weak.lock()) self->handleCoreMessage(message);
    };
    core_->start();
    return true;
}

void AppDelegate::wireMenuCallbacks() {
    auto self = shared_from_this();
    menu_.onSignIn = weakly(self, [](AppDelegate& d) { d.send(cc::signinDesktop()); });
    menu_.onSignInEmail = [weak = weak_from_this()](const std::string& email, const std::string& password) {
        if (auto d = weak.lock()) d->send(cc::signinPassword(email, password));
    };
    menu_.onSignOut = weakly(self, [](AppDelegate& d) { d.send(cc::signout()); });
    menu_.onToggleLaunchAtLogin = weakly(self, [](AppDelegate& d) { d.toggleLaunchAtLogin(); });
    if (updater_) {
        menu_.onCheckForUpdates = weakly(self, [](AppDelegate& d) {
            d.ports_.windowing.activate();
            d.updater_->checkForUpdates();
        });
    }
    menu_.onQuit = weakly(self, [](AppDelegate& d) { d.terminate(); });
    menu_.onOpenAccessibilitySettings = weakly(self, [](AppDelegate& d) { d.openAccessibilitySettings(); });
}

void AppDelegate::send(const nlohmann::json& message) {
    if (core_) core_->send(message);
}

bool AppDelegate::trusted() const { return ports_.platform.accessibility.isProcessTrusted(); }

// --- controllers ----------------------------------------------------------

double AppDelegate::flushGraceSeconds() const {
    auto grace = ports_.platform.settings.number(flushGraceKey);
    return grace && *grace > 0 ? *grace : defaultGraceSeconds;
}

void AppDelegate::appLaunched(const RunningApplication& app) {
    // Most programs started on a desktop are none of ours: they cost nothing more.
    if (!app.bundleIdentifier || !AIAppAllowlist::specForBundleID(*app.bundleIdentifier)) return;
    // Give the application time to build its windows before observing it.
    attachLater(app, attachAfterLaunch);
}

void AppDelegate::attachLater(const RunningApplication& app, Duration delay) {
    std::erase_if(pendingAttaches_, [](const TimerHandle& h) { return !h.active(); });
    pendingAttaches_.push_back(ports_.platform.loop.postDelayed(
        delay, weakly(shared_from_this(), [app](AppDelegate& d) {
            // Only if it still runs: a quick quit must not leave a controller behind.
            if (d.ports_.platform.workspace.isRunning(app.pid))
                d.attachIfAllowlisted(app);
            else
                d.attachRetryDelay_.erase(app.pid);
        })));
}

void AppDelegate::appTerminated(const RunningApplication& app) {
    attachRetryDelay_.erase(app.pid);
    auto it = controllers_.find(app.pid);
    if (it == controllers_.end()) return;
    auto controller = std::move(it->second);
    controllers_.erase(it);
    controller->stop();
    refreshCapturingLine();
}

void AppDelegate::attachIfAllowlisted(const RunningApplication& app) {
    if (capturePaused_ || terminationStarted_ || !app.bundleIdentifier || controllers_.count(app.pid)) return;
    // The allow-list first: asking the bus whether capture is trusted costs a round trip.
    auto spec = AIAppAllowlist::specForBundleID(*app.bundleIdentifier, &ports_.platform.clipboard);
    if (!spec || !trusted()) return;

    CaptureSchedule::Timings timings;
    timings.settle = controllerSettle;
    timings.grace = CaptureSchedule::Seconds(flushGraceSeconds());
    timings.sweep = controllerSweep;
    auto onEvent = [weak = weak_from_this()](const TurnEvent& event) {
        if (auto self = weak.lock()) self->handleTurn(event);
    };

    std::unique_ptr<AttachedController> controller;
    if (const auto* native = spec->nativeCase()) {
        controller = std::make_unique<CaptureController>(app, native->segmenter, ports_.platform.accessibility,
                                                         ports_.platform.loop, timings, onEvent);
    } else if (const auto* browser = spec->browserCase()) {
        auto browserController = std::make_unique<BrowserCaptureController>(
            app, browser->profile, ports_.platform.accessibility, ports_.platform.loop, timings, onEvent,
            &ports_.platform.clipboard, &captureDebug_);
        browserController->setOnPagesHidden([weak = weak_from_this(), profile = browser->profile] {
            if (auto self = weak.lock()) self->tellToRestart(profile);
        });
        controller = std::move(browserController);
    }
    if (!controller) return;
    if (lastExchanges_) {
        controller->setResumeLookup([weak = weak_from_this()](const std::string& surface, const std::string& key)
                                        -> std::optional<TurnAssembler::HandedExchange> {
            auto self = weak.lock();
            if (!self || !self->lastExchanges_) return std::nullopt;
            auto found = self->lastExchanges_->find(surface, key);
            if (!found) return std::nullopt;
            return TurnAssembler::HandedExchange{found->ordinal, found->signature};
        });
    }

    if (controller->start()) {
        if (attachRetryDelay_.erase(app.pid))
            ports_.platform.log.writeLine("[agent] attached to " + *app.bundleIdentifier + " on a later try");
        controllers_.emplace(app.pid, std::move(controller));
        refreshCapturingLine();
        return;
    }
    // Said once per process; the tries go on quietly.
    if (!attachRetryDelay_.contains(app.pid)) {
        ports_.platform.log.writeLine("[agent] could not observe " + *app.bundleIdentifier +
                                      " over the accessibility bus — capture degraded, trying again");
        menu_.lastEventLine = "⚠︎ AX attach failed for " + app.localizedName.value_or(*app.bundleIdentifier);
        menu_.refresh();
    }
    // A browser that is still off the bus after several tries was started
    // before accessibility was turned on: only a restart brings it on.
    if (const auto* browser = spec->browserCase(); browser && attachRetryDelay_[app.pid] >= attachRestartHint)
        tellToRestart(browser->profile);
    retryAttachLater(app);
}

void AppDelegate::tellToRestart(const BrowserProfile& browser) {
    if (!toldToRestart_.insert(browser.slug).second) return;
    ports_.platform.log.writeLine("[agent] " + browser.name +
                                  " shows no pages over the accessibility bus — asking the user to restart it");
    if (!ports_.notifications) return;
    ports_.notifications->show(
        {"Restart " + browser.name + " to capture its AI chats",
         browser.name + " was started before accessibility was turned on, so " + std::string(alertTitle) +
             " cannot read its pages. Close it and open it again; its tabs come back."});
}

void AppDelegate::retryAttachLater(const RunningApplication& app) {
    auto& delay = attachRetryDelay_[app.pid];
    delay = delay.count() == 0 ? attachRetryFirst : std::min(delay * 2, attachRetryMost);
    attachLater(app, delay);
}

void AppDelegate::attachRunningAllowlistedApps() {
    for (const auto& app : ports_.platform.workspace.runningApplications()) attachIfAllowlisted(app);
}

void AppDelegate::refreshCapturingLine() {
    menu_.capturingApps.clear();
    for (const auto& [pid, controller] : controllers_)
        menu_.capturingApps.push_back(controller->app().localizedName.value_or("AI app"));
    menu_.refresh();
}

void AppDelegate::stopAllControllers() {
    // Taken out first: a controller's flush may call back into the delegate.
    auto stopping = std::exchange(controllers_, {});
    for (auto& [pid, controller] : stopping) controller->stop();
}

void AppDelegate::handleTurn(const TurnEvent& event) {
    auto& diag = ports_.diag;
    diag.bump(event.surface, event.verdict == "ok" ? CaptureDiag::Counter::verdictOk
                                                   : CaptureDiag::Counter::verdictDegraded);
    diag.bump(event.surface, event.captureTier == 2   ? CaptureDiag::Counter::emittedTier2
                             : event.captureTier == 1 ? CaptureDiag::Counter::emittedTier1
                                                      : CaptureDiag::Counter::emittedTier0);
    if (core_) core_->send(event);
    menu_.queuedCount = core_ ? static_cast<int>(core_->queuedTurnCount()) : 0;
    menu_.storageFull = core_ && core_->storageFull();
    if (lastExchanges_ && core_ && event.conversationKey && event.turnIndex > 0) {
        lastExchanges_->remember(event.surface, *event.conversationKey,
                                 {event.turnIndex, TurnAssembler::resumeSignature(event.response)});
        if (!lastExchangesSavePosted_) {
            // Posted after the bridge's sync of the journal, so what is
            // remembered as handed over is on disk first.
            lastExchangesSavePosted_ = true;
            ports_.platform.loop.post([weak = weak_from_this()] {
                auto self = weak.lock();
                if (!self) return;
                self->lastExchangesSavePosted_ = false;
                if (!self->lastExchanges_->save())
                    self->ports_.platform.log.writeLine("[agent] could not save " + self->lastExchanges_->path().string());
            });
        }
    }
}

// --- trust and heartbeat ----------------------------------------------------

void AppDelegate::pollTrust() { trustObserved(trusted()); }

void AppDelegate::trustObserved(bool nowTrusted) {
    menu_.axTrusted = nowTrusted;
    if (nowTrusted && !wasTrusted_) attachRunningAllowlistedApps();
    const bool changed = nowTrusted != wasTrusted_;
    wasTrusted_ = nowTrusted;
    if (changed) {
        sendHeartbeat(true);
        menu_.refresh();
    }
}

void AppDelegate::sendHeartbeat(bool edge) {
    ++routineBeatsSinceStats_;
    std::optional<CaptureDiag::Delta> delta;
    std::map<std::string, std::string> versions;
    if (edge || routineBeatsSinceStats_ >= beatsPerStats) {
        const auto now = ports_.platform.loop.now();
        delta = ports_.diag.snapshotDeltas(now);
        if (delta) {
            routineBeatsSinceStats_ = 0;
            versions = providerVersions_.current(now);
        }
    }
    if (!core_) return;
    cc::AgentStatus status;
    status.deviceId = deviceId_;
    status.axGranted = trusted();
    status.captureAttached = static_cast<int>(controllers_.size());
    status.edge = edge;
    if (delta) {
        status.statsSeq = delta->seq;
        status.captureStats = delta->stats;
        status.providerVersions = std::move(versions);
    }
    core_->send(cc::agentStatus(status));
}

// --- core messages ----------------------------------------------------------

void AppDelegate::handleCoreMessage(const nlohmann::json& message) {
    std::optional<cc::CoreMessage> decoded;
    try {
        decoded = cc::decode(message);
    } catch (const std::exception&) {
        return;  // nothing the core writes may take the agent down
    }
    if (!decoded) return;
    std::visit([this](const auto& m) { handle(m); }, *decoded);
}

void AppDelegate::handle(const cc::Ready&) {
    if (!core_) return;
    core_->sendSession(keychain_.loadSession());
    sendBeaconIfDue(Beacon::firstLaunch);
}

void AppDelegate::handle(const cc::SessionUpdated& m) { keychain_.saveSession(m.session); }

void AppDelegate::handle(const cc::SessionCleared&) { keychain_.clearSession(); }

namespace {

// A scheme (letters, digits, "+", "-", "." after a letter) and something after it.
bool looksLikeURL(const std::string& text) {
    const auto colon = text.find(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 >= text.size()) return false;
    if (!std::isalpha(static_cast<unsigned char>(text[0]))) return false;
    for (std::size_t i = 1; i < colon; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (!std::isalnum(c) && c != '+' && c != '-' && c != '.') return false;
    }
    return std::none_of(text.begin(), text.end(), [](unsigned char c) { return c <= 0x20 || c == 0x7f; });
}

std::string lowerScheme(const std::string& url) {
    const auto colon = url.find(':');
    std::string scheme = url.substr(0, colon == std::string::npos ? 0 : colon);
    for (auto& c : scheme) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return scheme;
}

}  // namespace

void AppDelegate::handle(const cc::OpenUrl& m) {
    if (looksLikeURL(m.url)) ports_.desktop.openURL(m.url);
}

void AppDelegate::handle(const cc::SigninResult& m) {
    if (m.ok) return;
    ports_.windowing.activate();
    warn("Sign-in failed: " + m.message.value_or("unknown error"));
}

void AppDelegate::handle(const cc::BeaconResult& m) {
    if (m.ok && m.event) Beacon::markSent(*m.event, ports_.platform.settings);
}

void AppDelegate::handle(const cc::EventResult& m) {
    std::string line = "Last turn: " + m.status.value_or("?");
    if (m.label) line += " · " + *m.label;
    line += " · " + shortTime();
    menu_.lastEventLine = std::move(line);
    menu_.queuedCount = core_ ? static_cast<int>(core_->queuedTurnCount()) : 0;
    menu_.storageFull = core_ && core_->storageFull();
    menu_.refresh();
}

void AppDelegate::handle(const cc::Log& m) { ports_.platform.log.writeLine(m.line()); }

void AppDelegate::handle(const cc::CaptureDirectiveMessage& m) { applyDirective(m.directive); }

void AppDelegate::handle(const cc::UpdateCheck&) {
    if (updater_) updater_->checkForUpdatesInBackground();
}

void AppDelegate::handle(const cc::StatusResult& m) {
    if (m.ok)
        ports_.diag.ack(m.statsSeq);
    else
        ports_.diag.nack(m.statsSeq);
}

void AppDelegate::applyDirective(const CaptureDirective& directive) {
    menu_.capturePause =
        directive.isPause() ? std::optional(StatusMenu::CapturePause{directive.scope}) : std::nullopt;
    const bool paused = directive.isPause();
    if (paused == capturePaused_) {
        menu_.refresh();
        return;
    }
    capturePaused_ = paused;
    if (paused) {
        stopAllControllers();
        refreshCapturingLine();
    } else if (trusted()) {
        attachRunningAllowlistedApps();
    }
    menu_.refresh();
    sendHeartbeat(true);
}

std::string AppDelegate::shortTime() const {
    const std::time_t t = std::chrono::system_clock::to_time_t(
        std::chrono::time_point_cast<std::chrono::seconds>(ports_.platform.loop.now()));
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[16];
    std::strftime(buf, sizeof buf, "%H:%M", &tm);
    return buf;
}

void AppDelegate::warn(const std::string& text) {
    Alert alert;
    alert.style = Alert::Style::warning;
    alert.message = alertTitle;
    alert.informativeText = text;
    alert.buttons = {"OK"};
    ports_.alerts.run(alert);
}

// --- termination ------------------------------------------------------------

AppDelegate::TerminateReply AppDelegate::applicationShouldTerminate(std::function<void()> reply) {
    if (terminationStarted_) return TerminateReply::later;
    if (!core_) {
        disarmAXHelper();
        return TerminateReply::now;
    }
    terminationStarted_ = true;
    trustTimer_.cancel();
    heartbeatTimer_.cancel();
    axFastPollTimer_.cancel();
    disarmAXHelper();
    for (auto& pending : pendingAttaches_) pending.cancel();
    pendingAttaches_.clear();
    stopAllControllers();
    refreshCapturingLine();
    if (engagement_) engagement_->flushActiveTime();
    pendingTerminationReply_ = std::move(reply);
    core_->shutdown([weak = weak_from_this()] {
        if (auto self = weak.lock()) self->finishTermination();
    });
    return TerminateReply::later;
}

void AppDelegate::finishTermination() {
    // Turns flushed at the stop were synced to the journal when the bridge's
    // shutdown began; remember them as handed over.
    if (lastExchanges_ && lastExchanges_->dirty()) lastExchanges_->save();
    if (auto reply = std::exchange(pendingTerminationReply_, {})) reply();
}

void AppDelegate::terminate() {
    auto exit = [weak = weak_from_this()] {
        auto self = weak.lock();
        if (!self || self->exited_) return;
        self->exited_ = true;
        if (self->onExit) self->onExit();
    };
    if (applicationShouldTerminate(exit) == TerminateReply::now) exit();
}

// --- sign-in and onboarding -------------------------------------------------

bool AppDelegate::onboardingDone() const {
    return ports_.platform.settings.boolean(onboardingCompletedKey).value_or(false);
}

void AppDelegate::handle(const cc::AuthState& state) {
    const bool firstSinceLaunch = !launchAuthStateSeen_;
    launchAuthStateSeen_ = true;
    lastAuthSignedIn_ = state.signedIn;
    lastAuthEmail_ = state.signedIn ? state.email : std::nullopt;
    menu_.signedInEmail = state.signedIn ? std::optional(state.email.value_or("(unknown)")) : std::nullopt;
    menu_.authKnown = true;
    menu_.refresh();

    if (state.signedIn) {
        enableLaunchAtLoginOnFirstSignIn();
        handleSignedInForOnboarding(firstSinceLaunch);
        sendHeartbeat(true);
        return;
    }
    stopFastTrustPoll();
    disarmAXHelper();
    if (signInWindow_) signInWindow_->setStep(OnboardingStep::signIn);
    presentSignInWindow();
    sendWelcomeBeaconIfNeeded();
}

void AppDelegate::handleSignedInForOnboarding(bool isLaunchAuthState) {
    const bool done = onboardingDone();
    const bool isTrusted = trusted();
    const bool visible = signInWindow_ && signInWindow_->isVisible();
    if (isLaunchAuthState && !visible && !done && !isTrusted) {
        // A half-finished onboarding starts over from sign-in.
        send(cc::signout());
        return;
    }
    if (visible) {
        if (signInWindow_->currentStep != OnboardingStep::signIn) return;
        if (isTrusted) {
            ports_.platform.settings.setBoolean(onboardingCompletedKey, true);
            signInWindow_->hide();
            ports_.windowing.setActivationPolicy(ActivationPolicy::accessory);
        } else {
            enterPermissionStep(true);
        }
        return;
    }
    if (!done && !isTrusted)
        enterPermissionStep(true);
    else if (!done)
        ports_.platform.settings.setBoolean(onboardingCompletedKey, true);
}

bool AppDelegate::presentSignInWindow() {
    if (!signInWindow_) {
        auto& p = ports_.platform;
        auto directory = SignInWindowController::resolveContentDirectory(p.environment, p.install);
        if (!directory) {
            p.log.writeLine("[agent] signin resources not found — set VELMAR_SIGNIN_DIR (or start it with scripts/run.sh)");
            return false;
        }
        signInWindow_ = std::make_unique<SignInWindowController>(
            SignInWindowController::Ports{ports_.windowing, p.loop, p.log, ports_.desktop}, *directory);
        signInWindow_->onAction = [weak = weak_from_this()](OnboardingAction action) {
            if (auto self = weak.lock()) self->onSignInAction(action);
        };
        signInWindow_->onWindowClosed = weakly(shared_from_this(), [](AppDelegate& d) { d.onSignInWindowClosed(); });
        signInWindow_->onSignInEmail = [weak = weak_from_this()](const std::string& email, const std::string& pw) {
            if (auto self = weak.lock()) self->send(cc::signinPassword(email, pw));
        };
    }
    signInWindow_->present();
    return true;
}

void AppDelegate::sendBeaconIfDue(std::string_view event) {
    if (!core_ || !Beacon::shouldSend(event, ports_.platform.settings)) return;
    send(Beacon::message(event, deviceId_));
}

void AppDelegate::sendWelcomeBeaconIfNeeded() {
    if (signInWindow_) sendBeaconIfDue(Beacon::welcomeShown);
}

void AppDelegate::onSignInAction(OnboardingAction action) {
    switch (action) {
        case OnboardingAction::signIn:
            sendBeaconIfDue(Beacon::signInClick);
            send(cc::signinDesktop());
            break;
        case OnboardingAction::grantAccess:
            openAccessibilitySettings();
            break;
        case OnboardingAction::finish:
            if (!trusted()) return;
            sendBeaconIfDue(Beacon::dashboardOpenClick);
            finishOnboarding();
            break;
    }
}

void AppDelegate::onSignInWindowClosed() {
    stopFastTrustPoll();
    disarmAXHelper();
}

void AppDelegate::openAccessibilitySettings() {
    ports_.desktop.openAccessibilitySettings();
    if (!ports_.helperPanel) return;
    if (!axHelper_) {
        auto& p = ports_.platform;
        axHelper_ = AXHelperOverlay::create({p.loop, p.accessibility, p.workspace, *ports_.helperPanel});
    }
    axHelper_->arm();
}

void AppDelegate::disarmAXHelper() {
    if (axHelper_) axHelper_->disarm();
}

void AppDelegate::enterPermissionStep(bool pullFocus) {
    presentSignInWindow();
    if (signInWindow_) {
        signInWindow_->setStep(OnboardingStep::permission);
        signInWindow_->setAXGranted(trusted());
        if (pullFocus) {
            ports_.windowing.activate();
            signInWindow_->window().bringToFront();
        }
    }
    startFastTrustPoll();
}

void AppDelegate::startFastTrustPoll() {
    if (axFastPollTimer_.active()) return;
    axFastPollTimer_ = ports_.platform.loop.repeating(fastTrustPollInterval, Duration{0},
                                                      weakly(shared_from_this(), [](AppDelegate& d) { d.fastPollTick(); }));
}

void AppDelegate::stopFastTrustPoll() { axFastPollTimer_.cancel(); }

void AppDelegate::fastPollTick() {
    const bool isTrusted = trusted();
    if (signInWindow_) signInWindow_->setAXGranted(isTrusted);
    if (!isTrusted) return;
    disarmAXHelper();
    stopFastTrustPoll();
    trustObserved(true);
    if (signInWindow_ && signInWindow_->isVisible() && signInWindow_->currentStep == OnboardingStep::permission) {
        ports_.windowing.activate();
        signInWindow_->window().bringToFront();
    }
}

std::string AppDelegate::dashboardURL(const std::string& base, const std::optional<std::string>& email) {
    if (!email) return base;
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string encoded;
    for (unsigned char c : *email) {
        if (std::isalnum(c) || c == '.' || c == '-' || c == '_') {
            encoded.push_back(static_cast<char>(c));
        } else {
            encoded.push_back('%');
            encoded.push_back(hex[c >> 4]);
            encoded.push_back(hex[c & 0x0f]);
        }
    }
    return base + "/people/" + encoded;
}

void AppDelegate::finishOnboarding() {
    ports_.platform.settings.setBoolean(onboardingCompletedKey, true);
    stopFastTrustPoll();
    disarmAXHelper();
    if (signInWindow_) {
        signInWindow_->hide();
        ports_.windowing.setActivationPolicy(ActivationPolicy::accessory);
    }
    ports_.desktop.openURL(dashboardURL(config_.dashboardBase, lastAuthEmail_));
}

void AppDelegate::bringForward(bool fallbackToMenu) {
    if (!lastAuthSignedIn_) {
        if (fallbackToMenu) ports_.statusItem.openMenu();
        return;
    }
    if (!*lastAuthSignedIn_) {
        presentSignInWindow();
        sendWelcomeBeaconIfNeeded();
        return;
    }
    if (!onboardingDone() && !trusted()) {
        enterPermissionStep(true);
        return;
    }
    if (fallbackToMenu) ports_.statusItem.openMenu();
}

bool AppDelegate::applicationShouldHandleReopen() {
    bringForward(false);
    return false;
}

void AppDelegate::openURLs(const std::vector<std::string>& urls) {
    if (std::any_of(urls.begin(), urls.end(), [](const std::string& u) { return lowerScheme(u) == urlScheme; }))
        bringForward(true);
}

void AppDelegate::enableLaunchAtLoginOnFirstSignIn() {
    auto& p = ports_.platform;
    if (!p.install.bundleIdentifier() || p.settings.boolean(launchAtLoginDefaultedKey).value_or(false)) return;
    p.settings.setBoolean(launchAtLoginDefaultedKey, true);
    if (p.login.status() != LoginService::Status::enabled) LoginItem::setEnabled(p.login, true);
}

void AppDelegate::toggleLaunchAtLogin() {
    auto& login = ports_.platform.login;
    const bool enabled = login.status() == LoginService::Status::enabled;
    if (auto error = LoginItem::setEnabled(login, !enabled)) {
        ports_.windowing.activate();
        warn(std::string("Couldn't ") + (enabled ? "disable" : "enable") + " launch at login: " + error->description);
    } else if (!enabled && login.status() == LoginService::Status::requiresApproval) {
        // An autostart entry needs nobody's approval and the desktop has no
        // login-items page to open: say where the entry waits instead.
        ports_.platform.log.writeLine("[agent] launch at login waits for the desktop's approval");
    }
    menu_.refresh();
}

}  // namespace velmar
