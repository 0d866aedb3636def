#include "ax/AXElement.hpp"

#include "text/Unicode.hpp"

namespace velmar {

std::optional<AXAttributeValue> AXElement::attribute(std::string_view name) const {
    if (!raw_) return std::nullopt;
    return raw_->copyAttribute(name);
}

std::optional<std::string> AXElement::string(std::string_view name) const {
    auto value = attribute(name);
    if (!value) return std::nullopt;
    if (auto* s = std::get_if<std::string>(&*value)) {
        // Applications occasionally hand over broken UTF-8; never pass it on raw.
        return text::repairUtf8(*s);
    }
    return std::nullopt;
}

std::string AXElement::role() const {
    auto role = string("AXRole");
    return role ? std::move(*role) : std::string("?");
}

std::optional<std::string> AXElement::subrole() const { return string("AXSubrole"); }

std::optional<std::string> AXElement::title() const { return string("AXTitle"); }

std::vector<std::string> AXElement::domClassList() const {
    auto value = attribute("AXDOMClassList");
    if (!value) return {};
    if (auto* list = std::get_if<std::vector<std::string>>(&*value)) {
        for (auto& s : *list) s = text::repairUtf8(s);
        return std::move(*list);
    }
    return {};
}

std::vector<AXNodePtr> AXElement::children() const {
    std::vector<AXNodePtr> out;
    auto value = attribute("AXChildren");
    if (!value) return out;
    if (auto* list = std::get_if<std::vector<AXElementRef>>(&*value)) {
        out.reserve(list->size());
        for (auto& ref : *list) {
            if (ref) out.push_back(std::make_shared<AXElement>(ref));
        }
    }
    return out;
}

std::optional<AXElement> AXElement::element(std::string_view name) const {
    auto value = attribute(name);
    if (!value) return std::nullopt;
    if (auto* ref = std::get_if<AXElementRef>(&*value); ref && *ref) return AXElement(*ref);
    return std::nullopt;
}

AXNodePtr AXElement::parent() const {
    auto p = element("AXParent");
    if (!p) return nullptr;
    return std::make_shared<AXElement>(std::move(*p));
}

std::vector<AXElement> AXElement::windows() const {
    std::vector<AXElement> out;
    auto value = attribute("AXWindows");
    if (!value) return out;
    if (auto* list = std::get_if<std::vector<AXElementRef>>(&*value)) {
        for (auto& ref : *list) {
            if (ref) out.emplace_back(ref);
        }
    }
    return out;
}

std::optional<AXElement> AXElement::focusedWindow() const {
    if (auto focused = element("AXFocusedWindow")) return focused;
    auto all = windows();
    if (all.empty()) return std::nullopt;
    return all.front();
}

}  // namespace velmar
