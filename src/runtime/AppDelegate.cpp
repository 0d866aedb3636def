#include "runtime/AppDelegate.hpp"

#include "platform/Alerts.hpp"
#include "platform/DesktopLauncher.hpp"
#include "platform/LogSink.hpp"
#include "platform/LoginService.hpp"
#include "platform/Platform.hpp"
#include "platform/ProcessEnvironment.hpp"
#include "platform/Settings.hpp"
#include "platform/StatusItem.hpp"
#include "capture/CaptureDiag.hpp"
#include "runtime/Beacon.hpp"
#include "runtime/DeviceIdentity.hpp"
#include "runtime/EngagementMonitor.hpp"
#include "runtime/LoginItem.hpp"
#include "runtime/NodeCoreProcess.hpp"
#include "ui/Updater.hpp"

#include <algorithm>
#include <cctype>
#include <ctime>

namespace velmar {

namespace cc = core_contract;

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

// A call into the delegate for as long as it lives.
template <class F>
auto whileAlive(const std::weak_ptr<AppDelegate>& weak, F fn) {
    return [weak, fn](auto&&... args) {
        if (auto self = weak.lock()) return fn(*self, std::forward<decltype(args)>(args)...);
        return decltype(fn(std::declval<AppDelegate&>(), std::forward<decltype(args)>(args)...))();
    };
}

}  // namespace

std::shared_ptr<AppDelegate> AppDelegate::create(Ports ports, AgentConfig config, Options options) {
    auto delegate = std::shared_ptr<AppDelegate>(new AppDelegate(ports, std::move(config), std::move(options)));
    auto& d = *delegate;
    const std::weak_ptr<AppDelegate> weak = delegate;
    auto& p = ports.platform;
    d.capture_ = CaptureSupervisor::create(
        {p, ports.diag, d.menu_, d.captureDebug_, ports.notifications},
        {whileAlive(weak, [](AppDelegate& a, const TurnEvent& event) { a.handleTurn(event); }),
         whileAlive(weak,
                    [](AppDelegate& a, const std::string& surface,
                       const std::string& key) -> std::optional<TurnAssembler::HandedExchange> {
                        if (!a.lastExchanges_) return std::nullopt;
                        auto found = a.lastExchanges_->find(surface, key);
                        if (!found) return std::nullopt;
                        return TurnAssembler::HandedExchange{found->ordinal, found->signature};
                    }),
         whileAlive(weak, [](AppDelegate& a) { a.sendHeartbeat(true); }), alertTitle});
    auto send = whileAlive(weak, [](AppDelegate& a, const nlohmann::json& message) { a.send(message); });
    d.heartbeat_ = Heartbeat::create(
        {p.loop, p.accessibility, p.workspace, ports.diag},
        {send, whileAlive(weak, [](AppDelegate& a) { return static_cast<int>(a.capture_->controllerCount()); })},
        d.deviceId_);
    d.onboarding_ = Onboarding::create(
        {p, ports.windowing, ports.desktop, ports.statusItem, ports.helperPanel},
        {send, whileAlive(weak, [](AppDelegate& a) { return a.core_ != nullptr; }),
         whileAlive(weak, [](AppDelegate& a, bool trusted) { a.capture_->trustObserved(trusted); })},
        d.config_.dashboardBase, d.deviceId_);
    return delegate;
}

AppDelegate::AppDelegate(Ports ports, AgentConfig config, Options options)
    : ports_(ports),
      config_(std::move(config)),
      options_(std::move(options)),
      menu_(StatusMenu::Ports{ports.statusItem, ports.alerts, ports.windowing, ports.desktop, ports.platform.install,
                              ports.platform.login}),
      keychain_(ports.secrets, ports.platform.log),
      deviceId_(DeviceIdentity::current(ports.platform.settings)),
      captureDebug_(ports.platform.environment, ports.platform.log) {}

AppDelegate::~AppDelegate() = default;

// --- launch ---------------------------------------------------------------

