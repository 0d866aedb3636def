#include "platform/linux/atspi/AtspiObserver.hpp"

#include "platform/linux/atspi/AtspiElement.hpp"

#include <atspi/atspi.h>

#include <algorithm>
#include <array>
#include <utility>

namespace velmar::linux_backend {
namespace {

struct Mapping {
    std::string_view notification;
    std::array<std::string_view, 2> types;  // empty entries unused
    std::size_t count;
};

// How Chromium raises the same change on macOS and through AT-SPI: a value or
// streamed text is a text change, a layout change is a subtree change, a new
// node is a child added, a title is the accessible name.
constexpr std::array kMappings{
    Mapping{"AXValueChanged", {"object:text-changed", "object:property-change:accessible-value"}, 2},
    Mapping{"AXLayoutChanged", {"object:children-changed", ""}, 1},
    Mapping{"AXLayoutComplete", {"object:children-changed", "document:load-complete"}, 2},
    Mapping{"AXLiveRegionChanged", {"object:text-changed", "object:children-changed"}, 2},
    Mapping{"AXCreated", {"object:children-changed:add", ""}, 1},
    Mapping{"AXFocusedUIElementChanged", {"object:state-changed:focused", ""}, 1},
    Mapping{"AXFocusedWindowChanged", {"window:activate", ""}, 1},
    Mapping{"AXMainWindowChanged", {"window:activate", ""}, 1},
    Mapping{"AXTitleChanged", {"object:property-change:accessible-name", ""}, 1},
    Mapping{"AXLoadComplete", {"document:load-complete", ""}, 1},
    Mapping{"AXWindowCreated", {"window:create", ""}, 1},
    Mapping{"AXUIElementDestroyed", {"object:state-changed:defunct", "window:destroy"}, 2},
};

const char* busNameOf(AtspiAccessible* accessible) {
    if (!accessible) return nullptr;
    auto* object = reinterpret_cast<AtspiObject*>(accessible);
    return object->app ? object->app->bus_name : nullptr;
}

AtspiAccessible* accessibleOf(const AXElementRef& element) {
    auto* atspi = dynamic_cast<const AtspiElement*>(element.get());
    return atspi ? atspi->accessible() : nullptr;
}

}  // namespace

std::span<const std::string_view> AtspiObserver::eventTypes(std::string_view notification) {
    for (const auto& m : kMappings) {
        if (m.notification == notification) return {m.types.data(), m.count};
    }
    return {};
}

bool AtspiObserver::typeMatches(std::string_view registered, std::string_view eventType) {
    if (!eventType.starts_with(registered)) return false;
    return eventType.size() == registered.size() || eventType[registered.size()] == ':';
}

std::vector<std::string_view> AtspiObserver::deliveredAs(std::string_view eventType,
                                                        std::span<const std::string_view> registered) {
    constexpr std::string_view liveRegion = "AXLiveRegionChanged";
    std::vector<std::string_view> names;
    bool live = false;
    for (auto name : registered) {
        auto types = eventTypes(name);
        if (std::none_of(types.begin(), types.end(), [&](auto t) { return typeMatches(t, eventType); })) continue;
        if (name == liveRegion) live = true;
        else if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
    }
    if (live && names.empty()) names.push_back(liveRegion);
    return names;
}

std::unique_ptr<AtspiObserver> AtspiObserver::create(AXElementRef application, AXNotificationHandler handler) {
    const char* bus = busNameOf(accessibleOf(application));
    if (!bus || !handler) return nullptr;
    return std::unique_ptr<AtspiObserver>(new AtspiObserver(std::move(application), bus, std::move(handler)));
}

AtspiObserver::AtspiObserver(AXElementRef application, std::string busName, AXNotificationHandler handler)
    : application_(std::move(application)),
      busName_(std::move(busName)),
      handler_(std::move(handler)),
      queue_(std::make_shared<Queue>()) {
    queue_->owner = this;
    listener_ = atspi_event_listener_new(&AtspiObserver::onEvent, this, nullptr);
}

AtspiObserver::~AtspiObserver() {
    for (const auto& [type, count] : subscribed_) {
        atspi_event_listener_deregister(listener_, type.c_str(), nullptr);
    }
    g_object_unref(listener_);
    queue_->owner = nullptr;
    if (queue_->source) g_source_remove(queue_->source);
    queue_->source = 0;
}

bool AtspiObserver::subscribe(std::string_view eventType) {
    auto it = subscribed_.find(eventType);
    if (it != subscribed_.end()) {
        ++it->second;
        return true;
    }
    GError* error = nullptr;
    const std::string type(eventType);
    if (!atspi_event_listener_register(listener_, type.c_str(), &error)) {
        if (error) g_error_free(error);
        return false;
    }
    subscribed_.emplace(type, 1);
    return true;
}

void AtspiObserver::unsubscribe(std::string_view eventType) {
    auto it = subscribed_.find(eventType);
    if (it == subscribed_.end() || --it->second > 0) return;
    atspi_event_listener_deregister(listener_, it->first.c_str(), nullptr);
    subscribed_.erase(it);
}

bool AtspiObserver::registerNotification(const AXElementRef& element, std::string_view notification) {
    auto types = eventTypes(notification);
    if (types.empty() || !accessibleOf(element)) return false;
    for (const auto& r : registrations_) {
        if (r.notification == notification && r.element->sameElement(*element)) return true;
    }
    std::size_t done = 0;
    for (; done < types.size(); ++done) {
        if (!subscribe(types[done])) break;
    }
    if (done < types.size()) {
        for (std::size_t i = 0; i < done; ++i) unsubscribe(types[i]);
        return false;
    }
    registrations_.push_back({element, std::string(notification), element->sameElement(*application_)});
    return true;
}

bool AtspiObserver::unregisterNotification(const AXElementRef& element, std::string_view notification) {
    auto it = std::find_if(registrations_.begin(), registrations_.end(), [&](const Registration& r) {
        return r.notification == notification && r.element->sameElement(*element);
    });
    if (it == registrations_.end()) return false;
    for (auto type : eventTypes(notification)) unsubscribe(type);
    registrations_.erase(it);
    return true;
}

void AtspiObserver::onEvent(AtspiEvent* event, void* self) {
    if (!event) return;
    if (self) static_cast<AtspiObserver*>(self)->handle(*event);
    // Each listener gets a copy of its own (with a reference to the source):
    // kept, every event of a streaming reply would stay in memory.
    g_boxed_free(ATSPI_TYPE_EVENT, event);
}

void AtspiObserver::handle(const AtspiEvent& event) {
    const char* bus = busNameOf(event.source);
    if (!bus || busName_ != bus || !event.type) return;
    const std::string_view type(event.type);
    AXElementRef source;
    std::vector<std::string_view> registered;
    for (const auto& r : registrations_) {
        auto types = eventTypes(r.notification);
        if (std::none_of(types.begin(), types.end(), [&](auto t) { return typeMatches(t, type); })) continue;
        if (!source) source = AtspiElement::wrap(event.source);
        if (r.wholeApplication || r.element->sameElement(*source)) registered.push_back(r.notification);
    }
    for (auto name : deliveredAs(type, registered)) {
        auto& pending = queue_->pending;
        // A stream raises hundreds of events a second, mostly on the same few
        // elements: one of each name per element and turn of the loop is enough.
        if (std::any_of(pending.begin(), pending.end(), [&](const auto& p) {
                return p.second == name && p.first->sameElement(*source);
            })) {
            continue;
        }
        if (pending.size() >= maxPendingPerTurn) {
            // Too much at once to say where: the application as the source
            // tells the handler that anything may have changed.
            queue_->overflowed = true;
            continue;
        }
        pending.emplace_back(source, std::string(name));
    }
    if ((!queue_->pending.empty() || queue_->overflowed) && !queue_->source) {
        queue_->source = g_idle_add_full(G_PRIORITY_DEFAULT, &AtspiObserver::deliver,
                                         new std::shared_ptr<Queue>(queue_),
                                         [](void* data) { delete static_cast<std::shared_ptr<Queue>*>(data); });
    }
}

int AtspiObserver::deliver(void* data) {
    std::shared_ptr<Queue> queue = *static_cast<std::shared_ptr<Queue>*>(data);
    queue->source = 0;
    auto batch = std::exchange(queue->pending, {});
    if (std::exchange(queue->overflowed, false) && queue->owner)
        batch.insert(batch.begin(), {queue->owner->application_, "AXLayoutChanged"});
    for (const auto& [element, name] : batch) {
        // The handler may destroy the observer: check before every call.
        if (!queue->owner) break;
        auto handler = queue->owner->handler_;
        handler(element, name);
    }
    return G_SOURCE_REMOVE;
}

}  // namespace velmar::linux_backend
