#include "platform/linux/system/LinuxWorkspace.hpp"

#include "platform/ProcessEnvironment.hpp"
#include "platform/linux/atspi/AtspiWindowActivation.hpp"
#include "platform/linux/session/SessionServices.hpp"
#include "platform/linux/session/XdgDirectories.hpp"
#include "platform/linux/system/Files.hpp"
#include "platform/linux/system/ProgramOutput.hpp"
#include "platform/linux/system/SandboxIdentity.hpp"
#include "platform/linux/system/X11Display.hpp"

#include <cerrno>
#include <cstring>
#include <algorithm>
#include <cctype>
#include <fstream>
#include <limits>
#include <sstream>

#include <sys/stat.h>
#include <unistd.h>

namespace velmar::linux_backend {
namespace {

using namespace std::chrono_literals;

// The same file under the other spelling of a merged /usr (/bin and /usr/bin).
std::vector<std::filesystem::path> packagePathCandidates(const std::filesystem::path& location) {
    std::vector<std::filesystem::path> out{location};
    std::error_code ec;
    auto canonical = std::filesystem::canonical(location, ec);
    if (!ec && canonical != location) out.push_back(canonical);
    const std::size_t n = out.size();
    for (std::size_t i = 0; i < n; ++i) {
        const std::string text = out[i].string();
        for (std::string_view top : {"/bin/", "/sbin/", "/lib/", "/lib64/"}) {
            if (text.starts_with(std::string("/usr") + std::string(top))) out.emplace_back(text.substr(4));
            else if (text.starts_with(top)) out.emplace_back("/usr" + text);
        }
    }
    return out;
}

std::optional<std::string> packageVersion(const std::filesystem::path& location) {
    for (const auto& candidate : packagePathCandidates(location)) {
        auto owner = ProgramOutput::of({"dpkg-query", "-S", candidate.string()});
        if (!owner) continue;
        // "package[:arch][, other]: /path"; diversion notes come first when present.
        std::istringstream lines(*owner);
        std::string line;
        while (std::getline(lines, line)) {
            if (line.starts_with("diversion ")) continue;
            const auto colon = line.find(": ");
            if (colon == std::string::npos) continue;
            std::string package = line.substr(0, std::min(colon, line.find(", ")));
            auto version = ProgramOutput::of({"dpkg-query", "-W", "-f", "${Version}", package});
            if (version && !version->empty()) return LinuxWorkspace::upstreamVersion(*version);
            break;
        }
    }
    return std::nullopt;
}

std::optional<pid_t> parentOf(const std::filesystem::path& procDir) {
    FileRead stat = readWholeFile(procDir / "stat", 4096);
    if (stat.outcome != FileRead::Outcome::read) return std::nullopt;
    // "pid (comm) state ppid ...": comm may hold spaces and parentheses.
    const auto close = stat.contents.rfind(')');
    if (close == std::string::npos) return std::nullopt;
    std::istringstream rest(stat.contents.substr(close + 1));
    std::string state;
    long ppid = 0;
    if (!(rest >> state >> ppid)) return std::nullopt;
    return static_cast<pid_t>(ppid);
}

std::string localeOf(const ProcessEnvironment& environment) {
    for (std::string_view name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        if (auto value = environment.get(name); value && !value->empty()) return *value;
    }
    return "C";
}

}  // namespace

namespace {
std::optional<unsigned long> loginSessionOf(const std::filesystem::path& processDir);
}  // namespace

// The desktop beyond /proc: the X server and the session's services.
class LinuxWorkspace::Desktop {
public:
    explicit Desktop(const ProcessEnvironment& environment)
        : x11(environment.get("DISPLAY")),
          services(sessionBusExpected(environment)),
          wayland(!environment.get("WAYLAND_DISPLAY").value_or("").empty()) {
        if (sessionBusExpected(environment)) activation = std::make_unique<AtspiWindowActivation>();
    }

    // The process whose window is active: in a Wayland session the
    // accessibility bus knows (the X server sees only its own clients), on
    // X11 the window manager's answer comes first.
    std::optional<int> activeProcess() {
        const auto fromBus = [this]() -> std::optional<int> {
            return activation ? activation->activeProcess() : std::nullopt;
        };
        if (wayland) {
            if (auto pid = fromBus()) return pid;
            return x11.activeWindowProcess();
        }
        if (auto pid = x11.activeWindowProcess()) return pid;
        return fromBus();
    }

