// The engagement monitor on a simulated desktop: which surface is in front,
// whether the screen can be seen, and when the user counts as active.
#include "runtime/EngagementMonitor.hpp"

#include "platform/sim/SimDesktop.hpp"
#include "support/Trees.hpp"

#include <gtest/gtest.h>

namespace velmar {
namespace {

using namespace std::chrono_literals;
using Kind = WorkspaceNotification::Kind;
using testing::N;

class EngagementRig {
public:
    sim::SimMainLoop loop;
    sim::SimDesktop desktop{loop};
    std::vector<std::string> messages;  // compact: type surface focused visible [browser]
    EngagementMonitor monitor{desktop.workspace(), desktop.accessibility(), loop, [this](const nlohmann::json& m) {
                                  std::string line = m["type"].get<std::string>();
                                  if (m.contains("surface")) line += " " + m["surface"].get<std::string>();
                                  if (m.contains("focused")) line += m["focused"].get<bool>() ? " focused" : " unfocused";
                                  if (m.contains("visible")) line += m["visible"].get<bool>() ? " visible" : " hidden";
                                  if (m.contains("browser")) line += " @" + m["browser"].get<std::string>();
                                  if (m.contains("at") && m["at"].get<std::string>().size() != 20) line += " BAD-TIME";
                                  messages.push_back(line);
                              }};
    sim::SimElementPtr tab;

    EngagementRig() {
        desktop.launch({101, "com.anthropic.claudefordesktop", "Claude", std::nullopt});
        desktop.launch({102, "com.openai.codex", "ChatGPT", std::nullopt});
        desktop.launch({201, "com.google.Chrome", "Chrome", std::nullopt});
        desktop.launch({301, "org.example.editor", "Editor", std::nullopt});
        auto window = desktop.openWindow(201);
        tab = window->append(N("AXWebArea").url("https://claude.ai/chat/a").buildSim());
    }
    std::vector<std::string> take() {
        loop.runUntilIdle();
        return std::exchange(messages, {});
    }
};

TEST(EngagementMonitor, FocusAndVisibilityEdges) {
    EngagementRig rig;
    rig.desktop.activate(101);
    rig.monitor.start();
    using V = std::vector<std::string>;
    EXPECT_EQ(rig.take(), V{"engagement claude_desktop focused visible"});

    struct Step {
        const char* description;
        std::function<void(EngagementRig&)> act;
        V expected;
    };
    const auto post = [](Kind kind) { return [kind](EngagementRig& r) { r.desktop.workspace().post(kind); }; };
    const Step steps[] = {
        {"to the ChatGPT app", [](auto& r) { r.desktop.activate(102); },
         {"engagement claude_desktop unfocused visible", "engagement chatgpt_desktop focused visible"}},
        {"to a Claude tab in Chrome", [](auto& r) { r.desktop.activate(201); },
         {"engagement chatgpt_desktop unfocused visible", "engagement claude_ai focused visible @chrome"}},
        {"tab switch to ChatGPT, seen at the next poll",
         [](auto& r) {
             r.tab->set("AXURL", AXURLValue{"https://chatgpt.com/c/b"});
             r.loop.advance(5s);
         },
         {"engagement claude_ai unfocused visible @chrome", "engagement chatgpt focused visible @chrome"}},
        {"screen locked", post(Kind::screenLocked), {"engagement chatgpt focused hidden @chrome"}},
        {"displays sleep while locked: visibility unchanged", post(Kind::displaysSlept), {}},
        {"unlocked, displays still asleep", post(Kind::screenUnlocked), {}},
        {"displays wake", post(Kind::displaysWoke), {"engagement chatgpt focused visible @chrome"}},
        {"session switched away", post(Kind::sessionResigned), {"engagement chatgpt focused hidden @chrome"}},
        {"session back", post(Kind::sessionBecameActive), {"engagement chatgpt focused visible @chrome"}},
        {"to a non-AI app: only the loss of focus", [](auto& r) { r.desktop.activate(301); },
         {"engagement chatgpt unfocused visible @chrome"}},
        {"locked with nothing in front: nothing", post(Kind::screenLocked), {}},
    };
    for (const auto& step : steps) {
        step.act(rig);
        EXPECT_EQ(rig.take(), step.expected) << step.description;
    }
}

TEST(EngagementMonitor, ActivityOnlyWhileWorkingInAVisibleAISurface) {
    EngagementRig rig;
    rig.desktop.activate(102);
    rig.monitor.start();
    auto activityAfter5s = [&](bool typed, std::optional<Kind> event = std::nullopt) {
        if (event) rig.desktop.workspace().post(*event);
        if (typed) rig.desktop.workspace().userInput();
        rig.loop.advance(5s);
        auto m = rig.take();
        return std::count(m.begin(), m.end(), "activity chatgpt_desktop");
    };
    EXPECT_EQ(activityAfter5s(true), 1) << "input within 6 s";
    EXPECT_EQ(activityAfter5s(false), 0) << "no input for 10 s, though the surface stays focused";
    EXPECT_EQ(activityAfter5s(true, Kind::displaysSlept), 0) << "displays asleep";
    EXPECT_EQ(activityAfter5s(true, Kind::displaysWoke), 1);
    EXPECT_EQ(activityAfter5s(true, Kind::screenLocked), 0) << "screen locked";

    rig.monitor.flushActiveTime();
    EXPECT_EQ(rig.take(), std::vector<std::string>{"flush_active_time"});
}

TEST(EngagementMonitor, BrowsersNeedTheAccessibilityPermissionAndGatesEndWithTheirProcess) {
    EngagementRig rig;
    rig.desktop.accessibility().setTrusted(false);
    rig.desktop.activate(201);
    rig.monitor.start();
    EXPECT_TRUE(rig.take().empty()) << "a browser's tab cannot be read without the permission";
    rig.desktop.accessibility().setTrusted(true);
    rig.loop.advance(5s);
    EXPECT_EQ(rig.take(), std::vector<std::string>{"engagement claude_ai focused visible @chrome"});
    EXPECT_EQ(rig.monitor.gateCount(), 1u);

    rig.desktop.terminate(201);
    rig.desktop.launch({202, "com.google.Chrome", "Chrome", std::nullopt});
    rig.desktop.openWindow(202)->append(N("AXWebArea").url("https://claude.ai/chat/a").buildSim());
    rig.desktop.activate(202);
    rig.take();
    EXPECT_EQ(rig.monitor.gateCount(), 1u) << "the ended browser's gate was dropped";
}

}  // namespace
}  // namespace velmar
