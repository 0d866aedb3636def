// The agent's executable. With one of the developer verbs as its first
// argument it is a command-line tool; otherwise it runs the agent on this
// desktop until the user quits or the session ends it (SIGTERM, SIGINT).
#include "DeveloperTools.hpp"
#include "platform/Platform.hpp"
#include "platform/headless/HeadlessClipboard.hpp"
#include "platform/headless/HeadlessHelperPanel.hpp"
#include "platform/headless/HeadlessStatusItem.hpp"
#include "platform/headless/HeadlessWindowing.hpp"
#include "platform/headless/MemorySecretStore.hpp"
#include "platform/headless/NoUpdateFramework.hpp"
#include "platform/linux/atspi/AtspiAccessibility.hpp"
#include "platform/linux/atspi/AtspiSettingsLauncher.hpp"
#include "platform/linux/gtk/AppIndicatorStatusItem.hpp"
#include "platform/linux/gtk/GtkAlerts.hpp"
#include "platform/linux/gtk/GtkClipboard.hpp"
#include "platform/linux/gtk/GtkHelperPanel.hpp"
#include "platform/linux/gtk/GtkStatusWindow.hpp"
#include "platform/linux/gtk/GtkWindowing.hpp"
#include "platform/linux/session/DbusNotifications.hpp"
#include "platform/linux/session/GioDesktopLauncher.hpp"
#include "platform/linux/session/LibsecretStore.hpp"
#include "platform/linux/session/SessionInstance.hpp"
#include "platform/linux/session/XdgAutostartLoginService.hpp"
#include "platform/linux/system/GLibMainLoop.hpp"
#include "platform/linux/system/JsonFileSettings.hpp"
#include "platform/linux/system/LinuxEnvironment.hpp"
#include "platform/linux/system/LinuxProcessLauncher.hpp"
#include "platform/linux/system/LinuxWorkspace.hpp"
#include "platform/linux/system/PrefixInstallLayout.hpp"
#include "platform/linux/system/StderrLogSink.hpp"
#include "platform/sim/SimAccessibility.hpp"
#include "platform/sim/SimChatScript.hpp"
#include "platform/sim/SimWorkspace.hpp"
#include "runtime/AgentConfig.hpp"
#include "runtime/AppDelegate.hpp"
#include "runtime/BuildInfo.hpp"
#include "capture/CaptureDiag.hpp"
#include "runtime/LaunchArguments.hpp"
#include "tools/AXDump.hpp"

#include <glib-unix.h>
#include <glib.h>

#include <cctype>
#include <csignal>
#include <fstream>
#include <iostream>
#include <memory>

