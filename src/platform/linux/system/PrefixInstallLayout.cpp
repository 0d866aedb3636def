#include "platform/linux/system/PrefixInstallLayout.hpp"

#include "platform/linux/system/Files.hpp"
#include "runtime/BuildInfo.hpp"

#include <unistd.h>

namespace velmar::linux_backend {
namespace {

bool isDirectory(const std::filesystem::path& p) {
    std::error_code ec;
    return std::filesystem::is_directory(p, ec);
}

// Resource and helper names are single path components.
bool isPlainName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
           name.find('\0') == std::string_view::npos;
}

std::filesystem::path choosePrefix(const std::filesystem::path& executable) {
    const std::filesystem::path folder = executable.parent_path();
    const bool inBin = folder.filename() == "bin";
    // An installed agent first; then the folder it sits in (a build tree).
    if (inBin && isDirectory(folder.parent_path() / "share" / "velmar")) return folder.parent_path();
    if (isDirectory(folder / "share" / "velmar")) return folder;
    return inBin ? folder.parent_path() : folder;
}

}  // namespace

PrefixInstallLayout::PrefixInstallLayout(std::filesystem::path executable)
    : executable_(std::move(executable)), prefix_(choosePrefix(executable_)) {}

PrefixInstallLayout PrefixInstallLayout::forThisProcess() {
    std::error_code ec;
    std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) self = std::filesystem::current_path(ec) / "velmar-desktop-agent";
    // A binary replaced by an upgrade while running still names its old path.
    constexpr std::string_view deleted = " (deleted)";
    if (std::string text = self.string(); text.ends_with(deleted)) self = text.substr(0, text.size() - deleted.size());
    return PrefixInstallLayout(self);
}

std::optional<std::filesystem::path> PrefixInstallLayout::resourceFile(std::string_view name,
                                                                       std::string_view extension) const {
    std::string file(name);
    if (!extension.empty()) file.append(".").append(extension);
    if (!isPlainName(file)) return std::nullopt;
    return resourcesFolder() / file;
}

std::optional<std::filesystem::path> PrefixInstallLayout::resource(std::string_view name,
                                                                   std::string_view extension) const {
    auto file = resourceFile(name, extension);
    std::error_code ec;
    if (!file || !std::filesystem::is_regular_file(*file, ec)) return std::nullopt;
    return file;
}

std::optional<std::string> PrefixInstallLayout::readResource(std::string_view name, std::string_view extension) const {
    auto file = resourceFile(name, extension);
    if (!file) return std::nullopt;
    FileRead read = readWholeFile(*file);
    if (read.outcome != FileRead::Outcome::read) return std::nullopt;
    return std::move(read.contents);
}

std::optional<std::filesystem::path> PrefixInstallLayout::resourceDirectory(std::string_view name) const {
    if (!isPlainName(name)) return std::nullopt;
    std::filesystem::path folder = resourcesFolder() / name;
    if (!isDirectory(folder)) return std::nullopt;
    return folder;
}

std::optional<std::filesystem::path> PrefixInstallLayout::auxiliaryExecutable(std::string_view name) const {
    if (!isPlainName(name)) return std::nullopt;
    std::filesystem::path file = auxiliaryFolder() / name;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec) || ::access(file.c_str(), X_OK) != 0) return std::nullopt;
    return file;
}

std::optional<std::string> PrefixInstallLayout::shortVersion() const {
    if (build::version.empty()) return std::nullopt;
    return std::string(build::version);
}

}  // namespace velmar::linux_backend
