#include "platform/linux/AtspiSwitch.hpp"

#include <gio/gio.h>

namespace velmar::linux_backend {

namespace {

constexpr const char* busName = "org.a11y.Bus";
constexpr const char* busPath = "/org/a11y/bus";
constexpr const char* statusInterface = "org.a11y.Status";
constexpr int timeoutMs = 2000;

GDBusConnection* sessionBus() {
    GError* error = nullptr;
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    if (error) g_error_free(error);
    return bus;
}

}  // namespace

std::optional<bool> AtspiSwitch::isEnabled() {
    GDBusConnection* bus = sessionBus();
    if (!bus) return std::nullopt;
    GError* error = nullptr;
    GVariant* reply = g_dbus_connection_call_sync(
        bus, busName, busPath, "org.freedesktop.DBus.Properties", "Get",
        g_variant_new("(ss)", statusInterface, "IsEnabled"), G_VARIANT_TYPE("(v)"), G_DBUS_CALL_FLAGS_NONE, timeoutMs,
        nullptr, &error);
    g_object_unref(bus);
    if (!reply) {
        if (error) g_error_free(error);
        return std::nullopt;
    }
    GVariant* value = nullptr;
    g_variant_get(reply, "(v)", &value);
    std::optional<bool> enabled;
    if (value && g_variant_is_of_type(value, G_VARIANT_TYPE_BOOLEAN)) enabled = g_variant_get_boolean(value) != FALSE;
    if (value) g_variant_unref(value);
    g_variant_unref(reply);
    return enabled;
}

bool AtspiSwitch::enable() {
    GDBusConnection* bus = sessionBus();
    if (!bus) return false;
    GError* error = nullptr;
    GVariant* reply = g_dbus_connection_call_sync(
        bus, busName, busPath, "org.freedesktop.DBus.Properties", "Set",
        g_variant_new("(ssv)", statusInterface, "IsEnabled", g_variant_new_boolean(TRUE)), nullptr,
        G_DBUS_CALL_FLAGS_NONE, timeoutMs, nullptr, &error);
    g_object_unref(bus);
    if (error) g_error_free(error);
    if (reply) g_variant_unref(reply);
    return isEnabled().value_or(false);
}

bool AtspiSettingsLauncher::openAccessibilitySettings() {
    if (AtspiSwitch::enable()) return true;
    return fallback_.openAccessibilitySettings();
}

}  // namespace velmar::linux_backend
