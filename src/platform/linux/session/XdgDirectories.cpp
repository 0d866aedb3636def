#include "platform/linux/session/XdgDirectories.hpp"

#include "platform/ProcessEnvironment.hpp"

#include <string>

#include <pwd.h>
#include <unistd.h>

namespace velmar::linux_backend::XdgDirectories {
namespace {

std::optional<std::filesystem::path> absoluteVariable(const ProcessEnvironment& environment, std::string_view name) {
    auto value = environment.get(name);
    if (!value || value->empty() || value->front() != '/') return std::nullopt;
    return std::filesystem::path(*value);
}

}  // namespace

std::filesystem::path home(const ProcessEnvironment& environment) {
    if (auto value = absoluteVariable(environment, "HOME")) return *value;
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::string buffer(size > 0 ? static_cast<std::size_t>(size) : 16384u, '\0');
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir) {
        return found->pw_dir;
    }
    return "/";
}

std::filesystem::path configHome(const ProcessEnvironment& environment) {
    if (auto value = absoluteVariable(environment, "XDG_CONFIG_HOME")) return *value;
    return home(environment) / ".config";
}

std::vector<std::filesystem::path> dataDirectories(const ProcessEnvironment& environment) {
    std::vector<std::filesystem::path> dirs;
    dirs.push_back(absoluteVariable(environment, "XDG_DATA_HOME").value_or(home(environment) / ".local" / "share"));
    std::string list = environment.get("XDG_DATA_DIRS").value_or("");
    if (list.empty()) list = "/usr/local/share:/usr/share";
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t end = list.find(':', start);
        if (end == std::string::npos) end = list.size();
        std::string entry = list.substr(start, end - start);
        if (!entry.empty() && entry.front() == '/') dirs.emplace_back(entry);
        start = end + 1;
    }
    return dirs;
}

}  // namespace velmar::linux_backend::XdgDirectories
