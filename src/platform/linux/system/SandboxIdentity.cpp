#include "platform/linux/system/SandboxIdentity.hpp"

#include "text/Regex.hpp"

#include <fstream>
#include <sstream>

namespace velmar::linux_backend {

namespace {

std::optional<std::string> readSmallFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::string text(64 * 1024, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    return text;
}

}  // namespace

std::optional<std::string> SandboxIdentity::fromCgroup(std::string_view cgroup) {
    // The last path component names the scope; snapd names the app as
    // snap.<snap>.<app>, Flatpak as app-flatpak-<id>-<instance>.
    static const text::Regex snap(
        R"(/(?:app-)?snap\.([a-z0-9][a-z0-9-]*)\.([A-Za-z0-9][A-Za-z0-9-]*?)[-.])"
        R"([0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}\.scope$)",
        text::Regex::Multiline);
    static const text::Regex flatpak(R"(/app-flatpak-([A-Za-z_][A-Za-z0-9_]*(?:\.[A-Za-z0-9_-]+)+?)-\d+\.scope$)",
                                     text::Regex::Multiline);
    if (auto m = flatpak.firstMatch(cgroup)) return m->group(1);
    if (auto m = snap.firstMatch(cgroup); m && m->group(1) && m->group(2)) return *m->group(1) + "_" + *m->group(2);
    return std::nullopt;
}

std::optional<std::string> SandboxIdentity::fromFlatpakInfo(std::string_view info) {
    std::istringstream lines{std::string(info)};
    std::string line;
    bool inApplication = false;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.starts_with('[')) {
            inApplication = line == "[Application]";
            continue;
        }
        if (inApplication && line.starts_with("name=") && line.size() > 5) return line.substr(5);
    }
    return std::nullopt;
}

std::optional<std::string> SandboxIdentity::ofProcess(const std::string& procRoot, int pid) {
    const std::string dir = procRoot + "/" + std::to_string(pid);
    if (auto cgroup = readSmallFile(dir + "/cgroup")) {
        if (auto id = fromCgroup(*cgroup)) return id;
    }
    // A Flatpak started outside a systemd scope still carries its info file.
    if (auto info = readSmallFile(dir + "/root/.flatpak-info")) return fromFlatpakInfo(*info);
    return std::nullopt;
}

}  // namespace velmar::linux_backend
