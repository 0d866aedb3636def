#include "platform/linux/gtk/GtkHelperPanel.hpp"

#include <gtk/gtk.h>

#include <cmath>

namespace velmar::linux_backend {

namespace {

constexpr int panelWidth = 520;
constexpr int panelHeight = 120;

// GDK places monitors in one space with the origin at the top left; the
// helper works from the bottom left of the first monitor.
double firstMonitorHeight() {
    GdkDisplay* display = gdk_display_get_default();
    if (!display || gdk_display_get_n_monitors(display) == 0) return 0;
    GdkRectangle r;
    gdk_monitor_get_geometry(gdk_display_get_monitor(display, 0), &r);
    return r.height;
}

Rect flippedRect(const GdkRectangle& r, double firstHeight) {
    return {double(r.x), firstHeight - r.y - r.height, double(r.width), double(r.height)};
}

}  // namespace

GtkHelperPanel::~GtkHelperPanel() {
    if (window_) gtk_widget_destroy(window_);
}

void GtkHelperPanel::build() {
    window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    GtkWindow* w = GTK_WINDOW(window_);
    gtk_window_set_decorated(w, FALSE);
    gtk_window_set_type_hint(w, GDK_WINDOW_TYPE_HINT_UTILITY);
    gtk_window_set_keep_above(w, TRUE);
    gtk_window_set_skip_taskbar_hint(w, TRUE);
    gtk_window_set_skip_pager_hint(w, TRUE);
    gtk_window_set_accept_focus(w, FALSE);
    gtk_window_set_focus_on_map(w, FALSE);
    gtk_window_set_resizable(w, FALSE);
    gtk_window_set_title(w, "Fernhollow");
    gtk_window_set_default_size(w, panelWidth, panelHeight);
    // The window manager must not close it behind the overlay's back: the
    // close button is the user's way out.
    g_signal_connect(window_, "delete-event", G_CALLBACK(gtk_widget_hide_on_delete), nullptr);

    GtkWidget* stack = gtk_box_new(GTK_ORIENTATION_VERTICAL, 12);
    gtk_widget_set_margin_start(stack, 18);
    gtk_widget_set_margin_end(stack, 18);
    gtk_widget_set_margin_top(stack, 16);
    gtk_widget_set_margin_bottom(stack, 14);

    GtkWidget* top = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 14);
    GtkWidget* arrow = gtk_image_new_from_icon_name("go-up-symbolic", GTK_ICON_SIZE_LARGE_TOOLBAR);
    GtkWidget* text = gtk_label_new(nullptr);
    gtk_label_set_markup(GTK_LABEL(text), instruction);
    gtk_label_set_line_wrap(GTK_LABEL(text), TRUE);
    gtk_label_set_lines(GTK_LABEL(text), 2);
    gtk_label_set_xalign(GTK_LABEL(text), 0);
    gtk_box_pack_start(GTK_BOX(top), arrow, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(top), text, TRUE, TRUE, 0);

    GtkWidget* row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 12);
    GtkWidget* name = gtk_label_new("Fernhollow");
    gtk_label_set_xalign(GTK_LABEL(name), 0);
    GtkWidget* close = gtk_button_new_from_icon_name("go-previous-symbolic", GTK_ICON_SIZE_BUTTON);
    gtk_widget_set_tooltip_text(close, closeToolTip);
    gtk_button_set_relief(GTK_BUTTON(close), GTK_RELIEF_NONE);
    g_signal_connect(close, "clicked", G_CALLBACK(closeClicked), this);
    closeButton_ = close;
    gtk_box_pack_start(GTK_BOX(row), close, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(row), name, TRUE, TRUE, 0);

    GtkWidget* note = gtk_label_new(footnote);
    gtk_label_set_xalign(GTK_LABEL(note), 0);
    gtk_style_context_add_class(gtk_widget_get_style_context(note), "dim-label");

    gtk_box_pack_start(GTK_BOX(stack), top, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(stack), row, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(stack), note, FALSE, FALSE, 0);
    gtk_container_add(GTK_CONTAINER(window_), stack);
    gtk_widget_show_all(stack);
}

void GtkHelperPanel::closeClicked(GtkWidget*, void* self) {
    auto* panel = static_cast<GtkHelperPanel*>(self);
    if (panel->onClose_) panel->onClose_();
}

Size GtkHelperPanel::size() const {
    if (!window_ || !gtk_widget_get_visible(window_)) return {panelWidth, panelHeight};
    int width = 0, height = 0;
    gtk_window_get_size(GTK_WINDOW(window_), &width, &height);
    return {double(width), double(height)};
}

void GtkHelperPanel::show(const Rect& frame) {
    if (!window_) build();
    const double top = firstMonitorHeight() - frame.y - frame.height;
    gtk_window_move(GTK_WINDOW(window_), int(std::lround(frame.x)), int(std::lround(top)));
    if (!gtk_widget_get_visible(window_)) gtk_widget_show(window_);
}

void GtkHelperPanel::hide() {
    if (window_) gtk_widget_hide(window_);
}

std::vector<ScreenInfo> GtkHelperPanel::screens() {
    std::vector<ScreenInfo> out;
    GdkDisplay* display = gdk_display_get_default();
    if (!display) return out;
    const double firstHeight = firstMonitorHeight();
    for (int i = 0, n = gdk_display_get_n_monitors(display); i < n; ++i) {
        GdkMonitor* monitor = gdk_display_get_monitor(display, i);
        GdkRectangle frame, work;
        gdk_monitor_get_geometry(monitor, &frame);
        gdk_monitor_get_workarea(monitor, &work);
        out.push_back({flippedRect(frame, firstHeight), flippedRect(work, firstHeight)});
    }
    return out;
}

}  // namespace velmar::linux_backend
