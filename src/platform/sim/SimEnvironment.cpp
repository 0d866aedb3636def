#include "platform/sim/SimEnvironment.hpp"

namespace velmar::sim {

std::optional<std::string> SimEnvironment::get(std::string_view name) const {
    auto it = values_.find(name);
    if (it == values_.end()) return std::nullopt;
    return it->second;
}

void SimEnvironment::unset(std::string_view name) {
    if (auto it = values_.find(name); it != values_.end()) values_.erase(it);
}

}  // namespace velmar::sim
