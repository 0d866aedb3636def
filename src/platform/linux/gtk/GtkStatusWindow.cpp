#include "platform/linux/gtk/GtkStatusWindow.hpp"

#include <gtk/gtk.h>

namespace velmar::linux_backend {

namespace {
constexpr int kWidth = 340;
}

GtkStatusWindow::GtkStatusWindow(const std::filesystem::path& iconDirectory, std::unique_ptr<StatusItem> tray,
                                 std::function<bool()> trayHost)
    : iconDirectory_(iconDirectory), tray_(std::move(tray)), trayHost_(std::move(trayHost)) {
    window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    g_object_ref_sink(window_);
    gtk_window_set_title(GTK_WINDOW(window_), "Fernhollow");
    gtk_window_set_default_size(GTK_WINDOW(window_), kWidth, -1);
    gtk_window_set_resizable(GTK_WINDOW(window_), FALSE);
    gtk_window_set_position(GTK_WINDOW(window_), GTK_WIN_POS_CENTER);
    const auto icon = iconDirectory_ / "velmar-status.svg";
    gtk_window_set_icon_from_file(GTK_WINDOW(window_), icon.c_str(), nullptr);
    // Closing hides: the agent keeps recording in the background.
    g_signal_connect(window_, "delete-event", G_CALLBACK(+[](GtkWidget* widget, GdkEvent*, gpointer data) -> gboolean {
                         gtk_widget_hide(widget);
                         auto* self = static_cast<GtkStatusWindow*>(data);
                         if (self->listener_) self->listener_->menuDidClose();
                         return TRUE;
                     }),
                     this);
    box_ = gtk_box_new(GTK_ORIENTATION_VERTICAL, 6);
    gtk_container_set_border_width(GTK_CONTAINER(box_), 14);
    gtk_container_add(GTK_CONTAINER(window_), box_);
}

GtkStatusWindow::~GtkStatusWindow() {
    gtk_widget_destroy(window_);
    g_object_unref(window_);
}

void GtkStatusWindow::setImage(const StatusImage& image) {
    image_ = image;
    if (tray_) tray_->setImage(image);
    const auto icon = iconDirectory_ / (image.dot == StatusDot::red ? "velmar-status-signed-out.svg" : "velmar-status.svg");
    gtk_window_set_icon_from_file(GTK_WINDOW(window_), icon.c_str(), nullptr);
    gtk_widget_set_tooltip_text(window_, image.toolTip.empty() ? nullptr : image.toolTip.c_str());
}

void GtkStatusWindow::setMenu(MenuModel menu) {
    if (tray_) tray_->setMenu(menu);
    model_ = std::move(menu);
    rebuild();
}

void GtkStatusWindow::rebuild() {
    GList* children = gtk_container_get_children(GTK_CONTAINER(box_));
    for (GList* c = children; c; c = c->next) gtk_widget_destroy(GTK_WIDGET(c->data));
    g_list_free(children);
    bool first = true;
    for (std::size_t i = 0; i < model_.size(); ++i) {
        const MenuItem& item = model_[i];
        GtkWidget* widget = nullptr;
        switch (item.kind) {
        case MenuItem::Kind::separator:
            widget = gtk_separator_new(GTK_ORIENTATION_HORIZONTAL);
            break;
        case MenuItem::Kind::info: {
            widget = gtk_label_new(nullptr);
            // The first line names the application: a heading, the rest state lines.
            gchar* markup = g_markup_printf_escaped(first ? "<b>%s</b>" : "%s", item.title.c_str());
            gtk_label_set_markup(GTK_LABEL(widget), markup);
            g_free(markup);
            gtk_label_set_xalign(GTK_LABEL(widget), 0.0f);
            gtk_label_set_line_wrap(GTK_LABEL(widget), TRUE);
            break;
        }
        case MenuItem::Kind::action: {
            using Slot = std::pair<GtkStatusWindow*, std::size_t>;  // owner, index into the model
            const char* signal = "clicked";
            if (item.checked) {
                widget = gtk_check_button_new_with_label(item.title.c_str());
                gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(widget), item.checked);
                signal = "toggled";
            } else {
                widget = gtk_button_new_with_label(item.title.c_str());
                gtk_widget_set_halign(widget, GTK_ALIGN_FILL);
                if (GtkWidget* label = gtk_bin_get_child(GTK_BIN(widget)); GTK_IS_LABEL(label))
                    gtk_label_set_xalign(GTK_LABEL(label), 0.0f);
            }
            g_signal_connect_data(
                widget, signal, G_CALLBACK(+[](GtkWidget*, gpointer data) {
                    auto* slot = static_cast<Slot*>(data);
                    auto& model = slot->first->model_;
                    if (slot->second < model.size() && model[slot->second].activate) {
                        auto fn = model[slot->second].activate;  // may rebuild the window
                        g_idle_add_full(G_PRIORITY_DEFAULT, +[](gpointer p) -> gboolean {
                            auto* call = static_cast<std::function<void()>*>(p);
                            (*call)();
                            return G_SOURCE_REMOVE;
                        }, new std::function<void()>(std::move(fn)), +[](gpointer p) {
                            delete static_cast<std::function<void()>*>(p);
                        });
                    }
                }),
                new Slot(this, i), +[](gpointer data, GClosure*) { delete static_cast<Slot*>(data); }, GConnectFlags(0));
            break;
        }
        }
        first = first && item.kind == MenuItem::Kind::separator;
        gtk_box_pack_start(GTK_BOX(box_), widget, FALSE, FALSE, 0);
    }
    gtk_widget_show_all(box_);
}

void GtkStatusWindow::openMenu() {
    if (tray_ && trayHost_ && trayHost_()) return;  // the tray host shows the menu
    present();
}

void GtkStatusWindow::present() {
    if (listener_) listener_->menuWillOpen();
    gtk_widget_show_all(window_);
    gtk_window_present(GTK_WINDOW(window_));
}

bool GtkStatusWindow::visible() const { return gtk_widget_get_visible(window_); }

void GtkStatusWindow::adoptTray(std::unique_ptr<StatusItem> tray) {
    tray_ = std::move(tray);
    if (!tray_) return;
    tray_->setListener(listener_);
    tray_->setImage(image_);
    tray_->setMenu(model_);
}

void GtkStatusWindow::setListener(StatusItemListener* listener) {
    listener_ = listener;
    if (tray_) tray_->setListener(listener);
}

}  // namespace velmar::linux_backend
