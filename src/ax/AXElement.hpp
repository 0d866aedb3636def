#pragma once
// A live accessibility element of another application, read through the port.
// On its own every member read is a fresh request to the application. Read
// through an AXReadScope (one parse), an element asks for each attribute
// once (for its common ones in one request, where the platform allows), and
// the elements reached from it share that memory until the scope ends.

#include "ax/AXNode.hpp"
#include "platform/AccessibilityElement.hpp"

#include <cstdint>
#include <memory>

namespace velmar {

class AXMirror;
class AXReadScope;

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
    std::any* memo(const void* key, int variant = 0, bool withOwn = false) const override;

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
    friend class AXMirror;
    friend class AXReadScope;
    struct Memory;
    struct Entry;

    static std::shared_ptr<Memory> openMemory();
    // Forgets everything; elements that outlive the scope read fresh again.
    static void closeMemory(Memory& memory);

    AXElement(AXElementRef raw, std::shared_ptr<Memory> memory) : raw_(std::move(raw)), memory_(std::move(memory)) {}
    // What the open scope remembers of this element; null outside one.
    Entry* entry() const;
    bool readsThroughOpenMemory() const;
    // The attribute's answer: remembered within a scope, else read into `fresh`.
    const std::optional<AXAttributeValue>& value(std::string_view name, std::optional<AXAttributeValue>& fresh) const;
    // Another element of the same application, read through the same scope.
    AXElement sibling(AXElementRef raw) const { return AXElement(std::move(raw), memory_); }
    std::vector<AXNodePtr> childNodes(const std::optional<AXAttributeValue>& answer) const;
    // The entry's children from its "AXChildren" answer, keeping the
    // elements it already had (and what they remember) where the list only grew.
    void keepChildren(Entry& entry) const;
    // Broken UTF-8 repaired once, as an answer is kept, not at every read of it.
    static void repaired(std::optional<AXAttributeValue>& answer);

    AXElementRef raw_;
    std::shared_ptr<Memory> memory_;
    // Looked up again once the memory dropped entries (its epoch moved on).
    mutable Entry* entry_ = nullptr;
    mutable std::uint64_t entryEpoch_ = 0;
};

}  // namespace velmar
