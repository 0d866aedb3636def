#pragma once
// A recorded accessibility node, loaded from a fixture file. Nodes are shared
// by reference; parents are wired (weakly) after decoding by wireParents().

#include "ax/AXNode.hpp"

#include <memory>

namespace velmar {

class FixtureNode;
using FixtureNodePtr = std::shared_ptr<FixtureNode>;

class FixtureNode final : public AXNode, public std::enable_shared_from_this<FixtureNode> {
public:
    std::string roleValue = "?";
    std::optional<std::string> subroleValue;
    std::optional<std::string> value;
    std::optional<std::string> titleValue;
    std::optional<std::string> descriptionValue;
    std::optional<std::string> placeholder;
    std::vector<std::string> domClasses;
    std::optional<std::string> url;
    std::vector<FixtureNodePtr> childList;
    std::weak_ptr<const FixtureNode> parentNode;

    static FixtureNodePtr make(std::string role = "?") {
        auto n = std::make_shared<FixtureNode>();
        n->roleValue = std::move(role);
        return n;
    }

    // Sets every child's parent to this node, recursively.
    void wireParents();

    std::string role() const override { return roleValue; }
    std::optional<std::string> subrole() const override { return subroleValue; }
    std::optional<std::string> title() const override { return titleValue; }
    std::vector<std::string> domClassList() const override { return domClasses; }
    std::vector<AXNodePtr> children() const override;
    AXNodePtr parent() const override { return parentNode.lock(); }
    std::optional<std::string> string(std::string_view attribute) const override;
};

}  // namespace velmar
