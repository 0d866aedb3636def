#pragma once
// The running agent on the simulated platform: a scripted core answering on
// the simulated child-process launcher, and simulated interface backends.

#include "platform/sim/SimAlerts.hpp"
#include "platform/sim/SimDesktopLauncher.hpp"
#include "platform/sim/SimElement.hpp"
#include "platform/sim/SimHelperPanel.hpp"
#include "platform/sim/SimNotifications.hpp"
#include "platform/sim/SimPlatform.hpp"
#include "platform/sim/SimProcessLauncher.hpp"
#include "platform/sim/SimSecretStore.hpp"
#include "platform/sim/SimStatusItem.hpp"
#include "platform/sim/SimUpdateFramework.hpp"
#include "platform/sim/SimWindowing.hpp"
#include "runtime/AppDelegate.hpp"
#include "capture/CaptureDiag.hpp"
#include "runtime/CoreBridgeSupport.hpp"
#include "runtime/NodeCoreProcess.hpp"
#include "support/TempFiles.hpp"

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

namespace velmar::testing {

inline constexpr int claudePid = 101;
inline constexpr int chromePid = 202;
inline constexpr int editorPid = 303;

inline RunningApplication claudeApp() { return {claudePid, "com.anthropic.claudefordesktop", "Claude", {}}; }
inline RunningApplication chromeApp() { return {chromePid, "com.google.Chrome", "Google Chrome", {}}; }
inline RunningApplication editorApp() { return {editorPid, "org.gnome.TextEditor", "Text Editor", {}}; }

class AgentHarness {
public:
    AgentHarness() {
        sp.install.setResource("core", "mjs", "// core");
        sp.install.addResourceDirectory("signin");
        config.dashboardBase = "https://app.example.test";
    }

    // Runs an application on the desktop, observable by accessibility.
    void run(const RunningApplication& app) {
        sp.accessibility.addApplication(app.pid, sim::SimElement::make("AXApplication"));
        sp.workspace.launch(app);
    }

    void launch() {
        agent = AppDelegate::create({sp.platform(), item, alerts, windowing, desktop, secrets, updates, diag, &helperPanel,
                                     &notifications},
                                    config, {stateDir});
        agent->onExit = [this] { ++exits; };
        agent->applicationDidFinishLaunching();
        sp.loop.runUntilIdle();
    }

    sim::SimProcess& core() { return *launcher.latest(); }
    // A line from the core, and everything it sets off.
    void fromCore(const nlohmann::json& message) {
        core().emit(message.dump() + "\n");
        sp.loop.runUntilIdle();
    }

    // Every message the agent wrote to the latest core, decoded; only those of `type` when given.
    std::vector<nlohmann::json> sentOfType(const std::string& type = "") {
        std::vector<nlohmann::json> out;
        for (const auto& line : core().receivedLines()) {
            auto m = nlohmann::json::parse(line);
            if (type.empty() || m.value("type", "") == type) out.push_back(std::move(m));
        }
        return out;
    }
    // The types of the last `n` messages written to the latest core.
    std::vector<std::string> lastSentTypes(std::size_t n) {
        std::vector<std::string> out;
        for (auto& m : sentOfType()) out.push_back(m.value("type", "?"));
        out.erase(out.begin(), out.end() - std::min(n, out.size()));
        return out;
    }
    std::size_t countSent(const std::string& type) { return sentOfType(type).size(); }

    sim::SimPlatform sp;
    sim::SimProcessLauncher& launcher = sp.processes;
    sim::SimStatusItem item;
    sim::SimAlerts alerts;
    sim::SimWindowing windowing;
    sim::SimDesktopLauncher desktop;
    sim::SimSecretStore secrets;
    sim::SimUpdateFramework updates;
    sim::SimHelperPanel helperPanel;
    sim::SimNotifications notifications;
    CaptureDiag diag{sp.loop.now()};
    AgentConfig config;
    TempDir stateFolder;
    std::filesystem::path stateDir = stateFolder.path();
    std::shared_ptr<AppDelegate> agent;
    int exits = 0;
};

}  // namespace velmar::testing
