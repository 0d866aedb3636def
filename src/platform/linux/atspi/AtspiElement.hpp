#pragma once
// A PlatformElement over one AT-SPI accessible of another application.
// Each read is one or a few D-Bus calls to that application through
// libatspi; libatspi keeps role, name and the children list of applications
// that publish its cache, so those reads are often answered locally.

#include "platform/Accessibility.hpp"
#include "platform/AccessibilityElement.hpp"

#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <vector>

typedef struct _AtspiAccessible AtspiAccessible;

namespace velmar::linux_backend {

class AtspiElement final : public PlatformElement {
public:
    // Takes a new reference; null gives null.
    static AXElementRef wrap(AtspiAccessible* accessible);
    // Adopts the caller's reference; null gives null.
    static AXElementRef adopt(AtspiAccessible* accessible);

    explicit AtspiElement(AtspiAccessible* adoptedReference);
    ~AtspiElement() override;
    AtspiElement(const AtspiElement&) = delete;
    AtspiElement& operator=(const AtspiElement&) = delete;

    AtspiAccessible* accessible() const { return accessible_; }

    std::optional<AXAttributeValue> copyAttribute(std::string_view name) const override;
    // Several attributes of this accessible, each underlying AT-SPI request
    // made once for all of them.
    bool readsSeveralAtOnce() const override { return true; }
    std::vector<std::optional<AXAttributeValue>> copyAttributes(std::span<const std::string_view> names) const override;
    // "AXFocused" moves focus to the element; "AXEnhancedUserInterface" (or
    // "AXManualAccessibility") on an application sets the session's
    // accessibility switch; nothing else is writable.
    bool setBoolAttribute(std::string_view name, bool value) const override;
    bool sameElement(const PlatformElement& other) const override;
    std::size_t identityHash() const override;

private:
    AtspiAccessible* accessible_;
    // Its name never changes: hashed once.
    mutable std::optional<std::size_t> hash_;
};

}  // namespace velmar::linux_backend
