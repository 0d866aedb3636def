#include "platform/linux/session/SessionInstance.hpp"

#include "platform/ProcessEnvironment.hpp"

#include <gio/gio.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmar::linux_backend {
namespace {

void onOpenSignal(GApplication*, GFile** files, gint count, gchar*, gpointer data) {
    auto* self = static_cast<SessionInstance*>(data);
    std::vector<std::string> urls;
    for (gint i = 0; i < count; ++i) {
        gchar* uri = g_file_get_uri(files[i]);
        if (uri) urls.emplace_back(uri);
        g_free(uri);
    }
    if (self->onOpen) self->onOpen(urls);
}

void onActivateSignal(GApplication*, gpointer data) {
    auto* self = static_cast<SessionInstance*>(data);
    if (self->onReopen) self->onReopen();
}

}  // namespace

SessionInstance::SessionInstance(const ProcessEnvironment& environment, std::string id)
    : environment_(environment), id_(std::move(id)) {}

SessionInstance::~SessionInstance() {
    if (application_) {
        if (openHandler_) g_signal_handler_disconnect(application_, openHandler_);
        if (activateHandler_) g_signal_handler_disconnect(application_, activateHandler_);
        g_object_unref(application_);
    }
    if (lockFd_ >= 0) ::close(lockFd_);
}

std::vector<std::string> SessionInstance::linkArguments(const std::vector<std::string>& arguments) {
    std::vector<std::string> links;
    for (const auto& argument : arguments) {
        // "scheme:..." with a scheme of RFC 3986 characters; a path or a switch has none.
        if (char* scheme = g_uri_parse_scheme(argument.c_str())) {
            links.push_back(argument);
            g_free(scheme);
        }
    }
    return links;
}

std::string SessionInstance::objectPath(std::string_view id) {
    std::string path = "/";
    for (char c : id) path += c == '.' ? '/' : c == '-' ? '_' : c;
    return path;
}

bool SessionInstance::sessionBusExpected() const {
    if (auto address = environment_.get("DBUS_SESSION_BUS_ADDRESS"); address && !address->empty()) return true;
    // A systemd user session's bus, which GLib finds without the variable.
    // Anything else (an X11 autolaunch) is not a session worth starting one for.
    if (auto runtime = environment_.get("XDG_RUNTIME_DIR"); runtime && !runtime->empty()) {
        struct stat info {};
        const std::string socket = *runtime + "/bus";
        return ::stat(socket.c_str(), &info) == 0 && S_ISSOCK(info.st_mode);
    }
    return false;
}

bool SessionInstance::holdLock() {
    const auto runtime = environment_.get("XDG_RUNTIME_DIR");
    const std::filesystem::path dir =
        std::filesystem::path(runtime && !runtime->empty() ? *runtime : g_get_user_runtime_dir()) / "velmar";
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    const int fd = ::open((dir / "agent.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return true;  // no runtime folder to lock in: do not refuse to run
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    lockFd_ = fd;  // held through the open descriptor until the process ends
    return true;
}

SessionInstance::Outcome SessionInstance::claim(const std::vector<std::string>& urls) {
    if (sessionBusExpected() && g_application_id_is_valid(id_.c_str())) {
        GApplication* app = g_application_new(id_.c_str(), G_APPLICATION_HANDLES_OPEN);
        GError* error = nullptr;
        if (g_application_register(app, nullptr, &error) && g_application_get_dbus_connection(app)) {
            application_ = app;
            if (g_application_get_is_remote(app)) return handOver(urls);
            openHandler_ = g_signal_connect(app, "open", G_CALLBACK(onOpenSignal), this);
            activateHandler_ = g_signal_connect(app, "activate", G_CALLBACK(onActivateSignal), this);
            return holdLock() ? Outcome::primary : Outcome::refused;
        }
        // The bus would not have us: one agent per session by the lock alone.
        if (error) g_error_free(error);
        g_object_unref(app);
    }
    return holdLock() ? Outcome::primary : Outcome::refused;
}

SessionInstance::Outcome SessionInstance::handOver(const std::vector<std::string>& urls) {
    GDBusConnection* bus = g_application_get_dbus_connection(application_);
    GVariantBuilder platformData;
    g_variant_builder_init(&platformData, G_VARIANT_TYPE_VARDICT);
    GVariant* parameters;
    const char* method;
    if (urls.empty()) {
        method = "Activate";
        parameters = g_variant_new("(a{sv})", &platformData);
    } else {
        method = "Open";
        GVariantBuilder uris;
        g_variant_builder_init(&uris, G_VARIANT_TYPE_STRING_ARRAY);
        for (const auto& url : urls) g_variant_builder_add(&uris, "s", url.c_str());
        parameters = g_variant_new("(assa{sv})", &uris, "", &platformData);
    }
    // A call with a reply (GApplication's own sends without one), so this
    // start knows the running agent took the links before it reports success.
    GError* error = nullptr;
    GVariant* reply = g_dbus_connection_call_sync(bus, id_.c_str(), objectPath(id_).c_str(), "org.gtk.Application",
                                                  method, parameters, nullptr, G_DBUS_CALL_FLAGS_NO_AUTO_START,
                                                  handOverTimeoutMs, nullptr, &error);
    if (!reply) {
        g_error_free(error);
        return Outcome::unreachable;
    }
    g_variant_unref(reply);
    return Outcome::handedOver;
}

}  // namespace velmar::linux_backend
