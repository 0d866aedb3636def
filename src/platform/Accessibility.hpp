#pragma once
// Process-level accessibility services of the platform: trust, application
// elements, and observers that deliver another application's notifications.

#include "platform/AccessibilityElement.hpp"

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

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

// A batch of reads in flight. Destroying it drops what is still unanswered:
// its callback then never runs.
class PendingAttributes {
public:
    virtual ~PendingAttributes() = default;
    // Whether every answer is in.
    virtual bool answered() const = 0;
    // Waits for the answers up to `limit`, where the backend can wait on the
    // requests alone; whether they are in. A responsive application answers
    // within it, and the reading goes on without a turn of the loop.
    virtual bool waitFor(std::chrono::milliseconds limit) {
        (void)limit;
        return answered();
    }
    // Once answered: the answers, as copyAttributesOfEach would give them.
    virtual std::vector<std::vector<std::optional<AXAttributeValue>>> take() = 0;
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

    // The same attributes of many elements: one answer list per element, in
    // order, as each element's copyAttributes would give it, or empty where
    // the application did not answer in time (nothing is known of the
    // element then: an unanswered children list is not an empty one). A backend that
    // can have every element's requests in flight at once overrides it, so
    // the lot costs about one round trip's wait instead of one per element.
    virtual std::vector<std::vector<std::optional<AXAttributeValue>>> copyAttributesOfEach(
        std::span<const AXElementRef> elements, std::span<const std::string_view> names) const {
        std::vector<std::vector<std::optional<AXAttributeValue>>> out;
        out.reserve(elements.size());
        for (const auto& element : elements) {
            if (element) out.push_back(element->copyAttributes(names));
            else out.emplace_back(names.size());
        }
        return out;
    }
    // The same reads without waiting for the answers, so the loop goes on
    // while an application is slow to answer. `onAnswered` runs on a later
    // turn of the main loop once every answer is in (a request that fails
    // counts as answered, without a value; one that times out leaves its
    // element's answer list empty). Null when the backend
    // can only read by waiting: the caller then uses copyAttributesOfEach.
    virtual std::unique_ptr<PendingAttributes> requestAttributesOfEach(
        std::span<const AXElementRef> elements, std::span<const std::string_view> names,
        std::function<void()> onAnswered) const {
        (void)elements, (void)names, (void)onAnswered;
        return nullptr;
    }
    // The end of an element's children list without the list: its length,
    // and its members from index `from` to the end where they are at most
    // `most` (none otherwise), read as requestAttributesOfEach reads (`take`
    // gives one answer list: the length as a number, then the members as a
    // list; empty when unanswered). A browser answers a list of thousands
    // whole in a time that grows faster than its length, while its length
    // and a member by index cost little each. Null where the backend cannot
    // read a list by index, or where the list it reads is not the platform's
    // own (runs of text between children): the caller reads the list whole.
    virtual std::unique_ptr<PendingAttributes> requestChildrenFrom(const AXElementRef& element, std::size_t from,
                                                                   std::size_t most,
                                                                   std::function<void()> onAnswered) const {
        (void)element, (void)from, (void)most, (void)onAnswered;
        return nullptr;
    }
};

}  // namespace velmar
