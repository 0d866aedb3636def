#include "platform/linux/session/XdgAutostartLoginService.hpp"

#include "platform/linux/session/DesktopEntries.hpp"
#include "platform/linux/session/XdgDirectories.hpp"
#include "platform/linux/system/Files.hpp"

#include <cerrno>
#include <system_error>

#include <unistd.h>

namespace velmar::linux_backend {
namespace {

// One argument of an Exec key: quoted, with the characters the desktop entry
// format reserves inside quotes escaped, then escaped again as a string value
// (backslashes doubled) and with "%" doubled for field codes.
std::string execArgument(const std::string& argument) {
    std::string quoted = "\"";
    for (char c : argument) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
        quoted += c;
    }
    quoted += '"';
    std::string value;
    for (char c : quoted) {
        if (c == '\\') value += "\\\\";
        else if (c == '%') value += "%%";
        else value += c;
    }
    return value;
}

}  // namespace

XdgAutostartLoginService::XdgAutostartLoginService(std::filesystem::path entryFile, std::filesystem::path executable)
    : entryFile_(std::move(entryFile)), executable_(std::move(executable)) {}

std::filesystem::path XdgAutostartLoginService::defaultEntryPath(const ProcessEnvironment& environment) {
    return XdgDirectories::configHome(environment) / "autostart" / "velmar-desktop-agent.desktop";
}

std::optional<std::string> XdgAutostartLoginService::entryText(const std::filesystem::path& executable) {
    const std::string path = executable.string();
    if (path.find_first_of("\n\r") != std::string::npos) return std::nullopt;
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Velmar\n"
           "Comment=Records your AI chat usage for your organisation\n"
           "Exec=" + execArgument(path) + " --background\n"
           "Terminal=false\n"
           "NoDisplay=true\n"
           "X-GNOME-Autostart-enabled=true\n";
}

LoginService::Status XdgAutostartLoginService::status() const {
    FileRead read = readWholeFile(entryFile_);
    if (read.outcome != FileRead::Outcome::read) return Status::notRegistered;
    for (const auto& [key, value] : DesktopEntries::mainGroup(read.contents)) {
        if (key == "Hidden" && value == "true") return Status::notRegistered;
        if (key == "X-GNOME-Autostart-enabled" && value == "false") return Status::notRegistered;
    }
    return Status::enabled;
}

std::optional<PlatformError> XdgAutostartLoginService::registerItem() {
    auto text = entryText(executable_);
    if (!text) return PlatformError{"The agent's path cannot be written in an autostart entry: " + executable_.string()};
    if (auto problem = writeFileAtomically(entryFile_, *text, 0644)) {
        return PlatformError{"Could not write the autostart entry " + entryFile_.string() + ": " + *problem};
    }
    return std::nullopt;
}

std::optional<PlatformError> XdgAutostartLoginService::unregisterItem() {
    if (::unlink(entryFile_.c_str()) != 0 && errno != ENOENT) {
        return PlatformError{"Could not remove the autostart entry " + entryFile_.string() + ": " +
                             std::error_code(errno, std::generic_category()).message()};
    }
    return std::nullopt;
}

}  // namespace velmar::linux_backend
