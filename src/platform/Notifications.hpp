#pragma once
// Desktop notifications: a short message in the desktop's notification area,
// for what the user should know but need not answer now. Showing one never
// waits for the desktop.

#include <string>

namespace velmar {

struct Notification {
    std::string summary;
    std::string body;
};

class Notifications {
public:
    virtual ~Notifications() = default;
    virtual void show(const Notification& notification) = 0;
};

}  // namespace velmar
