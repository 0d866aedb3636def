#pragma once
// One application's accessibility notifications, from AT-SPI event listeners.
// The agent's notification names are mapped onto AT-SPI event types through
// one table; events from other processes are dropped by the source's bus
// name; each change is handed on with the element it names, so a reader can
// read again just that. libatspi may dispatch events while the agent itself waits on an
// AT-SPI call, so events are queued and handed on from an idle source of the
// default main context: never inside a registration or a tree read, never
// after the observer is gone.

#include "platform/Accessibility.hpp"

#include <map>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

typedef struct _AtspiEventListener AtspiEventListener;
typedef struct _AtspiEvent AtspiEvent;

namespace velmar::linux_backend {

class AtspiObserver final : public AccessibilityObserver {
public:
    // Distinct (element, name) pairs handed on per turn of the loop; past it
    // the application element stands for them all.
    static constexpr std::size_t maxPendingPerTurn = 256;

    // The AT-SPI event types that stand for one notification name; empty for
    // a name this backend cannot deliver.
    static std::span<const std::string_view> eventTypes(std::string_view notification);
    // Whether an event of type `eventType` (e.g. "object:children-changed:add")
    // is one of `registered` (e.g. "object:children-changed").
    static bool typeMatches(std::string_view registered, std::string_view eventType);
    // Which of the names registered for an event's source it is delivered
    // as. On AT-SPI a live region's change is a plain text or children
    // change, so "AXLiveRegionChanged" goes out only where no other name
    // covers the event: otherwise a children change would also read as a
    // text change, and every text leaf of a wide group would be read again.
    static std::vector<std::string_view> deliveredAs(std::string_view eventType,
                                                     std::span<const std::string_view> registered);

    // Null when the application has no element in the registry.
    static std::unique_ptr<AtspiObserver> create(AXElementRef application, AXNotificationHandler handler);
    ~AtspiObserver() override;
    AtspiObserver(const AtspiObserver&) = delete;
    AtspiObserver& operator=(const AtspiObserver&) = delete;

    bool registerNotification(const AXElementRef& element, std::string_view notification) override;
    bool unregisterNotification(const AXElementRef& element, std::string_view notification) override;

private:
    struct Registration {
        AXElementRef element;
        std::string notification;
        bool wholeApplication;
    };
    // What the idle source hands on; shared with it so that it outlives
    // neither the observer nor a pending delivery.
    struct Queue {
        AtspiObserver* owner = nullptr;  // null once the observer is gone
        unsigned source = 0;
        std::vector<std::pair<AXElementRef, std::string>> pending;
        bool overflowed = false;
    };

    AtspiObserver(AXElementRef application, std::string busName, AXNotificationHandler handler);
    static void onEvent(AtspiEvent* event, void* self);
    static int deliver(void* queue);
    void handle(const AtspiEvent& event);
    bool subscribe(std::string_view eventType);
    void unsubscribe(std::string_view eventType);

    const AXElementRef application_;
    const std::string busName_;
    AXNotificationHandler handler_;
    AtspiEventListener* listener_ = nullptr;
    std::vector<Registration> registrations_;
    std::map<std::string, int, std::less<>> subscribed_;  // AT-SPI type -> registrations needing it
    std::shared_ptr<Queue> queue_;
};

}  // namespace velmar::linux_backend
