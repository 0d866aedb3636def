#pragma once
// Process-level accessibility services of the platform: trust, application
// elements, and observers that deliver another application's notifications.

#include "platform/AccessibilityElement.hpp"

#include <functional>
#include <memory>
#include <string_view>

namespace velmar {

// The notification names the agent subscribes to ("AXValueChanged",
// "AXLayoutChanged", "AXFocusedWindowChanged", ...). A backend maps them onto
// its own events; a name it cannot deliver is refused at registration. The
// element is the one the change is about; the application element (or null)
// means the change may be anywhere in it.
using AXNotificationHandler = std::function<void(const AXElementRef& element, std::string_view notification)>;

// Receives one application's notifications. Registrations are per element and
// name; a registration on the application element covers every element of the
// application. The handler runs on the main loop, never inside a registration
// call, and never after the observer is destroyed: destroying it is how the
// delivery is taken off the main loop.
class AccessibilityObserver {
public:
    virtual ~AccessibilityObserver() = default;
    // False when the application refused (the registration is then absent).
    virtual bool registerNotification(const AXElementRef& element, std::string_view notification) = 0;
    virtual bool unregisterNotification(const AXElementRef& element, std::string_view notification) = 0;
};

class Accessibility {
public:
    virtual ~Accessibility() = default;

    // Whether this process may read other applications' trees.
    virtual bool isProcessTrusted() const = 0;
    // The root element of a running application; null when it cannot be had.
    virtual AXElementRef applicationElement(int pid) const = 0;
    // An observer for one process; null when it cannot be created (no
    // permission, process gone).
    virtual std::unique_ptr<AccessibilityObserver> createObserver(int pid, AXNotificationHandler handler) = 0;
};

}  // namespace velmar
