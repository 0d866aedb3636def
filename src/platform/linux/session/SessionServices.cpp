#include "platform/linux/session/SessionServices.hpp"

#include <gio/gio.h>

namespace velmar::linux_backend {
namespace {

enum Source { logind = 0, gnomeScreenSaver = 1, freedesktopScreenSaver = 2 };

struct Call {
    bool systemBus;
    const char* name;
    const char* path;
    const char* interface;
    const char* method;
};

const Call stateCalls[] = {
    {true, "org.freedesktop.login1", "/org/freedesktop/login1/session/auto", "org.freedesktop.DBus.Properties", "GetAll"},
    {false, "org.gnome.ScreenSaver", "/org/gnome/ScreenSaver", "org.gnome.ScreenSaver", "GetActive"},
    {false, "org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver", "org.freedesktop.ScreenSaver", "GetActive"},
};

std::optional<bool> booleanIn(GVariant* dictionary, const char* key) {
    gboolean value = FALSE;
    if (g_variant_lookup(dictionary, key, "b", &value)) return value != FALSE;
    return std::nullopt;
}

}  // namespace

struct SessionServices::Pending {
    SessionServices* self;
    int source;
};

SessionServices::State SessionServices::combine(const Answers& a) {
    State s;
    s.locked = a.logindLocked.value_or(false) || a.gnomeScreenSaverActive.value_or(false) ||
               a.freedesktopScreenSaverActive.value_or(false);
    s.sessionActive = a.logindActive.value_or(true);
    return s;
}

SessionServices::SessionServices(bool sessionBus) : sessionBusExpected_(sessionBus), cancellable_(g_cancellable_new()) {}

SessionServices::~SessionServices() {
    // Replies still on their way find the call cancelled and never touch us.
    g_cancellable_cancel(cancellable_);
    g_object_unref(cancellable_);
    if (session_) g_object_unref(session_);
    if (system_) g_object_unref(system_);
}

GDBusConnection* SessionServices::sessionBus() {
    if (!sessionTried_) {
        sessionTried_ = true;
        if (sessionBusExpected_) session_ = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    }
    return session_;
}

GDBusConnection* SessionServices::systemBus() {
    if (!systemTried_) {
        systemTried_ = true;
        system_ = g_bus_get_sync(G_BUS_TYPE_SYSTEM, nullptr, nullptr);
    }
    return system_;
}

namespace {

// One synchronous call with a short timeout; the first value of the reply.
GVariant* callQuickly(GDBusConnection* bus, const char* name, const char* path, const char* interface,
                      const char* method, const GVariantType* replyType, int timeoutMs) {
    if (!bus) return nullptr;
    return g_dbus_connection_call_sync(bus, name, path, interface, method, nullptr, replyType,
                                       G_DBUS_CALL_FLAGS_NO_AUTO_START, timeoutMs, nullptr, nullptr);
}

}  // namespace

std::optional<double> SessionServices::gnomeIdleSeconds() {
    return idleSeconds(gnomeIdle_, "org.gnome.Mutter.IdleMonitor", "/org/gnome/Mutter/IdleMonitor/Core", "GetIdletime",
                       "(t)");
}

std::optional<double> SessionServices::screenSaverIdleSeconds() {
    return idleSeconds(screenSaverIdle_, "org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver",
                       "GetSessionIdleTime", "(u)");
}

std::optional<double> SessionServices::idleSeconds(Backoff& service, const char* name, const char* path,
                                                   const char* method, const char* replyType) {
    if (!service.ready() || !sessionBus()) return std::nullopt;
    GVariant* reply =
        callQuickly(session_, name, path, name, method, G_VARIANT_TYPE(replyType), idleQueryTimeoutMs);
    if (!reply) {
        service.failed();
        return std::nullopt;
    }
    guint64 ms = 0;
    if (g_variant_is_of_type(reply, G_VARIANT_TYPE("(t)"))) {
        g_variant_get(reply, "(t)", &ms);
    } else {
        guint32 shortMs = 0;
        g_variant_get(reply, "(u)", &shortMs);
        ms = shortMs;
    }
    g_variant_unref(reply);
    return static_cast<double>(ms) / 1000.0;
}

void SessionServices::refresh() {
    for (int source = 0; source < 3; ++source) ask(source);
}

void SessionServices::ask(int source) {
    Backoff& backoff = sources_[source];
    if (!backoff.ready()) return;
    const Call& call = stateCalls[source];
    GDBusConnection* bus = call.systemBus ? systemBus() : sessionBus();
    if (!bus) return;
    backoff.inFlight = true;
    GVariant* parameters = source == logind ? g_variant_new("(s)", "org.freedesktop.login1.Session") : nullptr;
    const GVariantType* replyType = source == logind ? G_VARIANT_TYPE("(a{sv})") : G_VARIANT_TYPE("(b)");
    g_dbus_connection_call(
        bus, call.name, call.path, call.interface, call.method, parameters, replyType, G_DBUS_CALL_FLAGS_NO_AUTO_START,
        stateQueryTimeoutMs, cancellable_,
        [](GObject* object, GAsyncResult* result, gpointer data) {
            auto* pending = static_cast<Pending*>(data);
            GError* error = nullptr;
            GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(object), result, &error);
            if (error && g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED)) {
                g_error_free(error);
                delete pending;
                return;
            }
            if (error) g_error_free(error);
            std::optional<bool> first, second;
            if (reply && pending->source == logind) {
                GVariant* properties = g_variant_get_child_value(reply, 0);
                first = booleanIn(properties, "LockedHint");
                second = booleanIn(properties, "Active");
                g_variant_unref(properties);
            } else if (reply) {
                gboolean active = FALSE;
                g_variant_get(reply, "(b)", &active);
                first = active != FALSE;
            }
            if (reply) g_variant_unref(reply);
            else pending->self->sources_[pending->source].failed();
            pending->self->answered(pending->source, first, second);
            delete pending;
        },
        new Pending{this, source});
}

void SessionServices::answered(int source, std::optional<bool> first, std::optional<bool> second) {
    sources_[source].inFlight = false;
    const State before = state();
    switch (source) {
    case logind:
        answers_.logindLocked = first;
        answers_.logindActive = second;
        break;
    case gnomeScreenSaver:
        answers_.gnomeScreenSaverActive = first;
        break;
    default:
        answers_.freedesktopScreenSaverActive = first;
        break;
    }
    const State after = state();
    if (after != before && onChange) onChange(after);
}

}  // namespace velmar::linux_backend
