#pragma once
// The status item and its menu: glyph with a red dot while the user is known
// to be signed out, and a menu computed from the state the application
// delegate writes into the public fields. Every action goes to a callback the
// delegate wires; the menu holds no other logic.

#include "platform/Alerts.hpp"
#include "platform/StatusItem.hpp"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace velmar {

class DesktopLauncher;
class InstallLayout;
class LoginService;
class Windowing;

class StatusMenu final : public StatusItemListener {
public:
    struct Ports {
        StatusItem& item;
        Alerts& alerts;
        Windowing& windowing;
        DesktopLauncher& launcher;
        const InstallLayout& install;
        LoginService& login;
    };

    explicit StatusMenu(Ports ports);
    ~StatusMenu() override;
    StatusMenu(const StatusMenu&) = delete;
    StatusMenu& operator=(const StatusMenu&) = delete;

    std::function<void()> onSignIn;
    std::function<void(const std::string& email, const std::string& password)> onSignInEmail;
    std::function<void()> onSignOut;
    std::function<void()> onToggleLaunchAtLogin;
    std::function<void()> onCheckForUpdates;  // the item exists only while set
    std::function<void()> onQuit;
    std::function<void()> onOpenAccessibilitySettings;

    // Written by the application delegate; shown at the next `refresh()` or
    // when the menu next opens.
    std::optional<std::string> signedInEmail;
    std::vector<std::string> capturingApps;
    bool axTrusted = false;
    std::optional<std::string> lastEventLine;
    int queuedCount = 0;
    // The core cannot store turns (its disk is full): "Storage full: N turns
    // waiting" instead of the buffered count.
    bool storageFull = false;
    // Set while the organization pauses capture; scope "device" pauses this
    // device only.
    struct CapturePause {
        std::optional<std::string> scope;
        bool operator==(const CapturePause&) const = default;
    };
    std::optional<CapturePause> capturePause;
    bool authKnown = false;

    // Attaches to the status item; called once at launch.
    void install(bool dryRun);
    bool dryRun() const { return dryRun_; }

    // Redraws the glyph if the dot changed.
    void refreshStatusImage();
    // Redraws the glyph and hands the item a fresh menu (tray menus are
    // exported ahead of time, so state changes must reach them at once).
    void refresh();
    // Forgets the drawn dot so the next refresh redraws (appearance changed).
    void invalidateImage() { renderedDot_.reset(); }

    StatusDot dot() const;
    // The menu as it would open now.
    MenuModel menuModel();

    // Item actions.
    void signIn();
    void signInEmail();
    void signOut();
    void toggleLaunchAtLogin();
    void checkForUpdates();
    void openAccessibilitySettings();
    void quit();

    // StatusItemListener
    void menuWillOpen() override;
    void menuDidClose() override;

    static StatusImage imageFor(StatusDot dot);

private:
    Ports ports_;
    bool dryRun_ = false;
    bool installed_ = false;
    std::optional<StatusDot> renderedDot_;
};

}  // namespace velmar
