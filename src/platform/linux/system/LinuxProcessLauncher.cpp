#include "platform/linux/system/LinuxProcessLauncher.hpp"

#include <glib-unix.h>
#include <glib.h>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/types.h>
#include <unistd.h>

namespace velmar::linux_backend {

namespace {

constexpr std::size_t readChunk = 64 * 1024;

void setNonBlocking(int fd) { fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK); }

// A child whose owner dropped it while it still ran: reap it when it exits so
// it does not linger as a zombie.
void reapOnly(GPid pid, gint, gpointer) { g_spawn_close_pid(pid); }

class LinuxChild final : public ChildProcess {
public:
    LinuxChild(GPid pid, int in, int out, ProcessCallbacks callbacks)
        : pid_(pid), in_(in), out_(out), callbacks_(std::move(callbacks)) {
        setNonBlocking(in_);
        setNonBlocking(out_);
        outWatch_ = g_unix_fd_add(out_, static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR), onReadable, this);
        childWatch_ = g_child_watch_add(pid_, onChildExit, this);
    }

    ~LinuxChild() override {
        removeSource(outWatch_);
        removeSource(inWatch_);
        closeFd(in_);
        closeFd(out_);
        if (!exited_) {
            removeSource(childWatch_);
            g_child_watch_add(pid_, reapOnly, nullptr);
        } else {
            removeSource(childWatch_);
        }
    }

    std::size_t write(std::string_view bytes) override {
        if (in_ < 0 || bytes.empty()) return 0;
        ssize_t n;
        do n = ::write(in_, bytes.data(), bytes.size());
        while (n < 0 && errno == EINTR);
        if (n < 0) {
            if (errno != EAGAIN && errno != EWOULDBLOCK) {
                closeInput();  // EPIPE: the child closed its end for good
                return 0;
            }
            n = 0;
        }
        if (static_cast<std::size_t>(n) < bytes.size() && inWatch_ == 0)
            inWatch_ = g_unix_fd_add(in_, static_cast<GIOCondition>(G_IO_OUT | G_IO_ERR | G_IO_HUP), onWritable, this);
        return static_cast<std::size_t>(n);
    }

    void closeInput() override {
        removeSource(inWatch_);
        closeFd(in_);
    }

    void terminate() override {
        if (!exited_) ::kill(pid_, SIGTERM);
    }

    void kill() override {
        if (!exited_) ::kill(pid_, SIGKILL);
    }

    void drainOutput() override {
        // Only what is there now: a child that ignored every signal and
        // keeps its pipe open must not hang the caller.
        while (out_ >= 0 && readOnce()) {
        }
    }

    bool exited() const override { return exited_; }

private:
    static void removeSource(guint& id) {
        if (id != 0) g_source_remove(id);
        id = 0;
    }
    static void closeFd(int& fd) {
        if (fd >= 0) close(fd);
        fd = -1;
    }

    // Reads one chunk and delivers it. False at end of file, on an error, or
    // when nothing is available.
    bool readOnce() {
        char buf[readChunk];
        ssize_t n;
        do n = read(out_, buf, sizeof buf);
        while (n < 0 && errno == EINTR);
        if (n > 0) {
            if (callbacks_.onOutput) callbacks_.onOutput(std::string_view(buf, static_cast<std::size_t>(n)));
            return true;
        }
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
            removeSource(outWatch_);
            closeFd(out_);
        }
        return false;
    }

    static gboolean onReadable(gint, GIOCondition, gpointer data) {
        auto* self = static_cast<LinuxChild*>(data);
        self->readOnce();
        if (self->out_ >= 0) return G_SOURCE_CONTINUE;
        self->outWatch_ = 0;  // already removed by readOnce; GLib drops it on return
        return G_SOURCE_REMOVE;
    }

    static gboolean onWritable(gint, GIOCondition, gpointer data) {
        auto* self = static_cast<LinuxChild*>(data);
        self->inWatch_ = 0;
        if (self->callbacks_.onWritable) self->callbacks_.onWritable();
        return G_SOURCE_REMOVE;
    }

    static void onChildExit(GPid pid, gint status, gpointer data) {
        auto* self = static_cast<LinuxChild*>(data);
        self->childWatch_ = 0;
        self->exited_ = true;
        g_spawn_close_pid(pid);
        self->drainOutput();
        if (self->callbacks_.onExit) self->callbacks_.onExit(status);
    }

    GPid pid_;
    int in_;
    int out_;
    ProcessCallbacks callbacks_;
    guint outWatch_ = 0;
    guint inWatch_ = 0;
    guint childWatch_ = 0;
    bool exited_ = false;
};

}  // namespace

LinuxProcessLauncher::LinuxProcessLauncher() { std::signal(SIGPIPE, SIG_IGN); }

LaunchResult LinuxProcessLauncher::launch(const ProcessSpec& spec, ProcessCallbacks callbacks) {
    std::vector<std::string> argvStrings{spec.executable.string()};
    argvStrings.insert(argvStrings.end(), spec.arguments.begin(), spec.arguments.end());
    std::vector<char*> argv;
    for (auto& a : argvStrings) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> envStrings;
    for (const auto& [k, v] : spec.environment) envStrings.push_back(k + "=" + v);
    std::vector<char*> envp;
    for (auto& e : envStrings) envp.push_back(e.data());
    envp.push_back(nullptr);

    GPid pid = 0;
    int in = -1, out = -1;
    GError* error = nullptr;
    const auto flags = static_cast<GSpawnFlags>(G_SPAWN_DO_NOT_REAP_CHILD | G_SPAWN_CLOEXEC_PIPES);
    if (!g_spawn_async_with_pipes(nullptr, argv.data(), envp.data(), flags, nullptr, nullptr, &pid, &in, &out,
                                  nullptr, &error)) {
        std::string message = error ? error->message : "unknown error";
        g_clear_error(&error);
        return message;
    }
    return std::make_unique<LinuxChild>(pid, in, out, std::move(callbacks));
}

}  // namespace velmar::linux_backend
