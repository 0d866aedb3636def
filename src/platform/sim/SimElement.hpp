#pragma once
// Simulated accessibility elements: an in-memory tree that tests and tools
// script deterministically. Elements can change between reads, can be made to
// fail reads, and count every request (a round trip) and every attribute read
// per element and attribute.

#include "platform/AccessibilityElement.hpp"

#include <nlohmann/json_fwd.hpp>

#include <deque>
#include <map>
#include <memory>
#include <set>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace velmar::sim {

class SimElement;
using SimElementPtr = std::shared_ptr<SimElement>;

// Shared by every element of one simulated tree (or application).
class SimReadLog {
public:
    // One request for one attribute, or for several at once.
    void record(const SimElement* element, std::string_view attribute);
    void record(const SimElement* element, std::span<const std::string_view> attributes);

    // Requests, each a round trip to the application.
    std::size_t total() const { return total_; }
    // Attribute values read, however they were batched.
    std::size_t attributeReads() const { return attributeReads_; }
    std::size_t count(const SimElement* element, std::string_view attribute) const;
    std::size_t count(std::string_view attribute) const;
    // Distinct elements that were read at least once.
    std::size_t elementsRead() const { return elements_.size(); }

    struct Repeat {
        const SimElement* element;
        std::string attribute;
        std::size_t reads;
    };
    // Every attribute that was read more than once from the same element.
    std::vector<Repeat> repeats() const;
    void reset();

private:
    void tally(const SimElement* element, std::string_view attribute);

    std::map<std::pair<const SimElement*, std::string>, std::size_t, std::less<>> perElement_;
    std::map<std::string, std::size_t, std::less<>> perAttribute_;
    std::set<const SimElement*> elements_;
    std::size_t total_ = 0;
    std::size_t attributeReads_ = 0;
};

class SimElement final : public PlatformElement, public std::enable_shared_from_this<SimElement> {
public:
    static SimElementPtr make(std::string role, std::shared_ptr<SimReadLog> log = nullptr);

    // --- scripting ---
    SimElement& set(std::string name, AXAttributeValue value);
    SimElement& setString(std::string name, std::string value) { return set(std::move(name), AXAttributeValue(std::move(value))); }
    SimElement& remove(const std::string& name);
    // Successive reads of the attribute return these values in turn; the last one sticks.
    // An empty optional in the script reads as absent.
    SimElement& script(std::string name, std::vector<std::optional<AXAttributeValue>> values);
    // Every read of this attribute fails (reads as absent).
    SimElement& failReads(std::string name, bool fail = true);
    // The element is gone: every read fails.
    SimElement& destroy();
    // This element and its subtree answer one attribute per request, as a
    // platform without a multi-attribute request does (AT-SPI, say).
    SimElement& answerOneByOne(bool oneByOne = true);
    SimElementPtr append(SimElementPtr child);
    SimElementPtr append(std::string role);
    void removeChild(const SimElementPtr& child);
    void clearChildren();

    const std::vector<SimElementPtr>& childElements() const { return children_; }
    SimElementPtr parentElement() const { return parent_.lock(); }
    const std::shared_ptr<SimReadLog>& readLog() const { return log_; }
    // Shares one read log over a whole subtree.
    void adoptLog(const std::shared_ptr<SimReadLog>& log);

    // --- PlatformElement ---
    std::optional<AXAttributeValue> copyAttribute(std::string_view name) const override;
    bool readsSeveralAtOnce() const override { return !oneByOne_; }
    std::vector<std::optional<AXAttributeValue>> copyAttributes(std::span<const std::string_view> names) const override;
    bool setBoolAttribute(std::string_view name, bool value) const override;
    // The children list's length and its members from `from` to the end
    // where they are at most `most`, as a platform reading a list by index
    // answers: one request, counted as "AXChildrenFrom".
    std::vector<std::optional<AXAttributeValue>> childrenFrom(std::size_t from, std::size_t most) const;
    bool sameElement(const PlatformElement& other) const override { return this == &other; }
    std::size_t identityHash() const override { return std::hash<const void*>{}(this); }

    // Attribute writes seen through setBoolAttribute, in order.
    const std::vector<std::pair<std::string, bool>>& writes() const { return writes_; }

    // Builds a tree from the recorded-node vocabulary: "role", "subrole", "value",
    // "title", "description", "placeholder", "domClassList", "url", "children",
    // plus "attributes": {name: string|bool|number|[strings]} for anything else.
    static SimElementPtr fromJSON(const nlohmann::json& node, std::shared_ptr<SimReadLog> log = nullptr);

private:
    explicit SimElement(std::shared_ptr<SimReadLog> log) : log_(std::move(log)) {}

    // One attribute's answer, without counting the read.
    std::optional<AXAttributeValue> answer(std::string_view name) const;

    std::shared_ptr<SimReadLog> log_;
    std::map<std::string, AXAttributeValue, std::less<>> attributes_;
    mutable std::map<std::string, std::deque<std::optional<AXAttributeValue>>, std::less<>> scripts_;
    std::set<std::string, std::less<>> failing_;
    std::vector<SimElementPtr> children_;
    std::weak_ptr<SimElement> parent_;
    bool destroyed_ = false;
    bool oneByOne_ = false;
    mutable std::vector<std::pair<std::string, bool>> writes_;
};

}  // namespace velmar::sim
