// A browser started before the accessibility switch was turned on, in a
// private desktop that turns it on late (VELMAR_A11Y_LATE=1, ctest's
// "desktop_late_accessibility"): the real agent tells the user, once, through
// the desktop's notifications, to restart the browser. The notification
// server here is the test's own, on the session's bus.

#include "platform/linux/atspi/RealBrowserSupport.hpp"
#include "support/TempFiles.hpp"

#include <gio/gio.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace velmar {
namespace {

constexpr const char* kInterface = R"(<node><interface name="org.freedesktop.Notifications">
  <method name="Notify"><arg type="s" direction="in"/><arg type="u" direction="in"/><arg type="s" direction="in"/>
    <arg type="s" direction="in"/><arg type="s" direction="in"/><arg type="as" direction="in"/>
    <arg type="a{sv}" direction="in"/><arg type="i" direction="in"/><arg type="u" direction="out"/></method>
  <method name="GetCapabilities"><arg type="as" direction="out"/></method>
  <method name="GetServerInformation"><arg type="s" direction="out"/><arg type="s" direction="out"/>
    <arg type="s" direction="out"/><arg type="s" direction="out"/></method>
</interface></node>)";

struct Received {
    std::vector<std::pair<std::string, std::string>> notes;  // application, summary
};

void onCall(GDBusConnection*, const char*, const char*, const char*, const char* method, GVariant* params,
            GDBusMethodInvocation* invocation, gpointer data) {
    auto* received = static_cast<Received*>(data);
    if (std::string(method) == "Notify") {
        const char *app = nullptr, *icon = nullptr, *summary = nullptr, *body = nullptr;
        guint32 replaces = 0;
        g_variant_get(params, "(&su&s&s&s@as@a{sv}i)", &app, &replaces, &icon, &summary, &body, nullptr, nullptr,
                      nullptr);
        received->notes.emplace_back(app, summary);
        g_dbus_method_invocation_return_value(invocation, g_variant_new("(u)", 1u));
    } else if (std::string(method) == "GetCapabilities") {
        g_dbus_method_invocation_return_value(invocation, g_variant_new_parsed("(@as [],)"));
    } else {
        g_dbus_method_invocation_return_value(invocation, g_variant_new("(ssss)", "test", "velmar", "1", "1.2"));
    }
}

TEST(LateAccessibility, ABrowserStartedBeforeTheSwitchIsToldOnceToRestart) {
    if (!std::getenv("VELMAR_DESKTOP_SESSION") || !std::getenv("VELMAR_A11Y_LATE")) {
        GTEST_SKIP() << "needs the private desktop with the switch turned on late (desktop_late_accessibility)";
    }
    GError* error = nullptr;
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    ASSERT_TRUE(bus) << (error ? error->message : "no session bus");
    GDBusNodeInfo* info = g_dbus_node_info_new_for_xml(kInterface, &error);
    ASSERT_TRUE(info);
    Received received;
    const GDBusInterfaceVTable vtable{onCall, nullptr, nullptr, {}};
    const guint object = g_dbus_connection_register_object(bus, "/org/freedesktop/Notifications",
                                                           info->interfaces[0], &vtable, &received, nullptr, &error);
    ASSERT_GT(object, 0u) << (error ? error->message : "");
    GVariant* owned = g_dbus_connection_call_sync(
        bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "RequestName",
        g_variant_new("(su)", "org.freedesktop.Notifications", 4u), G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE,
        5000, nullptr, &error);
    ASSERT_TRUE(owned) << (error ? error->message : "");
    g_variant_unref(owned);

    testing::TempDir home;
    const pid_t agent = linux_backend::real_browser::spawnAgent(home.path().string());
    ASSERT_GT(agent, 0);

    // The agent's tries come 2, 4 and 8 s apart; then the notification, and no second one.
    const auto serveFor = [&](gint64 seconds, bool untilFirst) {
        const gint64 end = g_get_monotonic_time() + seconds * G_USEC_PER_SEC;
        while (g_get_monotonic_time() < end && !(untilFirst && !received.notes.empty())) {
            while (g_main_context_iteration(nullptr, FALSE)) {
            }
            g_usleep(20'000);
        }
    };
    serveFor(40, true);
    serveFor(10, false);
    linux_backend::real_browser::stopAgent(agent);

    ASSERT_EQ(received.notes.size(), 1u) << "told once";
    EXPECT_EQ(received.notes[0].first, "Fernhollow");
    EXPECT_EQ(received.notes[0].second, "Restart Chromium to capture its AI chats");
    g_dbus_connection_unregister_object(bus, object);
    g_dbus_node_info_unref(info);
    g_object_unref(bus);
}

}  // namespace
}  // namespace velmar
