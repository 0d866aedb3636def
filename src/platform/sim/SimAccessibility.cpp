#include "platform/sim/SimAccessibility.hpp"

namespace velmar::sim {

AXElementRef SimAccessibility::applicationElement(int pid) const {
    auto it = apps_.find(pid);
    if (it == apps_.end()) return nullptr;
    return it->second;
}

}  // namespace velmar::sim
