// The agent's executable. With one of the developer verbs as its first
// argument it is a command-line tool; otherwise it runs the agent on this
// desktop until the user quits or the session ends it (SIGTERM, SIGINT).
#include "platform/Platform.hpp"
#include "platform/linux/AppIndicatorStatusItem.hpp"
#include "platform/linux/AtspiAccessibility.hpp"
#include "platform/linux/AtspiSettingsLauncher.hpp"
#include "platform/linux/GLibMainLoop.hpp"
#include "platform/linux/GioDesktopLauncher.hpp"
#include "platform/linux/GtkAlerts.hpp"
#include "platform/linux/GtkWindowing.hpp"
#include "platform/linux/JsonFileSettings.hpp"
#include "platform/linux/LibsecretStore.hpp"
#include "platform/linux/LinuxEnvironment.hpp"
#include "platform/linux/LinuxProcessLauncher.hpp"
#include "platform/linux/LinuxToolRunner.hpp"
#include "platform/linux/LinuxWorkspace.hpp"
#include "platform/linux/PrefixInstallLayout.hpp"
#include "platform/linux/StderrLogSink.hpp"
#include "platform/linux/XdgAutostartLoginService.hpp"
#include "platform/sim/SimAccessibility.hpp"
#include "platform/sim/SimAlerts.hpp"
#include "platform/sim/SimChatScript.hpp"
#include "platform/sim/SimClipboard.hpp"
#include "platform/sim/SimSecretStore.hpp"
#include "platform/sim/SimStatusItem.hpp"
#include "platform/sim/SimUpdateFramework.hpp"
#include "platform/sim/SimWindowing.hpp"
#include "platform/sim/SimWorkspace.hpp"
#include "runtime/AgentConfig.hpp"
#include "runtime/AppDelegate.hpp"
#include "runtime/BuildInfo.hpp"
#include "runtime/CaptureDiag.hpp"
#include "tools/AXDump.hpp"

#include <glib-unix.h>
#include <glib.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

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

// One agent per user session: an exclusive lock on a file in the runtime
// folder, held (through the open descriptor) until the process ends.
bool holdSingleInstanceLock() {
    const std::filesystem::path dir = std::filesystem::path(g_get_user_runtime_dir()) / "velmar";
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    const int fd = ::open((dir / "agent.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return true;  // no runtime folder to lock in: do not refuse to run
    return ::flock(fd, LOCK_EX | LOCK_NB) == 0;
}

gboolean onTerminationSignal(gpointer data) {
    static_cast<AppDelegate*>(data)->terminate();
    return G_SOURCE_CONTINUE;  // a second signal while shutting down changes nothing
}

int runAgent() {
    linux_backend::LinuxEnvironment environment;
    linux_backend::StderrLogSink log;
    if (!holdSingleInstanceLock()) {
        log.writeLine("[agent] another agent is already running in this session; this one exits");
        return 1;
    }

    linux_backend::GLibMainLoop loop;
    auto install = linux_backend::PrefixInstallLayout::forThisProcess();
    linux_backend::JsonFileSettings settings(linux_backend::JsonFileSettings::defaultPath(environment), log);
    linux_backend::XdgAutostartLoginService login(
        linux_backend::XdgAutostartLoginService::defaultEntryPath(environment), install.executablePath());
    sim::SimClipboard clipboard;

    // The desktop's applications over AT-SPI; a development build can play a
    // scripted chat on the simulated desktop instead.
    linux_backend::LinuxWorkspace desktopWorkspace(environment);
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
    Platform platform{loop, settings, install, login, environment, log, workspace, accessibility, clipboard, launcher};

    // The desktop's interface where there is a display; quiet stand-ins where not.
    const bool gui = linux_backend::GtkWindowing::displayAvailable();
    std::unique_ptr<StatusItem> statusItem;
    std::unique_ptr<Alerts> alerts;
    std::unique_ptr<Windowing> windowing;
    if (gui) {
        statusItem = std::make_unique<linux_backend::AppIndicatorStatusItem>(
            install.resourceDirectory("icons").value_or(install.installLocation()), log);
        alerts = std::make_unique<linux_backend::GtkAlerts>();
        windowing = std::make_unique<linux_backend::GtkWindowing>();
    } else {
        log.writeLine("[agent] no display: running without the status icon and windows");
        statusItem = std::make_unique<sim::SimStatusItem>();
        alerts = std::make_unique<LoggedAlerts>(log);
        windowing = std::make_unique<sim::SimWindowing>();
    }
    std::unique_ptr<SecretStore> secrets;
    if (environment.get("DBUS_SESSION_BUS_ADDRESS"))
        secrets = std::make_unique<linux_backend::LibsecretStore>(log);
    else
        secrets = std::make_unique<sim::SimSecretStore>();
    linux_backend::GioDesktopLauncher gioLauncher;
    linux_backend::AtspiSettingsLauncher desktop(gioLauncher);
    sim::SimUpdateFramework updates;  // no update feed on Linux: packages update through the system

    CaptureDiag::resetShared(loop.now());
    auto agent = AppDelegate::create(
        {platform, *statusItem, *alerts, *windowing, desktop, *secrets, updates, CaptureDiag::shared()},
        AgentConfig::load(install, environment));
    bool exited = false;
    agent->onExit = [&] {
        exited = true;
        loop.quit();
    };

    const guint term = g_unix_signal_add(SIGTERM, onTerminationSignal, agent.get());
    const guint interrupt = g_unix_signal_add(SIGINT, onTerminationSignal, agent.get());

    agent->applicationDidFinishLaunching();
    if (script) script->play(loop, scriptedWorkspace, scriptedAccessibility);
    if (!exited) loop.run();

    g_source_remove(term);
    g_source_remove(interrupt);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && velmar::AXDump::isVerb(argv[1])) {
        return velmar::linux_backend::runDeveloperTool(std::vector<std::string>(argv + 1, argv + argc));
    }
    // Any other argument is ignored: the agent starts.
    return runAgent();
}
