#pragma once
// Reads of many AT-SPI accessibles with every request in flight at once:
// one client per bus (a browser on its own peer-to-peer bus has one), so the
// lot costs about one round trip's wait instead of one per request.

#include "platform/Accessibility.hpp"
#include "platform/AccessibilityElement.hpp"

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace velmar::linux_backend {

class AtspiPendingReads {
public:
    // The same attributes of many accessibles, waited for; elements that
    // are not accessibles of their own answer on their own.
    static std::vector<std::vector<std::optional<AXAttributeValue>>> attributesOfEach(
        std::span<const AXElementRef> elements, std::span<const std::string_view> names);
    // The same without waiting: answered through the GLib main loop. `names`
    // must outlive the request.
    static std::unique_ptr<PendingAttributes> requestAttributesOfEach(std::span<const AXElementRef> elements,
                                                                      std::span<const std::string_view> names,
                                                                      std::function<void()> onAnswered);
    // A list's length and its members from `from` to its end, each by index
    // (see Accessibility::requestChildrenFrom); null for Gecko's lists.
    static std::unique_ptr<PendingAttributes> requestChildrenFrom(const AXElementRef& element, std::size_t from,
                                                                  std::size_t most, std::function<void()> onAnswered);
};

}  // namespace velmar::linux_backend
