#include "platform/sim/SimLoginService.hpp"

namespace velmar::sim {

std::optional<PlatformError> SimLoginService::registerItem() {
    ++registerCalls_;
    if (failure_) return failure_;
    status_ = needsApproval_ ? Status::requiresApproval : Status::enabled;
    return std::nullopt;
}

std::optional<PlatformError> SimLoginService::unregisterItem() {
    ++unregisterCalls_;
    if (failure_) return failure_;
    status_ = Status::notRegistered;
    return std::nullopt;
}

}  // namespace velmar::sim
