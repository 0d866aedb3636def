#include "platform/linux/system/LinuxEnvironment.hpp"

#include <cstdlib>

#include <unistd.h>

namespace velmar::linux_backend {

std::optional<std::string> LinuxEnvironment::get(std::string_view name) const {
    const std::string key(name);
    if (const char* value = std::getenv(key.c_str())) return std::string(value);
    return std::nullopt;
}

std::map<std::string, std::string> LinuxEnvironment::all() const {
    std::map<std::string, std::string> values;
    for (char** entry = environ; entry && *entry; ++entry) {
        std::string_view text(*entry);
        const auto eq = text.find('=');
        if (eq == std::string_view::npos || eq == 0) continue;
        // The first definition wins, as getenv() sees it.
        values.emplace(std::string(text.substr(0, eq)), std::string(text.substr(eq + 1)));
    }
    return values;
}

}  // namespace velmar::linux_backend
