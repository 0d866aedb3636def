#pragma once
// The status item where no tray host runs (stock GNOME has none): a small
// window holding what the tray menu holds — the state lines as text, the
// actions as buttons — shown when the user starts the agent from the
// application menu, and on a later start. Closing it only hides it; the
// agent runs on. Where a tray host runs at start the agent uses the tray icon
// instead; where one comes later (a panel that starts after the agent at
// login), the tray icon is adopted then and shows the menu from there on.

#include "platform/StatusItem.hpp"

#include <filesystem>
#include <functional>
#include <memory>

typedef struct _GtkWidget GtkWidget;

namespace velmar::linux_backend {

class GtkStatusWindow final : public StatusItem {
public:
    // `trayHost` answers whether a tray host runs now; `tray` (optional) is
    // the tray icon that gets every image and menu too. Needs GTK set up.
    GtkStatusWindow(const std::filesystem::path& iconDirectory, std::unique_ptr<StatusItem> tray,
                    std::function<bool()> trayHost);
    ~GtkStatusWindow() override;

    void setImage(const StatusImage& image) override;
    void setMenu(MenuModel menu) override;
    // Shows the window, unless the tray host shows the menu.
    void openMenu() override;
    void setListener(StatusItemListener* listener) override;

    // Takes the tray icon of a tray host that appeared after the start: it
    // gets the current image, menu and listener at once, and every one after.
    void adoptTray(std::unique_ptr<StatusItem> tray);
    bool hasTray() const { return tray_ != nullptr; }

    // Shows the window whatever the tray does (the first start from the menu).
    void present();
    bool visible() const;
    GtkWidget* windowWidget() const { return window_; }

private:
    void rebuild();

    std::filesystem::path iconDirectory_;
    std::unique_ptr<StatusItem> tray_;
    std::function<bool()> trayHost_;
    GtkWidget* window_ = nullptr;
    GtkWidget* box_ = nullptr;
    MenuModel model_;
    StatusImage image_;
    StatusItemListener* listener_ = nullptr;
};

}  // namespace velmar::linux_backend