namespace {

using namespace velmar;

// Without a display the agent still captures and talks to its core; what it
// would have shown in a dialog goes to the log instead.
class LoggedAlerts final : public Alerts {
public:
    explicit LoggedAlerts(LogSink& log) : log_(log) {}
    int run(const Alert& alert) override {
        log_.writeLine("[agent] " + alert.message + ": " + alert.informativeText);
        return -1;
    }
    std::optional<Credentials> askCredentials(const CredentialsPrompt&) override { return std::nullopt; }

private:
    LogSink& log_;
};

gboolean onTerminationSignal(gpointer data) {
    static_cast<AppDelegate*>(data)->terminate();
    return G_SOURCE_CONTINUE;  // a second signal while shutting down changes nothing
}

// The lower-case schemes of some links, for a log line that names no address.
std::string schemesOf(const std::vector<std::string>& urls) {
    std::string out;
    for (const auto& url : urls) {
        std::string scheme = url.substr(0, url.find(':'));
        for (char& c : scheme) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        out += (out.empty() ? "" : ", ") + scheme + ":";
    }
    return out;
}

int runAgent(const std::vector<std::string>& arguments, bool background) {
    linux_backend::LinuxEnvironment environment;
    linux_backend::StderrLogSink log;

    // One agent per session: a later start hands its links (or a request to
    // come forward) to the running one and ends.
    const std::vector<std::string> links = linux_backend::SessionInstance::linkArguments(arguments);
    linux_backend::SessionInstance instance(environment);
    switch (instance.claim(links)) {
    case linux_backend::SessionInstance::Outcome::primary:
        break;
    case linux_backend::SessionInstance::Outcome::handedOver:
        log.writeLine(links.empty() ? "[agent] an agent is already running in this session; asked it to come forward"
                                    : "[agent] an agent is already running in this session; handed it the link");
        return 0;
    case linux_backend::SessionInstance::Outcome::unreachable:
        log.writeLine("[agent] an agent is already running in this session but did not answer; this one exits");
        return 1;
    case linux_backend::SessionInstance::Outcome::refused:
        log.writeLine("[agent] another agent is already running in this session; this one exits");
        return 1;
    }

    linux_backend::GLibMainLoop loop;
    auto install = linux_backend::PrefixInstallLayout::forThisProcess();
    linux_backend::JsonFileSettings settings(linux_backend::JsonFileSettings::defaultPath(environment), log);
    linux_backend::XdgAutostartLoginService login(
        linux_backend::XdgAutostartLoginService::defaultEntryPath(environment), install.executablePath());
    // The desktop's interface where there is a display; quiet stand-ins where not.
    const bool gui = linux_backend::GtkWindowing::displayAvailable();
    std::unique_ptr<Clipboard> clipboard;
    if (gui) clipboard = std::make_unique<linux_backend::GtkClipboard>();
    else clipboard = std::make_unique<headless::HeadlessClipboard>();

    // The desktop's applications over AT-SPI; a development build can play a
    // scripted chat on the simulated desktop instead.
    linux_backend::LinuxWorkspace desktopWorkspace(environment);
    desktopWorkspace.attachLoop(&loop);
    std::optional<linux_backend::AtspiAccessibility> desktopAccessibility;
    sim::SimWorkspace scriptedWorkspace;
    scriptedWorkspace.attachLoop(&loop);
    sim::SimAccessibility scriptedAccessibility(&loop);
    std::optional<sim::SimChatScript> script;
    if (!build::releaseBuild) {
        if (auto path = environment.get("VELMAR_SIM_DESKTOP"); path && !path->empty()) {
            std::ifstream in(*path);
            auto json = nlohmann::json::parse(in, nullptr, false);
            std::string error;
            script = sim::SimChatScript::parse(json, error);
            if (!script) {
                log.writeLine("[agent] VELMAR_SIM_DESKTOP unreadable: " + (error.empty() ? *path : error));
                return 2;
            }
            log.writeLine("[agent] simulated desktop playing " + *path);
        }
    }
    Workspace& workspace = script ? static_cast<Workspace&>(scriptedWorkspace) : desktopWorkspace;
    if (!script) desktopAccessibility.emplace();
    Accessibility& accessibility =
        script ? static_cast<Accessibility&>(scriptedAccessibility) : *desktopAccessibility;
    linux_backend::LinuxProcessLauncher launcher;
    Platform platform{loop, settings, install, login, environment, log, workspace, accessibility, *clipboard, launcher};

    std::unique_ptr<StatusItem> statusItem;
    std::unique_ptr<Alerts> alerts;
    std::unique_ptr<Windowing> windowing;
    std::unique_ptr<HelperPanel> helperPanel;
    linux_backend::GtkStatusWindow* statusWindow = nullptr;
    unsigned trayWatch = 0;
    if (gui) {
        // The tray icon where a tray host runs; the status window where none
        // does (stock GNOME).
        const auto icons = install.resourceDirectory("icons").value_or(install.installLocation());
        if (linux_backend::AppIndicatorStatusItem::trayHostRunning()) {
            statusItem = std::make_unique<linux_backend::AppIndicatorStatusItem>(icons, log);
        } else {
            log.writeLine("[agent] no status tray on this desktop — the status window stands in for the menu icon");
            auto window = std::make_unique<linux_backend::GtkStatusWindow>(
                icons, nullptr, &linux_backend::AppIndicatorStatusItem::trayHostRunning);
            statusWindow = window.get();
            statusItem = std::move(window);
            // A panel started after the agent at login brings its tray late:
            // the icon goes there once it does, as it would have at start.
            trayWatch = linux_backend::AppIndicatorStatusItem::watchTrayHost([&log, statusWindow, icons] {
                if (statusWindow->hasTray()) return;
                log.writeLine("[agent] a status tray appeared — the menu icon is shown there");
                statusWindow->adoptTray(std::make_unique<linux_backend::AppIndicatorStatusItem>(icons, log));
            });
        }
        alerts = std::make_unique<linux_backend::GtkAlerts>();
        windowing = std::make_unique<linux_backend::GtkWindowing>();
        helperPanel = std::make_unique<linux_backend::GtkHelperPanel>();
    } else {
        log.writeLine("[agent] no display: running without the status icon and windows");
        statusItem = std::make_unique<headless::HeadlessStatusItem>();
        alerts = std::make_unique<LoggedAlerts>(log);
        windowing = std::make_unique<headless::HeadlessWindowing>();
        helperPanel = std::make_unique<headless::HeadlessHelperPanel>();
    }
    std::unique_ptr<SecretStore> secrets;
    if (environment.get("DBUS_SESSION_BUS_ADDRESS"))
        secrets = std::make_unique<linux_backend::LibsecretStore>(log);
    else
        secrets = std::make_unique<headless::MemorySecretStore>();
    linux_backend::GioDesktopLauncher gioLauncher;
    linux_backend::AtspiSettingsLauncher desktop(gioLauncher);
    headless::NoUpdateFramework updates;  // no update feed on Linux: packages update through the system

    std::unique_ptr<Notifications> notifications;
    if (environment.get("DBUS_SESSION_BUS_ADDRESS"))
        notifications = std::make_unique<linux_backend::DbusNotifications>(AppDelegate::alertTitle, log);
    CaptureDiag diag(loop.now());  // the one instance: capture counts into it, heartbeats report it
    auto agent = AppDelegate::create(
        {platform, *statusItem, *alerts, *windowing, desktop, *secrets, updates, diag,
         helperPanel.get(), notifications.get()},
        AgentConfig::load(install, environment));
    bool exited = false;
    agent->onExit = [&] {
        exited = true;
        loop.quit();
    };

    const guint term = g_unix_signal_add(SIGTERM, onTerminationSignal, agent.get());
    const guint interrupt = g_unix_signal_add(SIGINT, onTerminationSignal, agent.get());

    agent->applicationDidFinishLaunching();
    // Started from the application menu with no tray to show the state in.
    if (statusWindow && !background && !exited) statusWindow->present();
    instance.onOpen = [&](const std::vector<std::string>& urls) {
        log.writeLine("[agent] another start handed over a link (" + schemesOf(urls) + ")");
        agent->openURLs(urls);
    };
    instance.onReopen = [&] {
        log.writeLine("[agent] another start asked the agent to come forward");
        agent->applicationShouldHandleReopen();
        // Without a tray, a second start is how the user finds the agent's state.
        if (statusWindow) statusWindow->openMenu();
    };
    // Started by a link (the desktop entry's handler): open it once running.
    if (!links.empty() && !exited) agent->openURLs(links);
    if (script) script->play(loop, scriptedWorkspace, scriptedAccessibility);
    if (!exited) loop.run();
    instance.onOpen = nullptr;
    instance.onReopen = nullptr;

    g_source_remove(term);
    g_source_remove(interrupt);
    if (trayWatch) linux_backend::AppIndicatorStatusItem::unwatchTrayHost(trayWatch);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && velmar::AXDump::isVerb(argv[1])) {
        return velmar::runDeveloperTool(std::vector<std::string>(argv + 1, argv + argc));
    }
    const auto launch = velmar::LaunchArguments::parse(std::vector<std::string>(argv + 1, argv + argc));
    switch (launch.action) {
    case velmar::LaunchArguments::Action::help:
    case velmar::LaunchArguments::Action::version:
        std::cout << launch.message << std::flush;
        return 0;
    case velmar::LaunchArguments::Action::usageError:
        std::cerr << launch.message << std::flush;
        return 2;
    case velmar::LaunchArguments::Action::run:
        break;
    }
    // Links are opened once the agent runs; any other word is ignored.
    return runAgent(launch.operands, launch.background);
}
