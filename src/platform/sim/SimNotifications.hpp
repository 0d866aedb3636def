#pragma once
// Keeps what was shown, in order, for tests to read.

#include "platform/Notifications.hpp"

#include <vector>

namespace velmar::sim {

class SimNotifications final : public Notifications {
public:
    void show(const Notification& notification) override { shown.push_back(notification); }
    std::vector<Notification> shown;
};

}  // namespace velmar::sim
