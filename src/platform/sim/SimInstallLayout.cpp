#include "platform/sim/SimInstallLayout.hpp"

namespace velmar::sim {

SimInstallLayout::SimInstallLayout()
    : location_("/opt/velmar"), version_("1.0.0"), identifier_("velmar-desktop-agent") {}

std::string SimInstallLayout::fileName(std::string_view name, std::string_view extension) {
    std::string file(name);
    if (!extension.empty()) file.append(".").append(extension);
    return file;
}

std::optional<std::filesystem::path> SimInstallLayout::resource(std::string_view name, std::string_view extension) const {
    const std::string file = fileName(name, extension);
    if (!resources_.contains(file)) return std::nullopt;
    return resourcesFolder() / file;
}

std::optional<std::string> SimInstallLayout::readResource(std::string_view name, std::string_view extension) const {
    auto it = resources_.find(fileName(name, extension));
    if (it == resources_.end()) return std::nullopt;
    return it->second;
}

std::optional<std::filesystem::path> SimInstallLayout::resourceDirectory(std::string_view name) const {
    if (!directories_.contains(name)) return std::nullopt;
    return resourcesFolder() / name;
}

std::optional<std::filesystem::path> SimInstallLayout::auxiliaryExecutable(std::string_view name) const {
    if (!executables_.contains(name)) return std::nullopt;
    return location_ / "libexec" / "velmar" / name;
}

void SimInstallLayout::setResource(std::string_view name, std::string_view extension, std::optional<std::string> contents) {
    resources_.insert_or_assign(fileName(name, extension), std::move(contents));
}

void SimInstallLayout::removeResource(std::string_view name, std::string_view extension) {
    if (auto it = resources_.find(fileName(name, extension)); it != resources_.end()) resources_.erase(it);
}

}  // namespace velmar::sim
