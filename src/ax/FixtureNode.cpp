#include "ax/FixtureNode.hpp"

namespace velmar {

void FixtureNode::wireParents() {
    // Iterative, so that a deep recorded tree cannot exhaust the stack.
    std::vector<FixtureNode*> pending{this};
    while (!pending.empty()) {
        FixtureNode* node = pending.back();
        pending.pop_back();
        auto self = node->weak_from_this();
        for (auto& child : node->childList) {
            child->parentNode = self;
            pending.push_back(child.get());
        }
    }
}

std::vector<AXNodePtr> FixtureNode::children() const {
    return std::vector<AXNodePtr>(childList.begin(), childList.end());
}

std::optional<std::string> FixtureNode::string(std::string_view attribute) const {
    if (attribute == "AXValue") return value;
    if (attribute == "AXTitle") return titleValue;
    if (attribute == "AXDescription") return descriptionValue;
    if (attribute == "AXPlaceholderValue") return placeholder;
    if (attribute == "AXURL") return url;
    return std::nullopt;
}

}  // namespace velmar
