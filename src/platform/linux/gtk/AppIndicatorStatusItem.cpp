#include "platform/linux/gtk/AppIndicatorStatusItem.hpp"

#include "platform/LogSink.hpp"

#include <gtk/gtk.h>
#include <libayatana-appindicator/app-indicator.h>

namespace velmar::linux_backend {

bool AppIndicatorStatusItem::trayHostRunning() {
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    if (!bus) return false;
    GVariant* reply = g_dbus_connection_call_sync(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                  "org.freedesktop.DBus", "NameHasOwner",
                                                  g_variant_new("(s)", "org.kde.StatusNotifierWatcher"),
                                                  G_VARIANT_TYPE("(b)"), G_DBUS_CALL_FLAGS_NONE, 1000, nullptr, nullptr);
    gboolean owned = FALSE;
    if (reply) {
        g_variant_get(reply, "(b)", &owned);
        g_variant_unref(reply);
    }
    g_object_unref(bus);
    return owned == TRUE;
}

unsigned AppIndicatorStatusItem::watchTrayHost(std::function<void()> appeared) {
    return g_bus_watch_name(
        G_BUS_TYPE_SESSION, "org.kde.StatusNotifierWatcher", G_BUS_NAME_WATCHER_FLAGS_NONE,
        +[](GDBusConnection*, const gchar*, const gchar*, gpointer data) {
            (*static_cast<std::function<void()>*>(data))();
        },
        nullptr, new std::function<void()>(std::move(appeared)),
        +[](gpointer data) { delete static_cast<std::function<void()>*>(data); });
}

void AppIndicatorStatusItem::unwatchTrayHost(unsigned watch) { g_bus_unwatch_name(watch); }

AppIndicatorStatusItem::AppIndicatorStatusItem(const std::filesystem::path& iconDirectory, LogSink& log) : log_(log) {
    indicator_ = app_indicator_new_with_path("velmar-desktop-agent", glyphIcon,
                                             APP_INDICATOR_CATEGORY_APPLICATION_STATUS, iconDirectory.c_str());
    app_indicator_set_title(indicator_, "Fernhollow");
    menu_ = gtk_menu_new();
    g_object_ref_sink(menu_);
    app_indicator_set_menu(indicator_, GTK_MENU(menu_));
    app_indicator_set_status(indicator_, APP_INDICATOR_STATUS_ACTIVE);
    if (!trayHostRunning())
        log_.writeLine("[agent] no status tray on this desktop — running without a menu icon");
}

AppIndicatorStatusItem::~AppIndicatorStatusItem() {
    g_object_unref(indicator_);
    gtk_widget_destroy(menu_);
    g_object_unref(menu_);
}

void AppIndicatorStatusItem::setImage(const StatusImage& image) {
    const char* icon = image.dot == StatusDot::red ? signedOutIcon : glyphIcon;
    app_indicator_set_icon_full(indicator_, icon, image.toolTip.c_str());
    app_indicator_set_title(indicator_, image.toolTip.c_str());
}

void AppIndicatorStatusItem::setMenu(MenuModel model) {
    model_ = std::move(model);
    GList* children = gtk_container_get_children(GTK_CONTAINER(menu_));
    for (GList* c = children; c; c = c->next) gtk_widget_destroy(GTK_WIDGET(c->data));
    g_list_free(children);
    for (std::size_t i = 0; i < model_.size(); ++i) {
        const MenuItem& item = model_[i];
        GtkWidget* widget = nullptr;
        if (item.kind == MenuItem::Kind::separator) {
            widget = gtk_separator_menu_item_new();
        } else if (item.checked) {
            widget = gtk_check_menu_item_new_with_label(item.title.c_str());
            gtk_check_menu_item_set_active(GTK_CHECK_MENU_ITEM(widget), TRUE);
        } else {
            widget = gtk_menu_item_new_with_label(item.title.c_str());
        }
        if (item.kind == MenuItem::Kind::info) gtk_widget_set_sensitive(widget, FALSE);
        if (item.kind == MenuItem::Kind::action) {
            using Slot = std::pair<AppIndicatorStatusItem*, std::size_t>;  // owner, index into the model
            g_signal_connect_data(
                widget, "activate", G_CALLBACK(+[](GtkMenuItem*, gpointer data) {
                    auto* slot = static_cast<Slot*>(data);
                    auto& model = slot->first->model_;
                    if (slot->second < model.size() && model[slot->second].activate) {
                        auto fn = model[slot->second].activate;  // may rebuild the menu
                        fn();
                    }
                }),
                new Slot(this, i), +[](gpointer data, GClosure*) { delete static_cast<Slot*>(data); },
                GConnectFlags(0));
        }
        gtk_menu_shell_append(GTK_MENU_SHELL(menu_), widget);
    }
    gtk_widget_show_all(menu_);
}

void AppIndicatorStatusItem::openMenu() {
    // A tray icon's menu is opened by the tray host only.
}

}  // namespace velmar::linux_backend
