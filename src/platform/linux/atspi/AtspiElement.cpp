#include "platform/linux/atspi/AtspiElement.hpp"

#include "platform/linux/atspi/AtspiAccessibility.hpp"
#include "platform/linux/atspi/AtspiDbusClient.hpp"
#include "platform/linux/atspi/AtspiRoleMap.hpp"
#include "platform/linux/atspi/AtspiTextRun.hpp"

#include <algorithm>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
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

// Whether the accessible's application is built on Gecko (Firefox), which
// folds text into its containers' own text instead of giving text leaves.
// Asked once per application (its root answers for its toolkit).
bool isGecko(AtspiAccessible* a) {
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

AXElementRef AtspiElement::wrap(AtspiAccessible* accessible) {
    if (!accessible) return nullptr;
    g_object_ref(accessible);
    return std::make_shared<AtspiElement>(accessible);
}

AXElementRef AtspiElement::adopt(AtspiAccessible* accessible) {
    if (!accessible) return nullptr;
    return std::make_shared<AtspiElement>(accessible);
}

AtspiElement::AtspiElement(AtspiAccessible* adoptedReference) : accessible_(adoptedReference) {}

AtspiElement::~AtspiElement() {
    if (accessible_) g_object_unref(accessible_);
}

namespace {

// One read of several attributes of one accessible: each underlying request
// (role, object attributes, name, children, text) is made at most once, and
// only when an asked attribute needs it. The requests the asked attributes
// need are sent together first, so the read costs one round trip's latency;
// nothing is kept past the read, so a renamed class or a grown text is seen
// at the next one.
class Reading {
public:
    explicit Reading(AtspiAccessible* a) : a_(a) {}

    // The requests one read has in flight: a slot in its client each, or none.
    struct Sent {
        static constexpr std::size_t none = static_cast<std::size_t>(-1);
        std::size_t role = none, attrs = none, name = none, kids = none, text = none;
    };

    // Sends the requests the named attributes need, all at once.
    void fetch(std::span<const std::string_view> names) {
        auto at = Client::addressOf(a_);
        if (!at) return;
        Client calls(at->bus);
        const Sent sent = send(calls, names);
        calls.wait();
        receive(calls, sent);
    }

    // Sends them on `calls` (which must be for this accessible's bus) without waiting.
    Sent send(Client& calls, std::span<const std::string_view> names) {
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

    // Takes the answers once `calls` has them all.
    void receive(const Client& calls, const Sent& sent) {
        for (std::size_t slot : {sent.role, sent.attrs, sent.name, sent.kids, sent.text}) {
            if (slot != Sent::none && calls.timedOut(slot)) unanswered_ = true;
        }
        if (sent.role != Sent::none) role_ = calls.role(sent.role);
        if (sent.attrs != Sent::none) attrs_ = calls.attributes(sent.attrs).value_or(AtspiObjectAttributes{});
        if (sent.name != Sent::none) name_ = calls.string(sent.name);
        if (sent.kids != Sent::none && !calls.unknownMethod(sent.kids)) children_ = adoptAll(calls.children(sent.kids));
        if (sent.text != Sent::none) ownText_ = calls.string(sent.text);
    }

    // Some request of the read went unanswered in time: its answers say
    // nothing about the accessible (an empty children list is not "none").
    bool unanswered() const { return unanswered_; }

    std::optional<AtspiRole> role() {
        if (!role_) role_ = Client::roleOf(a_);
        return *role_;
    }
    const AtspiObjectAttributes& attrs() {
        if (!attrs_) attrs_ = Client::attributesOf(a_);
        return *attrs_;
    }
    std::optional<AXRoleMapping> mapping() {
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
    std::optional<std::string> name() {
        if (!name_) name_ = Client::nameOf(a_);
        return *name_;
    }
    std::vector<AXElementRef> kids() {
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
    std::optional<AXAttributeValue> named(NameSlot wanted) {
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
    std::optional<AXAttributeValue> read(std::string_view name);

private:
    AtspiAccessible* a_;
    bool unanswered_ = false;
    std::optional<std::optional<AtspiRole>> role_;
    std::optional<AtspiObjectAttributes> attrs_;
    std::optional<std::optional<AXRoleMapping>> mapping_;
    std::optional<std::optional<std::string>> name_;
    std::optional<std::vector<AXElementRef>> children_;
    std::optional<std::optional<std::string>> ownText_;
};

std::optional<AXAttributeValue> Reading::read(std::string_view name) {
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

}  // namespace

std::optional<AXAttributeValue> AtspiElement::copyAttribute(std::string_view name) const {
    Reading reading(accessible_);
    reading.fetch(std::span<const std::string_view>(&name, 1));
    return reading.read(name);
}

std::vector<std::optional<AXAttributeValue>> AtspiElement::copyAttributes(std::span<const std::string_view> names) const {
    Reading reading(accessible_);
    reading.fetch(names);
    std::vector<std::optional<AXAttributeValue>> out;
    out.reserve(names.size());
    for (auto name : names) out.push_back(reading.read(name));
    return out;
}

namespace {

// The same attributes of many accessibles: one client per bus (a browser on
// its own peer-to-peer bus has one), every request sent before any answer is
// awaited. The elements are held, so the accessibles outlive the requests.
class AttributeBatch {
public:
    // `callMs`: how long each request may take (see AtspiDbusClient).
    AttributeBatch(std::span<const AXElementRef> elements, std::span<const std::string_view> names, int callMs)
        : elements_(elements.begin(), elements.end()), names_(names.begin(), names.end()), all_(elements.size()),
          callMs_(callMs) {
        for (std::size_t i = 0; i < elements_.size(); ++i) {
            const auto* element = dynamic_cast<const AtspiElement*>(elements_[i].get());
            if (!element) continue;  // answered on its own when taken
            One& one = all_[i];
            one.reading.emplace(element->accessible());
            if (auto at = Client::addressOf(element->accessible())) {
                one.calls = &clientFor(at->bus);
                one.sent = one.reading->send(*one.calls, names_);
            }
        }
    }

    void wait() {
        for (auto& [bus, calls] : clients_) calls->wait();
    }

    // After `whenAnswered`.
    bool waitFor(std::chrono::milliseconds limit) {
        const auto until = std::chrono::steady_clock::now() + limit;
        for (auto& [bus, calls] : clients_) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
            if (!calls->waitFor(std::max(left, std::chrono::milliseconds(0)))) return false;
        }
        return unanswered_ == 0;
    }

    // `done` runs once every client has all its answers.
    void whenAnswered(std::function<void()> done) {
        unanswered_ = clients_.size();
        done_ = std::move(done);
        if (unanswered_ == 0) return std::exchange(done_, nullptr)();
        for (auto& [bus, calls] : clients_) {
            calls->whenAnswered([this] {
                if (--unanswered_ == 0) std::exchange(done_, nullptr)();
            });
        }
    }

    std::vector<std::vector<std::optional<AXAttributeValue>>> take() {
        std::vector<std::vector<std::optional<AXAttributeValue>>> out(elements_.size());
        for (std::size_t i = 0; i < elements_.size(); ++i) {
            One& one = all_[i];
            auto& answers = out[i];
            answers.reserve(names_.size());
            if (!one.reading) {
                // Not an accessible of its own (a run of a container's text, say): it answers itself.
                if (elements_[i]) answers = elements_[i]->copyAttributes(names_);
                else answers.resize(names_.size());
                continue;
            }
            if (one.calls) one.reading->receive(*one.calls, one.sent);
            if (one.reading->unanswered()) continue;  // no answers: to be asked again
            for (auto name : names_) answers.push_back(one.reading->read(name));
        }
        return out;
    }

private:
    Client& clientFor(DBusConnection* bus) {
        for (auto& [b, c] : clients_) {
            if (b == bus) return *c;
        }
        return *clients_.emplace_back(bus, std::make_unique<Client>(bus, callMs_)).second;
    }

    struct One {
        std::optional<Reading> reading;
        Client* calls = nullptr;
        Reading::Sent sent;
    };
    std::vector<AXElementRef> elements_;
    std::vector<std::string_view> names_;
    std::vector<std::pair<DBusConnection*, std::unique_ptr<Client>>> clients_;
    std::vector<One> all_;
    int callMs_;
    std::size_t unanswered_ = 0;
    std::function<void()> done_;
};

// A batch the loop does not wait for: a renderer busy with a long page may
// take seconds to answer a wide children list, and an answer that comes is
// worth more than a timeout (which leaves the element to be asked again).
constexpr int kBatchCallMs = 4000;

// Requests answered through the connections' dispatch on the GLib main loop;
// the caller hears of them on a turn of its own, never inside whatever call
// happened to take the last answer.
class AnsweredOnLoop : public PendingAttributes {
public:
    explicit AnsweredOnLoop(std::function<void()> onAnswered) : onAnswered_(std::move(onAnswered)) {}
    ~AnsweredOnLoop() override {
        if (idle_) g_source_remove(idle_);
    }
    bool answered() const override { return answered_; }

protected:
    // Every answer is in.
    void nowAnswered() {
        answered_ = true;
        // At the loop's default priority: an idle one starves while a
        // busy page keeps events coming.
        idle_ = g_idle_add_full(
            G_PRIORITY_DEFAULT,
            [](gpointer self) -> gboolean {
                auto& me = *static_cast<AnsweredOnLoop*>(self);
                me.idle_ = 0;
                if (me.onAnswered_) std::exchange(me.onAnswered_, nullptr)();
                return G_SOURCE_REMOVE;
            },
            this, nullptr);
    }

private:
    std::function<void()> onAnswered_;
    bool answered_ = false;
    guint idle_ = 0;
};

class AtspiPendingAttributes final : public AnsweredOnLoop {
public:
    AtspiPendingAttributes(std::span<const AXElementRef> elements, std::span<const std::string_view> names,
                           std::function<void()> onAnswered)
        : AnsweredOnLoop(std::move(onAnswered)), batch_(elements, names, kBatchCallMs) {
        batch_.whenAnswered([this] { nowAnswered(); });
    }
    bool waitFor(std::chrono::milliseconds limit) override { return answered() || batch_.waitFor(limit); }
    std::vector<std::vector<std::optional<AXAttributeValue>>> take() override { return batch_.take(); }

private:
    AttributeBatch batch_;
};

// A children list's length and its members from an index to its end, each
// by itself: cheap for the application where the whole list is not. The
// length is asked with the first few members; the rest, once the length
// says how many there are.
class AtspiPendingChildren final : public AnsweredOnLoop {
public:
    AtspiPendingChildren(AXElementRef element, const Client::Address& at, std::size_t from, std::size_t most,
                         std::function<void()> onAnswered)
        : AnsweredOnLoop(std::move(onAnswered)), element_(std::move(element)), at_(at), from_(from), most_(most),
          first_(at.bus, kBatchCallMs) {
        count_ = first_.getProperty(at, "ChildCount");
        ask(first_, firstSlots_, from, std::min(most, kFirstAsked));
        first_.whenAnswered([this] { firstAnswered(); });
    }
    bool waitFor(std::chrono::milliseconds limit) override {
        const auto until = std::chrono::steady_clock::now() + limit;
        if (answered() || !first_.waitFor(limit)) return answered();
        // The rest was asked for as the first answers came.
        if (rest_) rest_->waitFor(std::max(std::chrono::duration_cast<std::chrono::milliseconds>(
                                               until - std::chrono::steady_clock::now()),
                                           std::chrono::milliseconds(0)));
        return answered();
    }
    std::vector<std::vector<std::optional<AXAttributeValue>>> take() override {
        std::vector<std::vector<std::optional<AXAttributeValue>>> out(1);
        const auto late = [](const Client& calls, const std::vector<std::size_t>& slots) {
            return std::any_of(slots.begin(), slots.end(), [&](std::size_t slot) { return calls.timedOut(slot); });
        };
        if (first_.timedOut(count_) || late(first_, firstSlots_) || (rest_ && late(*rest_, restSlots_)))
            return out;  // unanswered: nothing known
        const auto count = first_.integer(count_);
        std::vector<AXElementRef> members;
        if (count && *count >= 0 && static_cast<std::size_t>(*count) > from_ &&
            static_cast<std::size_t>(*count) - from_ <= most_) {
            const auto adopt = [&](const Client& calls, const std::vector<std::size_t>& slots) {
                for (std::size_t slot : slots) {
                    AtspiAccessible* child = calls.child(slot);
                    if (!child) return false;  // past the end: the list changed meanwhile
                    members.push_back(AtspiElement::adopt(child));
                }
                return true;
            };
            const std::size_t end = static_cast<std::size_t>(*count);
            // Only as many as the length says: asked past it, there is no child.
            firstSlots_.resize(std::min(firstSlots_.size(), end - from_));
            if (!adopt(first_, firstSlots_) || (rest_ && !adopt(*rest_, restSlots_))) members.clear();
        }
        out[0].emplace_back(count ? std::optional<AXAttributeValue>(static_cast<double>(*count)) : std::nullopt);
        out[0].emplace_back(std::move(members));
        return out;
    }

private:
    static constexpr std::size_t kFirstAsked = 16;

    void ask(Client& calls, std::vector<std::size_t>& slots, std::size_t from, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i) slots.push_back(calls.childAtIndex(at_, static_cast<int>(from + i)));
    }
    void firstAnswered() {
        const auto count = first_.integer(count_);
        const std::size_t asked = from_ + firstSlots_.size();
        if (count && *count >= 0 && static_cast<std::size_t>(*count) > asked &&
            static_cast<std::size_t>(*count) - from_ <= most_) {
            rest_.emplace(at_.bus, kBatchCallMs);
            ask(*rest_, restSlots_, asked, static_cast<std::size_t>(*count) - asked);
            rest_->whenAnswered([this] { nowAnswered(); });
            return;
        }
        nowAnswered();
    }

    AXElementRef element_;  // holds the accessible the requests name
    Client::Address at_;
    std::size_t from_, most_;
    Client first_;
    std::optional<Client> rest_;
    std::size_t count_ = 0;
    std::vector<std::size_t> firstSlots_, restSlots_;
};

}  // namespace

std::vector<std::vector<std::optional<AXAttributeValue>>> AtspiElement::copyAttributesOfEach(
    std::span<const AXElementRef> elements, std::span<const std::string_view> names) {
    AttributeBatch batch(elements, names, Client::kCallMs);
    batch.wait();
    return batch.take();
}

std::unique_ptr<PendingAttributes> AtspiElement::requestAttributesOfEach(std::span<const AXElementRef> elements,
                                                                         std::span<const std::string_view> names,
                                                                         std::function<void()> onAnswered) {
    return std::make_unique<AtspiPendingAttributes>(elements, names, std::move(onAnswered));
}

std::unique_ptr<PendingAttributes> AtspiElement::requestChildrenFrom(const AXElementRef& element, std::size_t from,
                                                                     std::size_t most, std::function<void()> onAnswered) {
    const auto* atspi = dynamic_cast<const AtspiElement*>(element.get());
    // Gecko's lists gain runs of text between children: not the platform's indices.
    if (!atspi || !Client::makesAccessibles() || isGecko(atspi->accessible())) return nullptr;
    auto at = Client::addressOf(atspi->accessible());
    if (!at) return nullptr;
    return std::make_unique<AtspiPendingChildren>(element, *at, from, most, std::move(onAnswered));
}

bool AtspiElement::setBoolAttribute(std::string_view name, bool value) const {
    // Asking a browser for its full tree is, on Linux, the session's
    // accessibility switch: Chromium builds its web trees while it is on.
    if (name == "AXEnhancedUserInterface" || name == "AXManualAccessibility") {
        return Client::roleOf(accessible_) == ATSPI_ROLE_APPLICATION && AtspiAccessibility::setSwitch(value);
    }
    if (name != "AXFocused" || !value) return false;
    return Client::grabFocus(accessible_);
}

namespace {
// An accessible is named by its application's bus name and its object path.
struct Identity {
    std::string bus;
    std::string path;
};
Identity identity(AtspiAccessible* a) {
    Identity id;
    if (a->parent.app && a->parent.app->bus_name) id.bus = a->parent.app->bus_name;
    if (a->parent.path) id.path = a->parent.path;
    return id;
}
}  // namespace

bool AtspiElement::sameElement(const PlatformElement& other) const {
    auto* o = dynamic_cast<const AtspiElement*>(&other);
    if (!o) return false;
    if (o->accessible_ == accessible_) return true;
    auto a = identity(accessible_), b = identity(o->accessible_);
    return a.bus == b.bus && a.path == b.path;
}

std::size_t AtspiElement::identityHash() const {
    auto id = identity(accessible_);
    return std::hash<std::string>{}(id.bus) * 31 + std::hash<std::string>{}(id.path);
}

}  // namespace velmar::linux_backend