    X11Display x11;
    SessionServices services;
    const bool wayland;
    std::unique_ptr<AtspiWindowActivation> activation;

private:
    static bool sessionBusExpected(const ProcessEnvironment& environment) {
        if (auto address = environment.get("DBUS_SESSION_BUS_ADDRESS"); address && !address->empty()) return true;
        if (auto runtime = environment.get("XDG_RUNTIME_DIR"); runtime && !runtime->empty()) {
            struct stat info {};
            return ::stat((*runtime + "/bus").c_str(), &info) == 0 && S_ISSOCK(info.st_mode);
        }
        return false;
    }
};

LinuxWorkspace::LinuxWorkspace(const ProcessEnvironment& environment, std::filesystem::path procRoot)
    : environment_(environment), procRoot_(std::move(procRoot)), ownSession_(loginSessionOf(procRoot_ / "self")) {}

LinuxWorkspace::~LinuxWorkspace() = default;

LinuxWorkspace::Desktop& LinuxWorkspace::desktop() const {
    if (!desktop_) desktop_ = std::make_unique<Desktop>(environment_);
    return *desktop_;
}

const DesktopEntries& LinuxWorkspace::entries() const {
    std::lock_guard lock(mutex_);
    if (!entries_) {
        entries_ = DesktopEntries::scan(XdgDirectories::dataDirectories(environment_),
                                        environment_.get("PATH").value_or("/usr/local/bin:/usr/bin:/bin"));
    }
    return *entries_;
}

std::vector<RunningApplication> LinuxWorkspace::runningApplications() const {
    struct Process {
        pid_t pid;
        pid_t parent;
        std::filesystem::path executable;
    };
    std::vector<Process> processes;
    std::map<pid_t, std::filesystem::path> executableOf;
    const uid_t me = ::getuid();
    std::error_code ec;
    for (std::filesystem::directory_iterator it(procRoot_, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) continue;
        struct stat info {};
        if (::stat(it->path().c_str(), &info) != 0 || info.st_uid != me || !inOurSession(it->path())) continue;
        std::error_code linkError;
        std::filesystem::path exe = std::filesystem::read_symlink(it->path() / "exe", linkError);
        if (linkError || exe.empty()) continue;  // kernel threads, processes gone meanwhile
        if (std::string text = exe.string(); text.ends_with(" (deleted)")) exe = text.substr(0, text.size() - 10);
        const auto pid = static_cast<pid_t>(std::stol(name));
        processes.push_back({pid, parentOf(it->path()).value_or(0), exe});
        executableOf[pid] = exe;
    }

    std::vector<RunningApplication> apps;
    for (const Process& p : processes) {
        // A program's helper processes (a browser's renderers) belong to the
        // process that started them.
        if (auto parent = executableOf.find(p.parent); parent != executableOf.end() && parent->second == p.executable) continue;
        apps.push_back(describe(p.pid, p.executable));
    }
    std::sort(apps.begin(), apps.end(), [](const auto& a, const auto& b) { return a.pid < b.pid; });
    return apps;
}

RunningApplication LinuxWorkspace::describe(int pid, const std::filesystem::path& executable) const {
    RunningApplication app;
    app.pid = pid;
    app.bundleLocation = executable;
    // A snap or Flatpak is named by its sandbox: the program inside says
    // little (the snap Chromium runs ".../chromium-browser/chrome").
    if (auto sandboxed = SandboxIdentity::ofProcess(procRoot_.string(), pid)) {
        const DesktopEntry* entry = entries().byId(*sandboxed);
        app.appId = *sandboxed;
        app.localizedName = entry ? entry->nameFor(localeOf(environment_)) : *sandboxed;
    } else if (const DesktopEntry* entry = entries().byExecutable(executable)) {
        app.appId = entry->id;
        app.localizedName = entry->nameFor(localeOf(environment_));
    } else {
        app.appId = executable.filename().string();
        app.localizedName = app.appId;
    }
    return app;
}

namespace {

// The kernel's login session of a process; absent where the kernel keeps
// none (no audit support) or the process has none.
std::optional<unsigned long> loginSessionOf(const std::filesystem::path& processDir) {
    std::ifstream in(processDir / "sessionid");
    unsigned long id = 0;
    if (!(in >> id) || id == 4294967295UL) return std::nullopt;
    return id;
}

}  // namespace

bool LinuxWorkspace::inOurSession(const std::filesystem::path& processDir) const {
    // Another session of the same user (a second seat, a remote login) has
    // its own desktop and accessibility bus: its programs are not ours to
    // watch. Unknown on either side: the process counts as ours.
    if (!ownSession_) return true;
    const auto theirs = loginSessionOf(processDir);
    return !theirs || *theirs == *ownSession_;
}

std::optional<ProcessWatch::Process> LinuxWorkspace::inspect(int pid) const {
    const std::filesystem::path dir = procRoot_ / std::to_string(pid);
    struct stat info {};
    if (::stat(dir.c_str(), &info) != 0 || info.st_uid != ::getuid()) return std::nullopt;
    if (!inOurSession(dir)) return std::nullopt;
    std::error_code linkError;
    std::filesystem::path exe = std::filesystem::read_symlink(dir / "exe", linkError);
    if (linkError || exe.empty()) return std::nullopt;  // kernel threads, processes gone meanwhile
    if (std::string text = exe.string(); text.ends_with(" (deleted)")) exe = text.substr(0, text.size() - 10);
    return ProcessWatch::Process{pid, parentOf(dir).value_or(0), exe};
}

std::vector<int> LinuxWorkspace::listProcesses() const {
    std::vector<int> pids;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(procRoot_, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.empty() || name.size() > 9 || name.find_first_not_of("0123456789") != std::string::npos) continue;
        pids.push_back(std::stoi(name));
    }
    return pids;
}

