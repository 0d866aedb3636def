// A browser started before the accessibility switch was turned on, in a
// private desktop that turns it on late (VELMAR_A11Y_LATE=1, ctest's
// "desktop_late_accessibility"): the real agent tells the user, once, through
// the desktop's notifications, to restart the browser. The notification
// server here is the test's own, on the session's bus.

#include "support/TempFiles.hpp"

#include <gio/gio.h>
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace velmar {
namespace {

namespace fs = std::filesystem;

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
    for (const char* d : {"run", "data", "state", "config", "cache"}) fs::create_directories(home.path() / d);
    fs::permissions(home.path() / "run", fs::perms::owner_all);
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string kv = *e;
        if (kv.starts_with("HOME=") || kv.starts_with("XDG_")) continue;
        env.push_back(kv);
    }
    const std::string h = home.path().string();
    for (const auto& kv : {"HOME=" + h, "XDG_RUNTIME_DIR=" + h + "/run", "XDG_DATA_HOME=" + h + "/data",
                           "XDG_STATE_HOME=" + h + "/state", "XDG_CONFIG_HOME=" + h + "/config",
                           "XDG_CACHE_HOME=" + h + "/cache"})
        env.push_back(kv);
    const std::string program = std::string(VELMAR_TOOL_DIR) + "/velmar-desktop-agent";
    std::vector<char*> argv{const_cast<char*>(program.c_str()), const_cast<char*>("--background"), nullptr};
    std::vector<char*> envp;
    for (auto& kv : env) envp.push_back(kv.data());
    envp.push_back(nullptr);
    pid_t agent = 0;
    ASSERT_EQ(posix_spawn(&agent, program.c_str(), nullptr, nullptr, argv.data(), envp.data()), 0);

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
    kill(agent, SIGTERM);
    int status = 0;
    waitpid(agent, &status, 0);

    ASSERT_EQ(received.notes.size(), 1u) << "told once";
    EXPECT_EQ(received.notes[0].first, "Fernhollow");
    EXPECT_EQ(received.notes[0].second, "Restart Chromium to capture its AI chats");
    g_dbus_connection_unregister_object(bus, object);
    g_dbus_node_info_unref(info);
    g_object_unref(bus);
}

}  // namespace
}  // namespace velmar
