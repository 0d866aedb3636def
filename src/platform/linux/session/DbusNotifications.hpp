#pragma once
// Notifications through the desktop's notification service
// (org.freedesktop.Notifications on the session bus), which GNOME, KDE and
// the lighter desktops all run. The call is made without waiting for its
// answer; a desktop without the service logs one line instead.

#include "platform/LogSink.hpp"
#include "platform/Notifications.hpp"

#include <string>

namespace velmar::linux_backend {

class DbusNotifications final : public Notifications {
public:
    // `appName` is what the desktop shows as the sender.
    DbusNotifications(std::string appName, LogSink& log) : appName_(std::move(appName)), log_(log) {}
    void show(const Notification& notification) override;

private:
    const std::string appName_;
    LogSink& log_;
};

}  // namespace velmar::linux_backend
