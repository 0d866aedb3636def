#pragma once
// One read of several attributes of one AT-SPI accessible, mapped onto the
// port's attribute names: each underlying request (role, object attributes,
// name, children, text) is made at most once, and only when an asked
// attribute needs it. The requests the asked attributes need are sent
// together first, so the read costs one round trip's latency; nothing is
// kept past the read, so a renamed class or a grown text is seen at the next one.

#include "platform/AccessibilityElement.hpp"
#include "platform/linux/atspi/AtspiDbusClient.hpp"
#include "platform/linux/atspi/AtspiRoleMap.hpp"

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace velmar::linux_backend {

class AtspiReading {
public:
    explicit AtspiReading(AtspiAccessible* a) : a_(a) {}

    // The requests one read has in flight: a slot in its client each, or none.
    struct Sent {
        static constexpr std::size_t none = static_cast<std::size_t>(-1);
        std::size_t role = none, attrs = none, name = none, kids = none, text = none;
    };

    // Sends the requests the named attributes need, all at once.
    void fetch(std::span<const std::string_view> names);

    // Sends them on `calls` (which must be for this accessible's bus) without waiting.
    Sent send(AtspiDbusClient& calls, std::span<const std::string_view> names);

    // Takes the answers once `calls` has them all.
    void receive(const AtspiDbusClient& calls, const Sent& sent);

    // Some request of the read went unanswered in time: its answers say
    // nothing about the accessible (an empty children list is not "none").
    bool unanswered() const { return unanswered_; }

    // One attribute by the port's name, from the answers taken (what was
    // not asked for is asked now, one request each).
    std::optional<AXAttributeValue> read(std::string_view name);

    // Whether the accessible's application is built on Gecko (Firefox), which
    // folds text into its containers' own text instead of giving text leaves.
    static bool isGecko(AtspiAccessible* a);

private:
    std::optional<AtspiRole> role();
    const AtspiObjectAttributes& attrs();
    std::optional<AXRoleMapping> mapping();
    std::optional<std::string> name();
    std::vector<AXElementRef> kids();
    std::optional<AXAttributeValue> named(NameSlot wanted);

    AtspiAccessible* a_;
    bool unanswered_ = false;
    std::optional<std::optional<AtspiRole>> role_;
    std::optional<AtspiObjectAttributes> attrs_;
    std::optional<std::optional<AXRoleMapping>> mapping_;
    std::optional<std::optional<std::string>> name_;
    std::optional<std::vector<AXElementRef>> children_;
    std::optional<std::optional<std::string>> ownText_;
};

}  // namespace velmar::linux_backend
