#include "ui/StatusMenu.hpp"

#include <algorithm>

#include "platform/DesktopLauncher.hpp"
#include "platform/InstallLayout.hpp"
#include "platform/LoginService.hpp"
#include "platform/Windowing.hpp"
#include "text/Unicode.hpp"

namespace velmar {

namespace {
constexpr const char* kAppName = "Fernhollow";
}  // namespace

StatusMenu::StatusMenu(Ports ports) : ports_(ports) {}

StatusMenu::~StatusMenu() {
    if (installed_) ports_.item.setListener(nullptr);
}

void StatusMenu::install(bool dryRun) {
    dryRun_ = dryRun;
    if (!installed_) ports_.item.setListener(this);
    installed_ = true;
    renderedDot_.reset();
    refresh();
}

StatusDot StatusMenu::dot() const {
    return authKnown && !signedInEmail ? StatusDot::red : StatusDot::none;
}

StatusImage StatusMenu::imageFor(StatusDot dot) {
    return {dot, dot == StatusDot::red ? std::string(kAppName) + " — signed out" : std::string(kAppName)};
}

void StatusMenu::refreshStatusImage() {
    if (!installed_) return;
    StatusDot now = dot();
    if (renderedDot_ == now) return;
    renderedDot_ = now;
    ports_.item.setImage(imageFor(now));
}

void StatusMenu::refresh() {
    if (!installed_) return;
    refreshStatusImage();
    ports_.item.setMenu(menuModel());
}

MenuModel StatusMenu::menuModel() {
    MenuModel menu;
    std::string title = kAppName;
    if (auto version = ports_.install.shortVersion()) title += " " + *version;
    if (dryRun_) title += " (dry run)";
    menu.push_back(MenuItem::info(title));

    if (capturePause) {
        const bool thisDevice = capturePause->scope == "device";
        menu.push_back(MenuItem::info(std::string("Capture paused by your organization") +
                                      (thisDevice ? " (this device)" : "")));
    } else if (axTrusted) {
        menu.push_back(MenuItem::info(capturingApps.empty() ? "Waiting for an AI app (Claude Desktop)"
                                                            : "Capturing: " + text::joinLines(capturingApps, ", ")));
    } else {
        menu.push_back(MenuItem::action("Grant Accessibility access…", [this] { openAccessibilitySettings(); }));
    }
    if (lastEventLine) menu.push_back(MenuItem::info(*lastEventLine));
    if (storageFull) {
        menu.push_back(MenuItem::info("Storage full: " + std::to_string(std::max(queuedCount, 0)) + " turns waiting"));
    } else if (queuedCount >= 1) {
        menu.push_back(MenuItem::info("Buffered events: " + std::to_string(queuedCount)));
    }
    menu.push_back(MenuItem::separator());

    if (signedInEmail) {
        menu.push_back(MenuItem::info("Signed in as " + *signedInEmail));
        menu.push_back(MenuItem::action("Sign out", [this] { signOut(); }));
    } else {
        menu.push_back(MenuItem::info("Not signed in"));
        menu.push_back(MenuItem::action("Sign in…", [this] { signIn(); }));
        menu.push_back(MenuItem::action("Sign in with email…", [this] { signInEmail(); }));
    }
    menu.push_back(MenuItem::separator());

    if (ports_.install.appId()) {
        auto status = ports_.login.status();
        std::string label = status == LoginService::Status::requiresApproval
                                ? "Launch at login (approve in System Settings…)"
                                : "Launch at login";
        menu.push_back(MenuItem::action(label, [this] { toggleLaunchAtLogin(); },
                                        status == LoginService::Status::enabled));
    }
    if (onCheckForUpdates) menu.push_back(MenuItem::action("Check for Updates…", [this] { checkForUpdates(); }));
    menu.push_back(MenuItem::separator());
    menu.push_back(MenuItem::action(std::string("Quit ") + kAppName, [this] { quit(); }, false, "q"));
    return menu;
}

void StatusMenu::signIn() {
    if (onSignIn) onSignIn();
}

void StatusMenu::signInEmail() {
    ports_.windowing.activate();
    auto answer = ports_.alerts.askCredentials({
        .message = std::string("Sign in to ") + kAppName,
        .informativeText = std::string("Use the same account as the ") + kAppName + " dashboard.",
        .emailPlaceholder = "email",
        .passwordPlaceholder = "password",
        .confirmButton = "Sign In",
        .cancelButton = "Cancel",
    });
    if (!answer) return;
    // Stray blanks around a pasted address are common; a password is taken as typed.
    std::string email = text::trim(answer->email);
    if (email.empty() || answer->password.empty()) return;
    if (onSignInEmail) onSignInEmail(email, answer->password);
}

void StatusMenu::signOut() {
    if (onSignOut) onSignOut();
}

void StatusMenu::toggleLaunchAtLogin() {
    if (onToggleLaunchAtLogin) onToggleLaunchAtLogin();
}

void StatusMenu::checkForUpdates() {
    if (onCheckForUpdates) onCheckForUpdates();
}

void StatusMenu::openAccessibilitySettings() {
    if (onOpenAccessibilitySettings) {
        onOpenAccessibilitySettings();
        return;
    }
    ports_.launcher.openAccessibilitySettings();
}

void StatusMenu::quit() {
    if (onQuit) onQuit();
}

void StatusMenu::menuWillOpen() {
    // The open menu shows the plain glyph; the menu is rebuilt from scratch.
    ports_.item.setImage(imageFor(StatusDot::none));
    ports_.item.setMenu(menuModel());
}

void StatusMenu::menuDidClose() {
    renderedDot_.reset();
    refreshStatusImage();
}

}  // namespace velmar
