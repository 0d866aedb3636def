#pragma once
// A live accessibility element of another application, read through the port.

#include "ax/AXNode.hpp"
#include "platform/AccessibilityElement.hpp"

namespace velmar {

class AXElement final : public AXNode {
public:
    explicit AXElement(AXElementRef raw) : raw_(std::move(raw)) {}

    const AXElementRef& raw() const { return raw_; }

    std::string role() const override;
    std::optional<std::string> subrole() const override;
    std::optional<std::string> title() const override;
    std::vector<std::string> domClassList() const override;
    std::vector<AXNodePtr> children() const override;
    AXNodePtr parent() const override;
    std::optional<std::string> string(std::string_view attribute) const override;

    // The attribute's value when it is an element.
    std::optional<AXElement> element(std::string_view attribute) const;
    // "AXWindows"; empty when absent.
    std::vector<AXElement> windows() const;
    // "AXFocusedWindow", else the first window, else absent.
    std::optional<AXElement> focusedWindow() const;
    // The raw typed value, for callers that need more than strings.
    std::optional<AXAttributeValue> attribute(std::string_view name) const;

    bool operator==(const AXElement& other) const { return sameElement(raw_, other.raw_); }

private:
    AXElementRef raw_;
};

}  // namespace velmar
