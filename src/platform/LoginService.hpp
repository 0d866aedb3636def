#pragma once
// Starting the agent when the user logs in.

#include <optional>
#include <string>

namespace velmar {

// The platform's own words for a failure, shown to the user unchanged.
struct PlatformError {
    std::string description;
    bool operator==(const PlatformError&) const = default;
};

class LoginService {
public:
    enum class Status {
        notRegistered,
        enabled,
        requiresApproval,  // registered, waiting for the user to approve it
        notFound,          // the service cannot find the application
    };

    virtual ~LoginService() = default;
    virtual Status status() const = 0;
    // Absent on success.
    virtual std::optional<PlatformError> registerItem() = 0;
    virtual std::optional<PlatformError> unregisterItem() = 0;
};

}  // namespace velmar
