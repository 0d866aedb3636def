#pragma once
// The port's view of one accessibility element of another application.
// A backend implements PlatformElement; everything above the port holds
// elements only through AXElementRef and reads them one attribute at a time,
// or several at once. Every request is a round trip to the owning
// application, and any failure (element gone, attribute unsupported, no
// reply, no permission) is absent.

#include <cstddef>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace velmar {

class PlatformElement;
using AXElementRef = std::shared_ptr<const PlatformElement>;

// An address-valued attribute ("AXURL"), kept apart from plain strings.
struct AXURLValue {
    std::string absoluteString;
    bool operator==(const AXURLValue&) const = default;
};

// A typed attribute value as the platform returned it.
using AXAttributeValue = std::variant<std::string, bool, double, AXElementRef,
                                      std::vector<AXElementRef>, std::vector<std::string>, AXURLValue>;

class PlatformElement {
public:
    virtual ~PlatformElement() = default;

    // Copies one named attribute; absent on any failure.
    virtual std::optional<AXAttributeValue> copyAttribute(std::string_view name) const = 0;
    // True when copyAttributes is one request, so that asking for a few
    // attributes more than needed is cheaper than asking twice.
    virtual bool readsSeveralAtOnce() const { return false; }
    // Copies several attributes: one answer per name, in the order asked,
    // each absent on its own failure. A backend whose platform has a request
    // for several attributes overrides it (and readsSeveralAtOnce); this
    // default asks one by one.
    virtual std::vector<std::optional<AXAttributeValue>> copyAttributes(std::span<const std::string_view> names) const {
        std::vector<std::optional<AXAttributeValue>> out;
        out.reserve(names.size());
        for (auto name : names) out.push_back(copyAttribute(name));
        return out;
    }
    // Writes a boolean attribute; false when the application refused or is gone.
    virtual bool setBoolAttribute(std::string_view name, bool value) const = 0;
    // Identity: two references to the same element of the same application.
    virtual bool sameElement(const PlatformElement& other) const = 0;
    virtual std::size_t identityHash() const = 0;
};

inline bool sameElement(const AXElementRef& a, const AXElementRef& b) {
    if (!a || !b) return !a && !b;
    return a.get() == b.get() || a->sameElement(*b);
}

}  // namespace velmar
