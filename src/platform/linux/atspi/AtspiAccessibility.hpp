#pragma once
// Accessibility services of a Linux desktop over AT-SPI: the accessibility
// bus of the session and its registry of applications.

#include "platform/Accessibility.hpp"

#include <chrono>
#include <optional>

namespace velmar::linux_backend {

class AtspiAccessibility final : public Accessibility {
public:
    // `callTimeout` bounds every call to another application, so a stuck
    // application costs a read, never the agent's loop.
    explicit AtspiAccessibility(std::chrono::milliseconds callTimeout = std::chrono::milliseconds(1000));

    // The accessibility bus answers and the session's accessibility switch is on.
    bool isProcessTrusted() const override;
    // The registry's application with this process id.
    AXElementRef applicationElement(int pid) const override;
    // Listens to the application's AT-SPI events, delivered on the default
    // GLib main context; null when the registry has no such process.
    std::unique_ptr<AccessibilityObserver> createObserver(int pid, AXNotificationHandler handler) override;
    // Every element's requests are sent before any answer is awaited.
    std::vector<std::vector<std::optional<AXAttributeValue>>> copyAttributesOfEach(
        std::span<const AXElementRef> elements, std::span<const std::string_view> names) const override;
    // Answered through the connections' dispatch on the default GLib main context.
    std::unique_ptr<PendingAttributes> requestAttributesOfEach(std::span<const AXElementRef> elements,
                                                               std::span<const std::string_view> names,
                                                               std::function<void()> onAnswered) const override;
    // The list's length and its members by index, where its application's toolkit keeps indices as they are.
    std::unique_ptr<PendingAttributes> requestChildrenFrom(const AXElementRef& element, std::size_t from,
                                                           std::size_t most,
                                                           std::function<void()> onAnswered) const override;

    // The session's accessibility switch (org.a11y.Status IsEnabled); absent
    // when the session has no accessibility bus.
    static std::optional<bool> switchState();
    // Turns the switch on or off; false when the session refused.
    static bool setSwitch(bool enabled);
};

}  // namespace velmar::linux_backend
