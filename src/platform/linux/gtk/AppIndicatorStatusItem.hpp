#pragma once
// The status item as a tray icon over the StatusNotifierItem protocol
// (Ayatana AppIndicator). The glyph and its signed-out variant with a red dot
// are the project's own icon files; the menu is a GtkMenu rebuilt from each
// model the logic hands over. Tray menus are exported ahead of time, so the
// logic's refresh keeps them current; there is no "will open" notice. Where
// no tray host runs, the agent keeps running and says so once.

#include "platform/StatusItem.hpp"

#include <filesystem>
#include <functional>

typedef struct _AppIndicator AppIndicator;
typedef struct _GtkWidget GtkWidget;

namespace velmar {
class LogSink;
}

namespace velmar::linux_backend {

class AppIndicatorStatusItem final : public StatusItem {
public:
    static constexpr const char* glyphIcon = "velmar-status";
    static constexpr const char* signedOutIcon = "velmar-status-signed-out";

    // `iconDirectory` holds the two icons (the installation's "icons"
    // folder). Needs GTK set up.
    AppIndicatorStatusItem(const std::filesystem::path& iconDirectory, LogSink& log);
    ~AppIndicatorStatusItem() override;

    void setImage(const StatusImage& image) override;
    void setMenu(MenuModel menu) override;
    void openMenu() override;
    void setListener(StatusItemListener* listener) override { listener_ = listener; }

    // Whether a tray host (a StatusNotifierWatcher) is on the session bus.
    static bool trayHostRunning();
    // Calls `appeared` on the loop each time a tray host takes its name on
    // the session bus (at once if one holds it already), until the returned
    // watch is ended with `unwatchTrayHost`.
    static unsigned watchTrayHost(std::function<void()> appeared);
    static void unwatchTrayHost(unsigned watch);
    // The GtkMenu the tray exports (for tests and diagnostics).
    GtkWidget* menuWidget() const { return menu_; }

private:
    AppIndicator* indicator_ = nullptr;
    GtkWidget* menu_ = nullptr;
    MenuModel model_;
    StatusItemListener* listener_ = nullptr;
    LogSink& log_;
};

}  // namespace velmar::linux_backend
