#include "ax/FixtureNode.hpp"

namespace velmar {

const std::string* FixtureNode::text(Text which) const {
    for (const auto& [kind, value] : texts_) {
        if (kind == which) return &value;
    }
    return nullptr;
}

std::optional<std::string> FixtureNode::optionalText(Text which) const {
    if (const auto* t = text(which)) return *t;
    return std::nullopt;
}

void FixtureNode::setText(Text which, std::string value) {
    for (auto& [kind, existing] : texts_) {
        if (kind == which) {
            existing = std::move(value);
            return;
        }
    }
    texts_.emplace_back(which, std::move(value));
}

void FixtureNode::shrinkToFit() {
    if (texts_.capacity() != texts_.size()) texts_.shrink_to_fit();
    if (domClasses.capacity() != domClasses.size()) domClasses.shrink_to_fit();
    if (childList.capacity() != childList.size()) childList.shrink_to_fit();
}

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
    if (attribute == "AXValue") return optionalText(Text::value);
    if (attribute == "AXTitle") return optionalText(Text::title);
    if (attribute == "AXDescription") return optionalText(Text::description);
    if (attribute == "AXPlaceholderValue") return optionalText(Text::placeholder);
    if (attribute == "AXURL") return optionalText(Text::url);
    return std::nullopt;
}

}  // namespace velmar