void AppDelegate::applicationDidFinishLaunching() {
    // An installed package is never relocated on Linux: the package manager
    // owns the location, so the relocation step has nothing to do here.
    menu_.install(config_.dryRun);
    if (Updater::isConfigured(ports_.updates))
        updater_ = std::make_unique<Updater>(ports_.updates, ports_.windowing, ports_.platform.log);
    wireMenuCallbacks();
    if (!startCore()) return;

    auto& p = ports_.platform;
    capture_->start();
    engagement_ = std::make_unique<EngagementMonitor>(
        p.workspace, p.accessibility, p.loop,
        [weak = weak_from_this()](const nlohmann::json& message) {
            if (auto self = weak.lock()) self->send(message);
        });
    engagement_->start();
    heartbeat_->start();
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
    menu_.onOpenAccessibilitySettings = weakly(self, [](AppDelegate& d) { d.onboarding_->openAccessibilitySettings(); });
}

void AppDelegate::send(const nlohmann::json& message) {
    if (core_) core_->send(message);
}

// --- turns ------------------------------------------------------------------

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
    if (lastExchanges_ && core_ && event.conversationKey && event.turnIndex > 0) rememberHandedOver(event);
}

void AppDelegate::rememberHandedOver(const TurnEvent& event) {
    // A reply sent as last read counts as its prompt handed alone: the
    // finished exchange follows after a restart.
    if (event.unconfirmedReplyAfter) {
        lastExchanges_->remember(event.surface, *event.conversationKey, {*event.unconfirmedReplyAfter, ""});
    } else {
        lastExchanges_->remember(event.surface, *event.conversationKey,
                                 {event.turnIndex, TurnAssembler::resumeSignature(event.response)});
    }
    if (lastExchangesSavePosted_) return;
    // Posted after the bridge's sync of the journal, so what is remembered
    // as handed over is on disk first.
    lastExchangesSavePosted_ = true;
    ports_.platform.loop.post([weak = weak_from_this()] {
        auto self = weak.lock();
        if (!self) return;
        self->lastExchangesSavePosted_ = false;
        if (!self->lastExchanges_->save())
            self->ports_.platform.log.writeLine("[agent] could not save " + self->lastExchanges_->path().string());
    });
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
    onboarding_->sendBeaconIfDue(Beacon::firstLaunch);
}

void AppDelegate::handle(const cc::AuthState& state) {
    menu_.signedInEmail = state.signedIn ? std::optional(state.email.value_or("(unknown)")) : std::nullopt;
    menu_.authKnown = true;
    menu_.refresh();
    onboarding_->authState(state);
    if (state.signedIn) sendHeartbeat(true);
}

void AppDelegate::handle(const cc::SessionUpdated& m) { keychain_.saveSession(m.session); }

void AppDelegate::handle(const cc::SessionCleared&) { keychain_.clearSession(); }

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

void AppDelegate::handle(const cc::CaptureDirectiveMessage& m) { capture_->applyDirective(m.directive); }

void AppDelegate::handle(const cc::UpdateCheck&) {
    if (updater_) updater_->checkForUpdatesInBackground();
}

void AppDelegate::handle(const cc::StatusResult& m) { heartbeat_->answered(m); }

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

// --- reopening ----------------------------------------------------------------

bool AppDelegate::applicationShouldHandleReopen() {
    onboarding_->bringForward(false);
    return false;
}

void AppDelegate::openURLs(const std::vector<std::string>& urls) {
    if (std::any_of(urls.begin(), urls.end(), [](const std::string& u) { return lowerScheme(u) == urlScheme; }))
        onboarding_->bringForward(true);
}

// --- termination ------------------------------------------------------------

AppDelegate::TerminateReply AppDelegate::applicationShouldTerminate(std::function<void()> reply) {
    if (terminationStarted_) return TerminateReply::later;
    if (!core_) {
        onboarding_->disarmHelper();
        return TerminateReply::now;
    }
    terminationStarted_ = true;
    heartbeat_->stop();
    onboarding_->stop();
    capture_->stop();
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

}  // namespace velmar
