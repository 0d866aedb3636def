#include "platform/linux/atspi/AtspiReading.hpp"

#include "platform/linux/atspi/AtspiElement.hpp"
#include "platform/linux/atspi/AtspiTextRun.hpp"

#include <functional>
#include <map>
#include <sstream>
#include <utility>

namespace velmar::linux_backend {
namespace {

using Client = AtspiDbusClient;

std::string_view lookup(const AtspiObjectAttributes& attrs, std::string_view key) {
    auto it = attrs.find(key);
    return it == attrs.end() ? std::string_view() : std::string_view(it->second);
}

// An editable field's text: Chromium stands each child element of a
// contenteditable editor (ProseMirror's and Quill's paragraphs) in the text as
// an embedded-object character, in child order; each is replaced by that
// child's own text, paragraphs one to a line.
std::optional<std::string> editableText(AtspiAccessible* a, int depth = 0) {
    static constexpr std::string_view kEmbedded = "\xEF\xBF\xBC";  // U+FFFC
    auto text = Client::textOf(a);
    if (!text || depth >= 4 || text->find(kEmbedded) == std::string::npos) return text;
    std::string out;
    int child = 0;
    bool lastWasChild = false;
    for (std::size_t at = 0; at < text->size();) {
        if (text->compare(at, kEmbedded.size(), kEmbedded) != 0) {
            out += (*text)[at++];
            lastWasChild = false;
            continue;
        }
        at += kEmbedded.size();
        AtspiAccessible* c = Client::childAt(a, child++);
        if (!c) continue;
        auto inner = editableText(c, depth + 1);
        g_object_unref(c);
        if (lastWasChild) out += '\n';
        if (inner) out += *inner;
        lastWasChild = true;
    }
    return out;
}

std::vector<AXElementRef> adoptAll(const std::vector<AtspiAccessible*>& accessibles) {
    std::vector<AXElementRef> out;
    out.reserve(accessibles.size());
    for (AtspiAccessible* a : accessibles) out.push_back(AtspiElement::adopt(a));
    return out;
}

// All children in one GetChildren request, where libatspi would ask for the
// count and then each child by index (a round trip each) unless its cache
// holds them. Absent when the request cannot be made; an element that is gone
// answers with an error and has no children.
std::optional<std::vector<AXElementRef>> childrenInOneCall(AtspiAccessible* a) {
    auto at = Client::addressOf(a);
    if (!Client::makesAccessibles() || !at) return std::nullopt;
    // libatspi answers a cached children list without a request at all.
    if (_atspi_accessible_test_cache(a, ATSPI_CACHE_CHILDREN)) return std::nullopt;
    Client calls(at->bus);
    const auto slot = calls.callMethod(*at, "org.a11y.atspi.Accessible", "GetChildren");
    calls.wait();
    if (calls.unknownMethod(slot)) return std::nullopt;
    return adoptAll(calls.children(slot));
}

}  // namespace

// Asked once per application (its root answers for its toolkit).
bool AtspiReading::isGecko(AtspiAccessible* a) {
    AtspiApplication* app = a->parent.app;
    if (!app || !app->bus_name) return false;
    static std::map<std::string, bool, std::less<>> known;
    if (auto it = known.find(std::string_view(app->bus_name)); it != known.end()) return it->second;
    auto root = Client::applicationRootOf(a);
    if (!root) return false;
    Client calls(root->bus);
    const auto slot = calls.getProperty(*root, "ToolkitName", "org.a11y.atspi.Application");
    calls.wait();
    auto name = calls.string(slot);
    if (!name) return false;  // asked again next time
    return known.emplace(app->bus_name, *name == "Gecko").first->second;
}

namespace {

std::vector<AXElementRef> children(AtspiAccessible* a) {
    if (auto all = childrenInOneCall(a)) return std::move(*all);
    std::vector<AXElementRef> out;
    const int count = Client::childCountOf(a).value_or(0);
    out.reserve(static_cast<std::size_t>(count > 0 ? count : 0));
    for (int i = 0; i < count; ++i) {
        if (auto ref = AtspiElement::adopt(Client::childAt(a, i))) out.push_back(std::move(ref));
    }
    return out;
}

bool isWindowRole(AtspiRole role) {
    return role == ATSPI_ROLE_FRAME || role == ATSPI_ROLE_WINDOW || role == ATSPI_ROLE_DIALOG;
}

std::vector<AXElementRef> windows(AtspiAccessible* app) {
    std::vector<AXElementRef> out;
    for (auto& child : children(app)) {
        auto* element = static_cast<const AtspiElement*>(child.get());
        auto role = Client::roleOf(element->accessible());
        // Chromium keeps hidden helper frames (popups, menus) as frames,
        // some without the showing state; they are not windows a person sees.
        if (!role || !isWindowRole(*role) || !Client::hasState(element->accessible(), ATSPI_STATE_SHOWING).value_or(false))
            continue;
        // Two more per browser window hold its address-bar suggestions: they
        // claim to be showing but are never on screen. They have no title and
        // the bare "RootView" class, where a browser window has both.
        if (Client::nameOf(element->accessible()).value_or("").empty() &&
            lookup(Client::attributesOf(element->accessible()), "class") == "RootView")
            continue;
        out.push_back(std::move(child));
    }
    return out;
}

std::vector<std::string> splitClasses(std::string_view classes) {
    std::vector<std::string> out;
    std::istringstream in{std::string(classes)};
    for (std::string c; in >> c;) out.push_back(std::move(c));
    return out;
}

std::optional<AXAttributeValue> stateAttribute(AtspiAccessible* a, AtspiStateType state) {
    auto v = Client::hasState(a, state);
    if (!v) return std::nullopt;
    return AXAttributeValue(*v);
}

}  // namespace
void AtspiReading::fetch(std::span<const std::string_view> names) {
    auto at = Client::addressOf(a_);
    if (!at) return;
    Client calls(at->bus);
    const Sent sent = send(calls, names);
    calls.wait();
    receive(calls, sent);
}

AtspiReading::Sent AtspiReading::send(Client& calls, std::span<const std::string_view> names) {
    bool role = false, name = false, kids = false;
    for (auto n : names) {
        if (n == "AXRole" || n == "AXSubrole" || n == "AXDOMClassList" || n == "AXDOMIdentifier" ||
            n == "AXURL" || n == "AXWindows") {
            role = true;
        } else if (n == "AXTitle" || n == "AXDescription" || n == "AXValue" || n == "AXPlaceholderValue") {
            role = name = true;
        } else if (n == "AXChildren") {
            role = kids = true;
        }
    }
    Sent sent;
    auto at = Client::addressOf(a_);
    if (!at || !role) return sent;
    const char* accessible = "org.a11y.atspi.Accessible";
    if (!role_) sent.role = calls.callMethod(*at, accessible, "GetRole");
    if (!attrs_) sent.attrs = calls.callMethod(*at, accessible, "GetAttributes");
    if (name && !name_) sent.name = calls.getProperty(*at, "Name");
    if (kids && !children_ && Client::makesAccessibles()) sent.kids = calls.callMethod(*at, accessible, "GetChildren");
    // Gecko's runs of text are in the container's own text: asked with
    // its children, they cost no round trip of their own.
    if (kids && !ownText_ && isGecko(a_)) sent.text = calls.getText(*at);
    return sent;
}

void AtspiReading::receive(const Client& calls, const Sent& sent) {
    for (std::size_t slot : {sent.role, sent.attrs, sent.name, sent.kids, sent.text}) {
        if (slot != Sent::none && calls.timedOut(slot)) unanswered_ = true;
    }
    if (sent.role != Sent::none) role_ = calls.role(sent.role);
    if (sent.attrs != Sent::none) attrs_ = calls.attributes(sent.attrs).value_or(AtspiObjectAttributes{});
    if (sent.name != Sent::none) name_ = calls.string(sent.name);
    if (sent.kids != Sent::none && !calls.unknownMethod(sent.kids)) children_ = adoptAll(calls.children(sent.kids));
    if (sent.text != Sent::none) ownText_ = calls.string(sent.text);
}

std::optional<AtspiRole> AtspiReading::role() {
    if (!role_) role_ = Client::roleOf(a_);
    return *role_;
}

const AtspiObjectAttributes& AtspiReading::attrs() {
    if (!attrs_) attrs_ = Client::attributesOf(a_);
    return *attrs_;
}

std::optional<AXRoleMapping> AtspiReading::mapping() {
    if (!mapping_) {
        auto r = role();
        if (!r) {
            mapping_ = std::optional<AXRoleMapping>();
        } else {
            const AtspiObjectAttributes& at = attrs();
            bool multiLine = false, checked = false;
            if (*r == ATSPI_ROLE_ENTRY) multiLine = Client::hasState(a_, ATSPI_STATE_MULTI_LINE).value_or(false);
            if (*r == ATSPI_ROLE_CHECK_BOX) checked = Client::hasState(a_, ATSPI_STATE_CHECKED).value_or(false);
            mapping_ = mapAtspiRole(*r, RoleHints{.xmlRoles = lookup(at, "xml-roles"),
                                                  .tag = lookup(at, "tag"),
                                                  .hasPopup = lookup(at, "haspopup"),
                                                  .display = lookup(at, "display"),
                                                  .multiLine = multiLine,
                                                  .checked = checked});
        }
    }
    return *mapping_;
}

std::optional<std::string> AtspiReading::name() {
    if (!name_) name_ = Client::nameOf(a_);
    return *name_;
}

std::vector<AXElementRef> AtspiReading::kids() {
    if (!children_) children_ = children(a_);
    if (!isGecko(a_)) return *children_;
    // A text leaf or a field reads its text whole; any other container's
    // runs of text become text leaves between its children.
    auto m = mapping();
    if (!m || m->role == "AXStaticText" || m->role == "AXTextField" || m->role == "AXTextArea") return *children_;
    if (!ownText_) ownText_ = Client::textOf(a_);
    if (!*ownText_) return *children_;
    return AtspiTextRun::interleave(AtspiElement::wrap(a_), **ownText_, *children_,
                                    role() == ATSPI_ROLE_LIST_ITEM);
}

std::optional<AXAttributeValue> AtspiReading::named(NameSlot wanted) {
    auto m = mapping();
    if (!m) return std::nullopt;
    std::string_view nameFrom = lookup(attrs(), "name-from");
    // Gecko does not say where a name came from; an image's is its alt text.
    if (nameFrom.empty() && m->role == "AXImage" && isGecko(a_)) nameFrom = "attribute";
    if (nameSlot(m->role, nameFrom) != wanted) return std::nullopt;
    auto n = name();
    if (!n || n->empty()) return std::nullopt;
    return AXAttributeValue(std::move(*n));
}


std::optional<AXAttributeValue> AtspiReading::read(std::string_view name) {
    AtspiAccessible* a = a_;
    if (name == "AXRole" || name == "AXSubrole") {
        auto m = mapping();
        if (!m) return std::nullopt;
        if (name == "AXRole") return AXAttributeValue(std::string(m->role));
        if (!m->subrole) return std::nullopt;
        return AXAttributeValue(std::string(*m->subrole));
    }
    if (name == "AXTitle") return named(NameSlot::Title);
    if (name == "AXDescription") return named(NameSlot::Description);
    if (name == "AXValue") {
        auto m = mapping();
        if (!m) return std::nullopt;
        auto axRole = m->role;
        // A code element's text interface holds the code exactly, blanks and
        // line breaks included: one request instead of one per token.
        if (m->subrole == "AXCodeStyleGroup") {
            auto text = Client::textOf(a);
            if (!text) return std::nullopt;
            return AXAttributeValue(std::move(*text));
        }
        if (axRole == "AXStaticText") {
            // A text leaf's name is its text (Chromium names it from its
            // contents), so the name read with the rest saves a request;
            // the text is asked for where the name is empty.
            if (auto value = named(NameSlot::Value)) return value;
            auto text = Client::textOf(a);
            if (text && !text->empty()) return AXAttributeValue(std::move(*text));
            return std::nullopt;
        }
        if (axRole == "AXTextField" || axRole == "AXTextArea") {
            auto text = editableText(a);
            if (!text) return std::nullopt;
            return AXAttributeValue(std::move(*text));
        }
        return std::nullopt;
    }
    if (name == "AXHelp") {
        auto d = Client::descriptionOf(a);
        if (!d || d->empty()) return std::nullopt;
        return AXAttributeValue(std::move(*d));
    }
    if (name == "AXPlaceholderValue" || name == "AXDOMClassList" || name == "AXDOMIdentifier") {
        const AtspiObjectAttributes& at = attrs();
        // Chromium names an unlabelled field by its placeholder and says so.
        if (name == "AXPlaceholderValue" && lookup(at, "name-from") == "placeholder") {
            auto text = this->name();
            if (!text || text->empty()) return std::nullopt;
            return AXAttributeValue(std::move(*text));
        }
        std::string_view key = name == "AXPlaceholderValue" ? "placeholder-text"
                               : name == "AXDOMClassList"   ? "class"
                                                            : "id";
        auto it = at.find(key);
        if (it == at.end()) {
            // An element without classes has an empty list, as a page reports it.
            if (name == "AXDOMClassList" && role()) return AXAttributeValue(std::vector<std::string>{});
            return std::nullopt;
        }
        if (name == "AXDOMClassList") return AXAttributeValue(splitClasses(it->second));
        return AXAttributeValue(it->second);
    }
    if (name == "AXChildren") {
        if (!role()) return std::nullopt;
        return AXAttributeValue(kids());
    }
    if (name == "AXParent") {
        AtspiAccessible* parent = Client::parentOf(a);
        if (!parent) return std::nullopt;
        return AXAttributeValue(AtspiElement::adopt(parent));
    }
    if (name == "AXURL") {
        auto r = role();
        if (!r) return std::nullopt;
        auto address = (*r == ATSPI_ROLE_DOCUMENT_WEB || *r == ATSPI_ROLE_DOCUMENT_FRAME) ? Client::documentAddressOf(a)
                       : *r == ATSPI_ROLE_LINK                                               ? Client::linkAddressOf(a)
                                                                                             : std::nullopt;
        if (!address) return std::nullopt;
        return AXAttributeValue(AXURLValue{std::move(*address)});
    }
    if (name == "AXWindows") {
        if (!role()) return std::nullopt;
        return AXAttributeValue(windows(a));
    }
    if (name == "AXFocusedWindow" || name == "AXMainWindow") {
        for (auto& window : windows(a)) {
            auto* w = static_cast<const AtspiElement*>(window.get());
            if (Client::hasState(w->accessible(), ATSPI_STATE_ACTIVE).value_or(false)) return AXAttributeValue(window);
        }
        return std::nullopt;
    }
    if (name == "AXMinimized") return stateAttribute(a, ATSPI_STATE_ICONIFIED);
    // Firefox keeps a background tab's page in the tree, not showing.
    if (name == "AXHidden") {
        auto showing = Client::hasState(a, ATSPI_STATE_SHOWING);
        if (!showing) return std::nullopt;
        return AXAttributeValue(!*showing);
    }
    if (name == "AXFocused") return stateAttribute(a, ATSPI_STATE_FOCUSED);
    if (name == "AXEnabled") return stateAttribute(a, ATSPI_STATE_ENABLED);
    if (name == "AXSelected") return stateAttribute(a, ATSPI_STATE_SELECTED);
    if (name == "AXExpanded") return stateAttribute(a, ATSPI_STATE_EXPANDED);
    if (name == "AXElementBusy") return stateAttribute(a, ATSPI_STATE_BUSY);
    return std::nullopt;
}

}  // namespace velmar::linux_backend
