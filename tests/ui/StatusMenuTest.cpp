#include "ui/StatusMenu.hpp"

#include "platform/sim/SimAlerts.hpp"
#include "platform/sim/SimDesktopLauncher.hpp"
#include "platform/sim/SimInstallLayout.hpp"
#include "platform/sim/SimLoginService.hpp"
#include "platform/sim/SimStatusItem.hpp"
#include "platform/sim/SimWindowing.hpp"

#include <gtest/gtest.h>

#include <functional>

namespace velmar {
namespace {

using Titles = std::vector<std::string>;

struct MenuRig {
    sim::SimStatusItem item;
    sim::SimAlerts alerts;
    sim::SimWindowing windowing;
    sim::SimDesktopLauncher launcher;
    sim::SimInstallLayout install;
    sim::SimLoginService login;
    StatusMenu menu{{item, alerts, windowing, launcher, install, login}};
    std::vector<std::string> calls;

    MenuRig() {
        install.setShortVersion("1.4.2");
        install.setBundleIdentifier("com.velmar.desktop-agent");
        menu.onSignInEmail = [this](const std::string& e, const std::string& p) {
            calls.push_back("email:" + e + "|" + p);
        };
        menu.onSignOut = [this] { calls.push_back("signOut"); };
        menu.onToggleLaunchAtLogin = [this] { calls.push_back("toggle"); };
        menu.onQuit = [this] { calls.push_back("quit"); };
        menu.onOpenAccessibilitySettings = [this] { calls.push_back("axSettings"); };
    }
};

TEST(StatusMenu, LinesFollowTheStateTheDelegateWrote) {
    const Titles signedOutTail = {"---", "Not signed in", "Sign in…", "Sign in with email…", "---",
                                  "Launch at login", "---", "Quit Fernhollow"};
    auto with = [](Titles head, const Titles& tail) {
        head.insert(head.end(), tail.begin(), tail.end());
        return head;
    };
    struct Case {
        const char* description;
        std::function<void(MenuRig&)> setup;
        Titles expected;
    } cases[] = {
        {"a dry run without a version, no permission, signed out, a negative count of buffered events",
         [](MenuRig& r) {
             r.install.setShortVersion(std::nullopt);
             r.menu.install(true);
             r.menu.queuedCount = -1;
         },
         with({"Fernhollow (dry run)", "Grant Accessibility access…"}, signedOutTail)},
        {"capturing two apps, signed in, last event and buffered events",
         [](MenuRig& r) {
             r.menu.axTrusted = true;
             r.menu.capturingApps = {"Claude", "Google Chrome"};
             r.menu.signedInEmail = "ana@example.com";
             r.menu.lastEventLine = "Last turn: claude_desktop 12:04";
             r.menu.queuedCount = 1;
         },
         {"Fernhollow 1.4.2", "Capturing: Claude, Google Chrome", "Last turn: claude_desktop 12:04",
          "Buffered events: 1", "---", "Signed in as ana@example.com", "Sign out", "---", "Launch at login", "---",
          "Quit Fernhollow"}},
        {"paused for the device wins over a missing permission",
         [](MenuRig& r) { r.menu.capturePause = StatusMenu::CapturePause{"device"}; },
         with({"Fernhollow 1.4.2", "Capture paused by your organization (this device)"}, signedOutTail)},
        {"paused without scope wins over capturing",
         [](MenuRig& r) {
             r.menu.axTrusted = true;
             r.menu.capturingApps = {"Claude"};
             r.menu.capturePause = StatusMenu::CapturePause{};
         },
         with({"Fernhollow 1.4.2", "Capture paused by your organization"}, signedOutTail)},
        {"the core's storage is full: the waiting turns are named instead of buffered",
         [](MenuRig& r) {
             r.menu.axTrusted = true;
             r.menu.queuedCount = 12;
             r.menu.storageFull = true;
         },
         with({"Fernhollow 1.4.2", "Waiting for an AI app (Claude Desktop)", "Storage full: 12 turns waiting"},
              signedOutTail)},
    };
    for (const auto& c : cases) {
        MenuRig rig;
        rig.menu.install(false);
        c.setup(rig);
        rig.item.open();
        EXPECT_EQ(rig.item.titles(), c.expected) << c.description;
    }
}

TEST(StatusMenu, RedDotOnlyOnceKnownSignedOutAndRefreshPushesTheMenu) {
    MenuRig rig;
    rig.menu.install(false);
    ASSERT_EQ(rig.item.images.size(), 1u);
    EXPECT_EQ(rig.item.shown(), (StatusImage{StatusDot::none, "Fernhollow"})) << "no dot before any report";

    rig.menu.authKnown = true;
    rig.menu.refreshStatusImage();
    EXPECT_EQ(rig.item.shown(), (StatusImage{StatusDot::red, "Fernhollow — signed out"}));
    rig.menu.refreshStatusImage();
    EXPECT_EQ(rig.item.images.size(), 2u) << "an unchanged dot is not redrawn";

    rig.menu.signedInEmail = "(unknown)";
    rig.menu.refreshStatusImage();
    EXPECT_EQ(rig.item.shown(), (StatusImage{StatusDot::none, "Fernhollow"}));

    rig.menu.signedInEmail.reset();
    rig.menu.refresh();
    rig.item.open();
    EXPECT_EQ(rig.item.shown()->dot, StatusDot::none) << "the open menu shows the plain glyph";
    rig.item.close();
    EXPECT_EQ(rig.item.shown()->dot, StatusDot::red) << "closing redraws the dot";

    rig.menu.invalidateImage();
    auto before = rig.item.images.size();
    rig.menu.refreshStatusImage();
    EXPECT_EQ(rig.item.images.size(), before + 1) << "an appearance change forces a redraw";

    // Refresh pushes the menu, so a tray shows the current state before it is
    // opened; without its callback the accessibility item opens the settings.
    rig.menu.signedInEmail = "ana@example.com";
    rig.login.setStatus(LoginService::Status::enabled);
    rig.menu.refresh();
    ASSERT_NE(rig.item.find("Signed in as ana@example.com"), nullptr);
    EXPECT_TRUE(rig.item.find("Launch at login")->checked);

    for (auto title : {"Sign out", "Launch at login", "Quit Fernhollow", "Grant Accessibility access…"})
        EXPECT_TRUE(rig.item.choose(title)) << title;
    EXPECT_FALSE(rig.item.choose("Signed in as ana@example.com"));
    EXPECT_EQ(rig.calls, (std::vector<std::string>{"signOut", "toggle", "quit", "axSettings"}));
    EXPECT_EQ(rig.launcher.accessibilitySettingsOpened, 0);
    rig.menu.onOpenAccessibilitySettings = nullptr;
    rig.item.choose("Grant Accessibility access…");
    EXPECT_EQ(rig.launcher.accessibilitySettingsOpened, 1);
}

TEST(StatusMenu, EmailDialogSendsOnlyACompleteAnswer) {
    struct Case {
        const char* description;
        std::optional<Credentials> answer;
        std::vector<std::string> expected;
    } cases[] = {
        {"e-mail trimmed, password kept as typed", Credentials{"  ana@example.com\t", " pw "},
         {"email:ana@example.com| pw "}},
        {"blank e-mail", Credentials{"   ", "pw"}, {}},
        {"empty password", Credentials{"ana@example.com", ""}, {}},
        {"cancelled", std::nullopt, {}},
    };
    for (const auto& c : cases) {
        MenuRig rig;
        rig.menu.install(false);
        rig.alerts.credentialAnswers.push_back(c.answer);
        rig.item.open();
        ASSERT_TRUE(rig.item.choose("Sign in with email…")) << c.description;
        EXPECT_EQ(rig.calls, c.expected) << c.description;
        ASSERT_EQ(rig.alerts.shownPrompts.size(), 1u);
        EXPECT_EQ(rig.windowing.activations, 1) << c.description;
    }
}

}  // namespace
}  // namespace velmar
