#pragma once
// The accessibility helper on a GTK desktop: an undecorated utility window
// that stays above the others without taking the keyboard, with the helper's
// text and a close button. Screens come from GDK's monitors.
//
// Finding the settings window is left to the desktop: GNOME and KDE give no
// cheap, portable way to tell which window is their settings pane, so the
// panel reports none and the helper stays hidden. On Linux the agent usually
// switches the session's accessibility on by itself, so the helper is rarely
// needed. Construct only where a display exists (`GtkWindowing`).

#include "platform/HelperPanel.hpp"

typedef struct _GtkWidget GtkWidget;

namespace velmar::linux_backend {

class GtkHelperPanel final : public HelperPanel {
public:
    static constexpr const char* instruction =
        "Drag <b>Fernhollow</b> to the list above to allow <b>Accessibility</b>";
    static constexpr const char* footnote = "Already in the list? Turn its switch on.";
    static constexpr const char* closeToolTip = "Hide this helper";

    GtkHelperPanel() = default;
    ~GtkHelperPanel() override;
    GtkHelperPanel(const GtkHelperPanel&) = delete;
    GtkHelperPanel& operator=(const GtkHelperPanel&) = delete;

    Size size() const override;
    void show(const Rect& frame) override;
    void hide() override;
    void setOnClose(std::function<void()> onClose) override { onClose_ = std::move(onClose); }
    std::optional<Rect> settingsWindow() override { return std::nullopt; }
    std::vector<ScreenInfo> screens() override;

    // For tests: the window and its close button, once built by the first show.
    GtkWidget* window() const { return window_; }
    GtkWidget* closeButton() const { return closeButton_; }

private:
    void build();
    static void closeClicked(GtkWidget* button, void* self);

    GtkWidget* window_ = nullptr;
    GtkWidget* closeButton_ = nullptr;
    std::function<void()> onClose_;
};

}  // namespace velmar::linux_backend
