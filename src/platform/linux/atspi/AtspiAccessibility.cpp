#include "platform/linux/atspi/AtspiAccessibility.hpp"

#include "platform/linux/atspi/AtspiElement.hpp"
#include "platform/linux/atspi/AtspiPendingReads.hpp"
#include "platform/linux/atspi/AtspiObserver.hpp"

#include <atspi/atspi.h>
#include <gio/gio.h>

namespace velmar::linux_backend {
namespace {

constexpr const char* kBusName = "org.a11y.Bus";
constexpr const char* kBusPath = "/org/a11y/bus";
constexpr const char* kStatusInterface = "org.a11y.Status";
constexpr int kCallMs = 1000;

GDBusConnection* sessionBus() {
    GError* error = nullptr;
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    if (error) g_error_free(error);
    return bus;
}

}  // namespace

AtspiAccessibility::AtspiAccessibility(std::chrono::milliseconds callTimeout) {
    atspi_init();
    atspi_set_timeout(static_cast<gint>(callTimeout.count()), static_cast<gint>(callTimeout.count()) * 5);
}

std::optional<bool> AtspiAccessibility::switchState() {
    GDBusConnection* bus = sessionBus();
    if (!bus) return std::nullopt;
    GError* error = nullptr;
    GVariant* reply = g_dbus_connection_call_sync(
        bus, kBusName, kBusPath, "org.freedesktop.DBus.Properties", "Get",
        g_variant_new("(ss)", kStatusInterface, "IsEnabled"), G_VARIANT_TYPE("(v)"), G_DBUS_CALL_FLAGS_NONE, kCallMs,
        nullptr, &error);
    g_object_unref(bus);
    if (error) {
        g_error_free(error);
        return std::nullopt;
    }
    GVariant* boxed = nullptr;
    g_variant_get(reply, "(v)", &boxed);
    std::optional<bool> out;
    if (boxed && g_variant_is_of_type(boxed, G_VARIANT_TYPE_BOOLEAN)) out = g_variant_get_boolean(boxed) != FALSE;
    if (boxed) g_variant_unref(boxed);
    g_variant_unref(reply);
    return out;
}

bool AtspiAccessibility::setSwitch(bool enabled) {
    GDBusConnection* bus = sessionBus();
    if (!bus) return false;
    GError* error = nullptr;
    GVariant* reply = g_dbus_connection_call_sync(
        bus, kBusName, kBusPath, "org.freedesktop.DBus.Properties", "Set",
        g_variant_new("(ssv)", kStatusInterface, "IsEnabled", g_variant_new_boolean(enabled)), nullptr,
        G_DBUS_CALL_FLAGS_NONE, kCallMs, nullptr, &error);
    g_object_unref(bus);
    if (error) {
        g_error_free(error);
        return false;
    }
    g_variant_unref(reply);
    return true;
}

bool AtspiAccessibility::isProcessTrusted() const {
    if (switchState() != true) return false;
    AtspiAccessible* desktop = atspi_get_desktop(0);
    if (!desktop) return false;
    GError* error = nullptr;
    atspi_accessible_get_child_count(desktop, &error);
    g_object_unref(desktop);
    if (error) {
        g_error_free(error);
        return false;
    }
    return true;
}

AXElementRef AtspiAccessibility::applicationElement(int pid) const {
    AtspiAccessible* desktop = atspi_get_desktop(0);
    if (!desktop) return nullptr;
    AXElementRef found;
    GError* error = nullptr;
    gint count = atspi_accessible_get_child_count(desktop, &error);
    for (gint i = 0; !error && i < count && !found; ++i) {
        AtspiAccessible* app = atspi_accessible_get_child_at_index(desktop, i, &error);
        if (error || !app) break;
        GError* pidError = nullptr;
        guint appPid = atspi_accessible_get_process_id(app, &pidError);
        if (pidError) {
            g_error_free(pidError);
        } else if (static_cast<int>(appPid) == pid) {
            found = AtspiElement::adopt(app);
            continue;
        }
        g_object_unref(app);
    }
    if (error) g_error_free(error);
    g_object_unref(desktop);
    return found;
}

std::unique_ptr<AccessibilityObserver> AtspiAccessibility::createObserver(int pid, AXNotificationHandler handler) {
    return AtspiObserver::create(applicationElement(pid), std::move(handler));
}

std::vector<std::vector<std::optional<AXAttributeValue>>> AtspiAccessibility::copyAttributesOfEach(
    std::span<const AXElementRef> elements, std::span<const std::string_view> names) const {
    return AtspiPendingReads::attributesOfEach(elements, names);
}

std::unique_ptr<PendingAttributes> AtspiAccessibility::requestAttributesOfEach(
    std::span<const AXElementRef> elements, std::span<const std::string_view> names,
    std::function<void()> onAnswered) const {
    return AtspiPendingReads::requestAttributesOfEach(elements, names, std::move(onAnswered));
}

std::unique_ptr<PendingAttributes> AtspiAccessibility::requestChildrenFrom(const AXElementRef& element,
                                                                           std::size_t from, std::size_t most,
                                                                           std::function<void()> onAnswered) const {
    return AtspiPendingReads::requestChildrenFrom(element, from, most, std::move(onAnswered));
}

}  // namespace velmar::linux_backend
