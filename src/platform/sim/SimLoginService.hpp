#pragma once
// A scripted login service: a status, and failures on demand.

#include "platform/LoginService.hpp"

#include <cstddef>

namespace velmar::sim {

class SimLoginService final : public LoginService {
public:
    Status status() const override { return status_; }
    std::optional<PlatformError> registerItem() override;
    std::optional<PlatformError> unregisterItem() override;

    void setStatus(Status status) { status_ = status; }
    // The next register or unregister calls fail with this error, leaving the
    // status as it is, until cleared with nullopt.
    void failWith(std::optional<PlatformError> error) { failure_ = std::move(error); }
    // After a successful registration, the status becomes requiresApproval
    // instead of enabled (as when the user must approve it first).
    void setRegistrationNeedsApproval(bool needs) { needsApproval_ = needs; }

    std::size_t registerCalls() const { return registerCalls_; }
    std::size_t unregisterCalls() const { return unregisterCalls_; }

private:
    Status status_ = Status::notRegistered;
    std::optional<PlatformError> failure_;
    bool needsApproval_ = false;
    std::size_t registerCalls_ = 0;
    std::size_t unregisterCalls_ = 0;
};

}  // namespace velmar::sim
