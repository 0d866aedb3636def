#include "platform/linux/atspi/AtspiWindowActivation.hpp"

#include <atspi/atspi.h>

#include <string_view>

namespace velmar::linux_backend {

namespace {
constexpr const char* kActivate = "window:activate";
constexpr const char* kDeactivate = "window:deactivate";
}  // namespace

AtspiWindowActivation::AtspiWindowActivation() {
    atspi_init();
    listener_ = atspi_event_listener_new(&AtspiWindowActivation::onEvent, this, nullptr);
    GError* error = nullptr;
    listening_ = atspi_event_listener_register(listener_, kActivate, &error) &&
                 atspi_event_listener_register(listener_, kDeactivate, &error);
    if (error) g_error_free(error);
}

AtspiWindowActivation::~AtspiWindowActivation() {
    atspi_event_listener_deregister(listener_, kActivate, nullptr);
    atspi_event_listener_deregister(listener_, kDeactivate, nullptr);
    g_object_unref(listener_);
}

std::optional<int> AtspiWindowActivation::after(std::optional<int> active, const char* eventType, int senderProcess) {
    const std::string_view type = eventType ? eventType : "";
    if (senderProcess <= 0) return active;
    if (type.starts_with(kActivate)) return senderProcess;
    // A deactivation that comes after another window's activation changes nothing.
    if (type.starts_with(kDeactivate) && active == senderProcess) return std::nullopt;
    return active;
}

void AtspiWindowActivation::onEvent(AtspiEvent* event, void* self) {
    auto* watch = static_cast<AtspiWindowActivation*>(self);
    int pid = 0;
    if (event->source) {
        GError* error = nullptr;
        pid = static_cast<int>(atspi_accessible_get_process_id(event->source, &error));
        if (error) {
            g_error_free(error);
            pid = 0;
        }
    }
    watch->active_ = after(watch->active_, event->type, pid);
    g_boxed_free(ATSPI_TYPE_EVENT, event);  // each listener's copy is its own
}

}  // namespace velmar::linux_backend
