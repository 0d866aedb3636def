#pragma once
// A recorded accessibility node, loaded from a fixture file. Nodes are shared
// by reference; parents are wired (weakly) after decoding by wireParents().
//
// A recorded tree can hold tens of thousands of nodes, most of them with no
// text at all, so a node keeps only the texts it has rather than a slot for
// every attribute.

#include "ax/AXNode.hpp"

#include <cstdint>
#include <memory>

namespace velmar {

class FixtureNode;
using FixtureNodePtr = std::shared_ptr<FixtureNode>;

class FixtureNode final : public AXNode, public std::enable_shared_from_this<FixtureNode> {
public:
    // The recorded texts besides the role, by the attribute they answer for.
    enum class Text : std::uint8_t { subrole, value, title, description, placeholder, url };

    std::string roleValue = "?";
    std::vector<std::string> domClasses;
    std::vector<FixtureNodePtr> childList;
    std::weak_ptr<const FixtureNode> parentNode;

    static FixtureNodePtr make(std::string role = "?") {
        auto n = std::make_shared<FixtureNode>();
        n->roleValue = std::move(role);
        return n;
    }

    // Null when the node has no such text.
    const std::string* text(Text which) const;
    std::optional<std::string> optionalText(Text which) const;
    void setText(Text which, std::string value);
    // Gives back what growing the lists left over, once the node is complete.
    void shrinkToFit();

    // Sets every child's parent to this node, recursively.
    void wireParents();

    std::string role() const override { return roleValue; }
    std::optional<std::string> subrole() const override { return optionalText(Text::subrole); }
    std::optional<std::string> title() const override { return optionalText(Text::title); }
    std::vector<std::string> domClassList() const override { return domClasses; }
    std::vector<AXNodePtr> children() const override;
    AXNodePtr parent() const override { return parentNode.lock(); }
    std::optional<std::string> string(std::string_view attribute) const override;

private:
    std::vector<std::pair<Text, std::string>> texts_;
};

}  // namespace velmar