std::optional<RunningApplication> LinuxWorkspace::applicationOfProcess(int pid) const {
    auto process = inspect(pid);
    if (!process) return std::nullopt;
    // Climb while the parent runs the same program; the depth cap guards
    // against a cycle in a made-up or racing table.
    for (int depth = 0; depth < 64 && process->parent > 1; ++depth) {
        auto parent = inspect(process->parent);
        if (!parent || parent->executable != process->executable) break;
        process = parent;
    }
    return describe(process->pid, process->executable);
}

std::optional<RunningApplication> LinuxWorkspace::frontmostApplication() const {
    auto pid = desktop().activeProcess();
    if (!pid) return std::nullopt;
    return applicationOfProcess(*pid);
}

double LinuxWorkspace::secondsSinceLastInput() const {
    Desktop& d = desktop();
    if (auto idle = d.services.gnomeIdleSeconds()) return *idle;
    if (auto idle = d.x11.idleSeconds()) return *idle;
    if (auto idle = d.services.screenSaverIdleSeconds()) return *idle;
    return std::numeric_limits<double>::max();
}

WorkspaceSubscription LinuxWorkspace::subscribe(WorkspaceObserver observer) {
    auto subscription = std::make_shared<const WorkspaceObserver>(std::move(observer));
    observers_.push_back(subscription);
    if (loop_ && !lookTimer_.active()) {
        // The baseline now, so a program started right after subscribing is
        // reported at the next look.
        if (!watch_.hasBaseline()) look();
        desktop().services.onChange = [this, last = desktop().services.state()](SessionServices::State state) mutable {
            using K = WorkspaceNotification::Kind;
            if (state.locked != last.locked) deliver({state.locked ? K::screenLocked : K::screenUnlocked, std::nullopt});
            if (state.sessionActive != last.sessionActive)
                deliver({state.sessionActive ? K::sessionBecameActive : K::sessionResigned, std::nullopt});
            last = state;
        };
        lookTimer_ = loop_->repeating(lookInterval, Duration{1'000}, [this] { look(); });
    }
    return subscription;
}

void LinuxWorkspace::deliver(const WorkspaceNotification& note) {
    std::vector<std::shared_ptr<const WorkspaceObserver>> live;
    for (const auto& weak : observers_)
        if (auto observer = weak.lock()) live.push_back(std::move(observer));
    for (const auto& observer : live) (*observer)(note);
}

void LinuxWorkspace::look() {
    std::erase_if(observers_, [](const auto& weak) { return weak.expired(); });
    if (observers_.empty() && watch_.hasBaseline()) {
        // Nobody listens any more: stop looking until someone subscribes.
        lookTimer_.cancel();
        watch_ = ProcessWatch{};
        return;
    }
    using K = WorkspaceNotification::Kind;
    const bool baseline = !watch_.hasBaseline();
    auto changes = watch_.update(listProcesses(), [this](int pid) { return inspect(pid); });
    // An ended program is described as it was when it started (same
    // executable, same names), so subscribers match it to what they attached.
    for (const auto& p : changes.terminated) {
        if (lastFrontmost_ == p.pid) lastFrontmost_.reset();
        deliver({K::terminated, describe(p.pid, p.executable)});
    }
    for (const auto& p : changes.launched) deliver({K::launched, describe(p.pid, p.executable)});
    if (baseline) {
        if (auto front = frontmostApplication()) lastFrontmost_ = front->pid;
        return;
    }
    if (auto front = frontmostApplication(); front && front->pid != lastFrontmost_) {
        lastFrontmost_ = front->pid;
        deliver({K::activated, *front});
    }
    desktop().services.refresh();
}

std::optional<std::filesystem::path> LinuxWorkspace::installedApplicationLocation(std::string_view appId) const {
    const DesktopEntries& index = entries();
    if (const DesktopEntry* entry = index.byId(appId)) {
        if (auto location = index.programLocation(*entry)) return location;
    }
    if (appId.find('/') != std::string_view::npos) return std::nullopt;
    return DesktopEntries::findInPath(appId, environment_.get("PATH").value_or("/usr/local/bin:/usr/bin:/bin"));
}

std::optional<std::string> LinuxWorkspace::applicationShortVersion(const std::filesystem::path& bundleLocation) const {
    std::error_code ec;
    const auto modified = std::filesystem::last_write_time(bundleLocation, ec);
    if (ec) return std::nullopt;
    const auto size = std::filesystem::file_size(bundleLocation, ec);
    if (ec) return std::nullopt;
    {
        std::lock_guard lock(mutex_);
        if (auto it = versions_.find(bundleLocation);
            it != versions_.end() && it->second.modified == modified && it->second.size == size) {
            return it->second.version;
        }
    }
    std::optional<std::string> version = readVersion(bundleLocation);
    std::lock_guard lock(mutex_);
    versions_.insert_or_assign(bundleLocation, Remembered{modified, size, version});
    return version;
}

std::optional<std::string> LinuxWorkspace::readVersion(const std::filesystem::path& location) const {
    if (auto version = packageVersion(location)) return version;
    if (auto output = ProgramOutput::of({location.string(), "--version"})) return versionInOutput(*output);
    return std::nullopt;
}

std::string LinuxWorkspace::upstreamVersion(std::string_view debianVersion) {
    std::string_view v = debianVersion;
    while (!v.empty() && (v.back() == '\n' || v.back() == ' ')) v.remove_suffix(1);
    if (auto colon = v.find(':'); colon != std::string_view::npos &&
                                  v.substr(0, colon).find_first_not_of("0123456789") == std::string_view::npos) {
        v.remove_prefix(colon + 1);
    }
    if (auto dash = v.rfind('-'); dash != std::string_view::npos) v = v.substr(0, dash);
    return std::string(v);
}

std::optional<std::string> LinuxWorkspace::versionInOutput(std::string_view output) {
    std::string_view line = output.substr(0, output.find('\n'));
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
        std::size_t end = line.find_first_of(" \t", i);
        if (end == std::string_view::npos) end = line.size();
        std::string_view word = line.substr(i, end - i);
        while (!word.empty() && std::strchr(",;:)", word.back())) word.remove_suffix(1);
        if (!word.empty() && word.front() == 'v' && word.size() > 1 && std::isdigit(static_cast<unsigned char>(word[1]))) word.remove_prefix(1);
        if (!word.empty() && std::isdigit(static_cast<unsigned char>(word.front())) && word.find('.') != std::string_view::npos) {
            return std::string(word);
        }
        i = end;
    }
    return std::nullopt;
}

}  // namespace velmar::linux_backend
