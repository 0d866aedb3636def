#include "platform/linux/session/DbusNotifications.hpp"

#include <gio/gio.h>

namespace velmar::linux_backend {

namespace {

struct Pending {
    LogSink* log;
    std::string summary;
};

void answered(GObject* source, GAsyncResult* result, gpointer data) {
    auto* pending = static_cast<Pending*>(data);
    GError* error = nullptr;
    GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &error);
    if (reply) {
        g_variant_unref(reply);
    } else {
        // The text of the notification is the agent's own, never the user's.
        pending->log->writeLine("[agent] the desktop showed no notification (" +
                                std::string(error ? error->message : "no answer") + "): " + pending->summary);
        g_clear_error(&error);
    }
    delete pending;
}

}  // namespace

void DbusNotifications::show(const Notification& notification) {
    GError* error = nullptr;
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    if (!bus) {
        log_.writeLine("[agent] no session bus for notifications: " + notification.summary);
        g_clear_error(&error);
        return;
    }
    GVariantBuilder actions, hints;
    g_variant_builder_init(&actions, G_VARIANT_TYPE("as"));
    g_variant_builder_init(&hints, G_VARIANT_TYPE("a{sv}"));
    g_variant_builder_add(&hints, "{sv}", "urgency", g_variant_new_byte(1));
    GVariant* args = g_variant_new("(susssasa{sv}i)", appName_.c_str(), 0u, "dialog-information",
                                   notification.summary.c_str(), notification.body.c_str(), &actions, &hints, -1);
    g_dbus_connection_call(bus, "org.freedesktop.Notifications", "/org/freedesktop/Notifications",
                           "org.freedesktop.Notifications", "Notify", args, G_VARIANT_TYPE("(u)"),
                           G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, answered, new Pending{&log_, notification.summary});
    g_object_unref(bus);
}

}  // namespace velmar::linux_backend
