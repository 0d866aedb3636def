#include "platform/linux/atspi/AtspiElement.hpp"

#include "platform/linux/atspi/AtspiAccessibility.hpp"
#include "platform/linux/atspi/AtspiDbusClient.hpp"
#include "platform/linux/atspi/AtspiReading.hpp"

#include <functional>
#include <string>

namespace velmar::linux_backend {
namespace {
using Client = AtspiDbusClient;
}  // namespace

AXElementRef AtspiElement::wrap(AtspiAccessible* accessible) {
    if (!accessible) return nullptr;
    g_object_ref(accessible);
    return std::make_shared<AtspiElement>(accessible);
}

AXElementRef AtspiElement::adopt(AtspiAccessible* accessible) {
    if (!accessible) return nullptr;
    return std::make_shared<AtspiElement>(accessible);
}

AtspiElement::AtspiElement(AtspiAccessible* adoptedReference) : accessible_(adoptedReference) {
    // Worked out now: a parse off the main thread hashes elements too.
    if (accessible_) (void)identityHash();
}

AtspiElement::~AtspiElement() {
    if (accessible_) g_object_unref(accessible_);
}

std::optional<AXAttributeValue> AtspiElement::copyAttribute(std::string_view name) const {
    AtspiReading reading(accessible_);
    reading.fetch(std::span<const std::string_view>(&name, 1));
    return reading.read(name);
}

std::vector<std::optional<AXAttributeValue>> AtspiElement::copyAttributes(std::span<const std::string_view> names) const {
    AtspiReading reading(accessible_);
    reading.fetch(names);
    std::vector<std::optional<AXAttributeValue>> out;
    out.reserve(names.size());
    for (auto name : names) out.push_back(reading.read(name));
    return out;
}

bool AtspiElement::setBoolAttribute(std::string_view name, bool value) const {
    // Asking a browser for its full tree is, on Linux, the session's
    // accessibility switch: Chromium builds its web trees while it is on.
    if (name == "AXEnhancedUserInterface" || name == "AXManualAccessibility") {
        return Client::roleOf(accessible_) == ATSPI_ROLE_APPLICATION && AtspiAccessibility::setSwitch(value);
    }
    if (name != "AXFocused" || !value) return false;
    return Client::grabFocus(accessible_);
}

namespace {
// An accessible is named by its application's bus name and its object path;
// read in place, as every lookup in a mirror asks for them.
std::string_view busOf(AtspiAccessible* a) {
    return a->parent.app && a->parent.app->bus_name ? std::string_view(a->parent.app->bus_name) : std::string_view();
}
std::string_view pathOf(AtspiAccessible* a) { return a->parent.path ? std::string_view(a->parent.path) : std::string_view(); }
}  // namespace

bool AtspiElement::sameElement(const PlatformElement& other) const {
    auto* o = dynamic_cast<const AtspiElement*>(&other);
    if (!o) return false;
    if (o->accessible_ == accessible_) return true;
    return identityHash() == o->identityHash() && pathOf(accessible_) == pathOf(o->accessible_) &&
           busOf(accessible_) == busOf(o->accessible_);
}

std::size_t AtspiElement::identityHash() const {
    if (!hash_) {
        const std::hash<std::string_view> h;
        hash_ = h(busOf(accessible_)) * 31 + h(pathOf(accessible_));
    }
    return *hash_;
}

}  // namespace velmar::linux_backend
