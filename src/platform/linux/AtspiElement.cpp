#include "platform/linux/AtspiElement.hpp"

#include "platform/linux/AtspiAccessibility.hpp"
#include "platform/linux/AtspiRoleMap.hpp"
#include "platform/linux/AtspiTextRun.hpp"

#include <atspi/atspi.h>
#include <dbus/dbus.h>
#include <dlfcn.h>

#include <functional>
#include <map>
#include <sstream>

namespace velmar::linux_backend {
namespace {

// Frees what libatspi hands over, whatever happens on the way out.
template <typename T, void (*Free)(T*)>
struct Owned {
    T* p = nullptr;
    ~Owned() {
        if (p) Free(p);
    }
};
void freeString(gchar* s) { g_free(s); }
void freeTable(GHashTable* t) { g_hash_table_unref(t); }
void freeError(GError* e) { g_error_free(e); }
void unrefObject(void* o) { g_object_unref(o); }
template <typename T>
void unref(T* o) { unrefObject(o); }
using OwnedString = Owned<gchar, freeString>;
using OwnedError = Owned<GError, freeError>;

using ObjectAttributes = std::map<std::string, std::string, std::less<>>;

ObjectAttributes objectAttributes(AtspiAccessible* a) {
    ObjectAttributes out;
    OwnedError error;
    Owned<GHashTable, freeTable> table{atspi_accessible_get_attributes(a, &error.p)};
    if (error.p || !table.p) return out;
    GHashTableIter it;
    gpointer key, value;
    g_hash_table_iter_init(&it, table.p);
    while (g_hash_table_iter_next(&it, &key, &value)) {
        out.emplace(static_cast<const char*>(key), value ? static_cast<const char*>(value) : "");
    }
    return out;
}

std::string_view lookup(const ObjectAttributes& attrs, std::string_view key) {
    auto it = attrs.find(key);
    return it == attrs.end() ? std::string_view() : std::string_view(it->second);
}

std::optional<AtspiRole> atspiRole(AtspiAccessible* a) {
    OwnedError error;
    AtspiRole role = atspi_accessible_get_role(a, &error.p);
    if (error.p || role == ATSPI_ROLE_INVALID) return std::nullopt;
    return role;
}

std::optional<bool> hasState(AtspiAccessible* a, AtspiStateType state) {
    AtspiStateSet* set = atspi_accessible_get_state_set(a);
    if (!set) return std::nullopt;
    Owned<AtspiStateSet, unref<AtspiStateSet>> owned{set};
    // A defunct element has gone from its application.
    if (atspi_state_set_contains(set, ATSPI_STATE_DEFUNCT)) return std::nullopt;
    return atspi_state_set_contains(set, state) != FALSE;
}

std::optional<std::string> takeString(gchar* s, GError* error) {
    OwnedString owned{s};
    OwnedError err{error};
    if (err.p || !s) return std::nullopt;
    return std::string(s);
}

std::optional<std::string> accessibleName(AtspiAccessible* a) {
    GError* error = nullptr;
    gchar* s = atspi_accessible_get_name(a, &error);
    return takeString(s, error);
}

std::optional<std::string> textContents(AtspiAccessible* a) {
    AtspiText* text = atspi_accessible_get_text_iface(a);
    if (!text) return std::nullopt;
    Owned<AtspiText, unref<AtspiText>> owned{text};
    // An end offset of -1 is the end of the text: one request, not two.
    GError* error = nullptr;
    gchar* s = atspi_text_get_text(text, 0, -1, &error);
    return takeString(s, error);
}

// An editable field's text: Chromium stands each child element of a
// contenteditable editor (ProseMirror's and Quill's paragraphs) in the text as
// an embedded-object character, in child order; each is replaced by that
// child's own text, paragraphs one to a line.
std::optional<std::string> editableText(AtspiAccessible* a, int depth = 0) {
    static constexpr std::string_view kEmbedded = "\xEF\xBF\xBC";  // U+FFFC
    auto text = textContents(a);
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
        GError* error = nullptr;
        AtspiAccessible* c = atspi_accessible_get_child_at_index(a, child++, &error);
        if (error) g_error_free(error);
        if (!c) continue;
        auto inner = editableText(c, depth + 1);
        g_object_unref(c);
        if (lastWasChild) out += '\n';
        if (inner) out += *inner;
        lastWasChild = true;
    }
    return out;
}

// libatspi's own constructor of an accessible from its bus name and path; it
// is exported but not declared in the public headers, so it is looked up once
// and the per-index reads are used where it is missing.
using RefAccessible = AtspiAccessible* (*)(const char* busName, const char* path);
RefAccessible refAccessible() {
    static const auto fn = reinterpret_cast<RefAccessible>(dlsym(RTLD_DEFAULT, "_atspi_ref_accessible"));
    return fn;
}

// Requests to one application sent before any answer is awaited: the
// application still handles them one after another, but they are in flight
// together, so the agent pays one round trip's latency for all of them.
class PipelinedCalls {
public:
    explicit PipelinedCalls(DBusConnection* bus) : bus_(bus) {}
    ~PipelinedCalls() {
        for (auto& slot : slots_) {
            if (slot.pending) {
                dbus_pending_call_cancel(slot.pending);
                dbus_pending_call_unref(slot.pending);
            }
            if (slot.reply) dbus_message_unref(slot.reply);
        }
    }
    PipelinedCalls(const PipelinedCalls&) = delete;
    PipelinedCalls& operator=(const PipelinedCalls&) = delete;

    // Sends the call (taking it); the slot to read its answer from.
    std::size_t send(DBusMessage* call) {
        Slot slot;
        if (call) {
            if (!dbus_connection_send_with_reply(bus_, call, &slot.pending, kCallMs)) slot.pending = nullptr;
            dbus_message_unref(call);
        }
        slots_.push_back(slot);
        return slots_.size() - 1;
    }
    // Waits for every answer.
    void wait() {
        for (auto& slot : slots_) {
            if (!slot.pending) continue;
            dbus_pending_call_block(slot.pending);
            slot.reply = dbus_pending_call_steal_reply(slot.pending);
            dbus_pending_call_unref(slot.pending);
            slot.pending = nullptr;
        }
    }
    // The answer of a call; null when it failed, timed out or was an error.
    DBusMessage* reply(std::size_t slot) const {
        DBusMessage* r = slots_[slot].reply;
        return r && dbus_message_get_type(r) == DBUS_MESSAGE_TYPE_METHOD_RETURN ? r : nullptr;
    }
    // Whether the application does not know the call at all.
    bool unknownMethod(std::size_t slot) const {
        DBusMessage* r = slots_[slot].reply;
        return r && dbus_message_get_type(r) == DBUS_MESSAGE_TYPE_ERROR &&
               std::string_view(dbus_message_get_error_name(r) ? dbus_message_get_error_name(r) : "") ==
                   DBUS_ERROR_UNKNOWN_METHOD;
    }

private:
    static constexpr int kCallMs = 1000;
    struct Slot {
        DBusPendingCall* pending = nullptr;
        DBusMessage* reply = nullptr;
    };
    DBusConnection* bus_;
    std::vector<Slot> slots_;
};

// Where an accessible's requests go: its application's bus name, the object
// path and the connection; absent for an accessible libatspi made up.
struct Address {
    const char* busName;
    const char* path;
    DBusConnection* bus;
};
std::optional<Address> addressOf(AtspiAccessible* a) {
    AtspiApplication* app = a->parent.app;
    if (!app || !app->bus_name || !a->parent.path) return std::nullopt;
    DBusConnection* bus = app->bus ? app->bus : atspi_get_a11y_bus();
    if (!bus) return std::nullopt;
    return Address{app->bus_name, a->parent.path, bus};
}

DBusMessage* methodCall(const Address& at, const char* interface, const char* method) {
    return dbus_message_new_method_call(at.busName, at.path, interface, method);
}

DBusMessage* propertyCall(const Address& at, const char* property,
                          const char* interface = "org.a11y.atspi.Accessible") {
    DBusMessage* call = dbus_message_new_method_call(at.busName, at.path, DBUS_INTERFACE_PROPERTIES, "Get");
    if (call && !dbus_message_append_args(call, DBUS_TYPE_STRING, &interface, DBUS_TYPE_STRING, &property,
                                          DBUS_TYPE_INVALID)) {
        dbus_message_unref(call);
        return nullptr;
    }
    return call;
}

// The whole text of an accessible's text interface, as one request.
DBusMessage* textCall(const Address& at) {
    DBusMessage* call = methodCall(at, "org.a11y.atspi.Text", "GetText");
    dbus_int32_t start = 0, end = -1;
    if (call && !dbus_message_append_args(call, DBUS_TYPE_INT32, &start, DBUS_TYPE_INT32, &end, DBUS_TYPE_INVALID)) {
        dbus_message_unref(call);
        return nullptr;
    }
    return call;
}

std::optional<AtspiRole> decodeRole(DBusMessage* reply) {
    DBusMessageIter it;
    if (!reply || !dbus_message_iter_init(reply, &it) || dbus_message_iter_get_arg_type(&it) != DBUS_TYPE_UINT32)
        return std::nullopt;
    dbus_uint32_t role = 0;
    dbus_message_iter_get_basic(&it, &role);
    if (role == ATSPI_ROLE_INVALID) return std::nullopt;
    return static_cast<AtspiRole>(role);
}

std::optional<ObjectAttributes> decodeAttributes(DBusMessage* reply) {
    DBusMessageIter it, dict, entry;
    if (!reply || !dbus_message_iter_init(reply, &it) || dbus_message_iter_get_arg_type(&it) != DBUS_TYPE_ARRAY)
        return std::nullopt;
    ObjectAttributes out;
    dbus_message_iter_recurse(&it, &dict);
    while (dbus_message_iter_get_arg_type(&dict) == DBUS_TYPE_DICT_ENTRY) {
        dbus_message_iter_recurse(&dict, &entry);
        const char* key = nullptr;
        const char* value = nullptr;
        if (dbus_message_iter_get_arg_type(&entry) == DBUS_TYPE_STRING) {
            dbus_message_iter_get_basic(&entry, &key);
            dbus_message_iter_next(&entry);
            if (dbus_message_iter_get_arg_type(&entry) == DBUS_TYPE_STRING) dbus_message_iter_get_basic(&entry, &value);
        }
        if (key) out.emplace(key, value ? value : "");
        dbus_message_iter_next(&dict);
    }
    return out;
}

// A string property's answer (a variant) or a method's string answer.
std::optional<std::string> decodeString(DBusMessage* reply) {
    DBusMessageIter it, inner;
    if (!reply || !dbus_message_iter_init(reply, &it)) return std::nullopt;
    DBusMessageIter* at = &it;
    if (dbus_message_iter_get_arg_type(&it) == DBUS_TYPE_VARIANT) {
        dbus_message_iter_recurse(&it, &inner);
        at = &inner;
    }
    if (dbus_message_iter_get_arg_type(at) != DBUS_TYPE_STRING) return std::nullopt;
    const char* s = nullptr;
    dbus_message_iter_get_basic(at, &s);
    return std::string(s ? s : "");
}

std::vector<AXElementRef> decodeChildren(DBusMessage* reply, RefAccessible ref) {
    std::vector<AXElementRef> out;
    DBusMessageIter iter, array;
    if (!reply || !dbus_message_iter_init(reply, &iter) || dbus_message_iter_get_arg_type(&iter) != DBUS_TYPE_ARRAY)
        return out;
    dbus_message_iter_recurse(&iter, &array);
    while (dbus_message_iter_get_arg_type(&array) == DBUS_TYPE_STRUCT) {
        DBusMessageIter item;
        dbus_message_iter_recurse(&array, &item);
        const char* busName = nullptr;
        const char* path = nullptr;
        if (dbus_message_iter_get_arg_type(&item) == DBUS_TYPE_STRING) {
            dbus_message_iter_get_basic(&item, &busName);
            dbus_message_iter_next(&item);
            if (dbus_message_iter_get_arg_type(&item) == DBUS_TYPE_OBJECT_PATH) dbus_message_iter_get_basic(&item, &path);
        }
        if (busName && path && std::string_view(path) != "/org/a11y/atspi/null") {
            if (auto child = AtspiElement::adopt(ref(busName, path))) out.push_back(std::move(child));
        }
        dbus_message_iter_next(&array);
    }
    return out;
}

// All children in one GetChildren request, where libatspi would ask for the
// count and then each child by index (a round trip each) unless its cache
// holds them. Absent when the request cannot be made; an element that is gone
// answers with an error and has no children.
std::optional<std::vector<AXElementRef>> childrenInOneCall(AtspiAccessible* a) {
    RefAccessible ref = refAccessible();
    auto at = addressOf(a);
    if (!ref || !at) return std::nullopt;
    // libatspi answers a cached children list without a request at all.
    if (_atspi_accessible_test_cache(a, ATSPI_CACHE_CHILDREN)) return std::nullopt;
    PipelinedCalls calls(at->bus);
    const auto slot = calls.send(methodCall(*at, "org.a11y.atspi.Accessible", "GetChildren"));
    calls.wait();
    if (calls.unknownMethod(slot)) return std::nullopt;
    return decodeChildren(calls.reply(slot), ref);
}

// Whether the accessible's application is built on Gecko (Firefox), which
// folds text into its containers' own text instead of giving text leaves.
// Asked once per application (its root answers for its toolkit).
bool isGecko(AtspiAccessible* a) {
    AtspiApplication* app = a->parent.app;
    if (!app || !app->bus_name) return false;
    static std::map<std::string, bool, std::less<>> known;
    if (auto it = known.find(std::string_view(app->bus_name)); it != known.end()) return it->second;
    DBusConnection* bus = app->bus ? app->bus : atspi_get_a11y_bus();
    if (!bus) return false;
    const Address root{app->bus_name, "/org/a11y/atspi/accessible/root", bus};
    PipelinedCalls calls(bus);
    const auto slot = calls.send(propertyCall(root, "ToolkitName", "org.a11y.atspi.Application"));
    calls.wait();
    auto name = decodeString(calls.reply(slot));
    if (!name) return false;  // asked again next time
    return known.emplace(app->bus_name, *name == "Gecko").first->second;
}

std::vector<AXElementRef> children(AtspiAccessible* a) {
    if (auto all = childrenInOneCall(a)) return std::move(*all);
    std::vector<AXElementRef> out;
    GError* error = nullptr;
    gint count = atspi_accessible_get_child_count(a, &error);
    if (error) {
        g_error_free(error);
        return out;
    }
    out.reserve(static_cast<std::size_t>(count > 0 ? count : 0));
    for (gint i = 0; i < count; ++i) {
        AtspiAccessible* child = atspi_accessible_get_child_at_index(a, i, &error);
        if (error) {
            g_error_free(error);
            error = nullptr;
            continue;
        }
        if (auto ref = AtspiElement::adopt(child)) out.push_back(std::move(ref));
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
        auto role = atspiRole(element->accessible());
        // Chromium keeps hidden helper frames (popups, menus) as frames,
        // some without the showing state; they are not windows a person sees.
        if (!role || !isWindowRole(*role) || !hasState(element->accessible(), ATSPI_STATE_SHOWING).value_or(false))
            continue;
        // Two more per browser window hold its address-bar suggestions: they
        // claim to be showing but are never on screen. They have no title and
        // the bare "RootView" class, where a browser window has both.
        if (accessibleName(element->accessible()).value_or("").empty() &&
            lookup(objectAttributes(element->accessible()), "class") == "RootView")
            continue;
        out.push_back(std::move(child));
    }
    return out;
}

// A document's address: Chromium lists it as "DocURL" (older builds "URI").
std::optional<std::string> documentAddress(AtspiAccessible* a) {
    AtspiDocument* doc = atspi_accessible_get_document_iface(a);
    if (!doc) return std::nullopt;
    Owned<AtspiDocument, unref<AtspiDocument>> owned{doc};
    for (const char* key : {"DocURL", "URI"}) {
        GError* error = nullptr;
        gchar* value = atspi_document_get_document_attribute_value(doc, const_cast<gchar*>(key), &error);
        auto s = takeString(value, error);
        if (s && !s->empty()) return s;
    }
    return std::nullopt;
}

std::optional<std::string> linkAddress(AtspiAccessible* a) {
    AtspiHyperlink* link = atspi_accessible_get_hyperlink(a);
    if (!link) return std::nullopt;
    Owned<AtspiHyperlink, unref<AtspiHyperlink>> owned{link};
    GError* error = nullptr;
    gchar* uri = atspi_hyperlink_get_uri(link, 0, &error);
    auto s = takeString(uri, error);
    if (s && s->empty()) return std::nullopt;
    return s;
}

std::vector<std::string> splitClasses(std::string_view classes) {
    std::vector<std::string> out;
    std::istringstream in{std::string(classes)};
    for (std::string c; in >> c;) out.push_back(std::move(c));
    return out;
}

std::optional<AXAttributeValue> stateAttribute(AtspiAccessible* a, AtspiStateType state) {
    auto v = hasState(a, state);
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

    // Sends the requests the named attributes need, all at once.
    void fetch(std::span<const std::string_view> names) {
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
        auto at = addressOf(a_);
        RefAccessible ref = refAccessible();
        if (!at || !role) return;
        PipelinedCalls calls(at->bus);
        const std::size_t none = static_cast<std::size_t>(-1);
        const std::size_t roleSlot = role_ ? none : calls.send(methodCall(*at, "org.a11y.atspi.Accessible", "GetRole"));
        const std::size_t attrsSlot =
            attrs_ ? none : calls.send(methodCall(*at, "org.a11y.atspi.Accessible", "GetAttributes"));
        const std::size_t nameSlot = !name || name_ ? none : calls.send(propertyCall(*at, "Name"));
        const std::size_t kidsSlot = !kids || children_ || !ref
                                         ? none
                                         : calls.send(methodCall(*at, "org.a11y.atspi.Accessible", "GetChildren"));
        // Gecko's runs of text are in the container's own text: asked with
        // its children, they cost no round trip of their own.
        const std::size_t textSlot = !kids || ownText_ || !isGecko(a_) ? none : calls.send(textCall(*at));
        calls.wait();
        if (roleSlot != none) role_ = decodeRole(calls.reply(roleSlot));
        if (attrsSlot != none) attrs_ = decodeAttributes(calls.reply(attrsSlot)).value_or(ObjectAttributes{});
        if (nameSlot != none) name_ = decodeString(calls.reply(nameSlot));
        if (kidsSlot != none && !calls.unknownMethod(kidsSlot)) children_ = decodeChildren(calls.reply(kidsSlot), ref);
        if (textSlot != none) ownText_ = decodeString(calls.reply(textSlot));
    }

    std::optional<AtspiRole> role() {
        if (!role_) role_ = atspiRole(a_);
        return *role_;
    }
    const ObjectAttributes& attrs() {
        if (!attrs_) attrs_ = objectAttributes(a_);
        return *attrs_;
    }
    std::optional<AXRoleMapping> mapping() {
        if (!mapping_) {
            auto r = role();
            if (!r) {
                mapping_ = std::optional<AXRoleMapping>();
            } else {
                const ObjectAttributes& at = attrs();
                bool multiLine = false, checked = false;
                if (*r == ATSPI_ROLE_ENTRY) multiLine = hasState(a_, ATSPI_STATE_MULTI_LINE).value_or(false);
                if (*r == ATSPI_ROLE_CHECK_BOX) checked = hasState(a_, ATSPI_STATE_CHECKED).value_or(false);
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
        if (!name_) name_ = accessibleName(a_);
        return *name_;
    }
    std::vector<AXElementRef> kids() {
        if (!children_) children_ = children(a_);
        if (!isGecko(a_)) return *children_;
        // A text leaf or a field reads its text whole; any other container's
        // runs of text become text leaves between its children.
        auto m = mapping();
        if (!m || m->role == "AXStaticText" || m->role == "AXTextField" || m->role == "AXTextArea") return *children_;
        if (!ownText_) ownText_ = textContents(a_);
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
    std::optional<std::optional<AtspiRole>> role_;
    std::optional<ObjectAttributes> attrs_;
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
            auto text = textContents(a);
            if (!text) return std::nullopt;
            return AXAttributeValue(std::move(*text));
        }
        if (axRole == "AXStaticText") {
            // A text leaf's name is its text (Chromium names it from its
            // contents), so the name read with the rest saves a request;
            // the text is asked for where the name is empty.
            if (auto value = named(NameSlot::Value)) return value;
            auto text = textContents(a);
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
        GError* error = nullptr;
        auto d = takeString(atspi_accessible_get_description(a, &error), error);
        if (!d || d->empty()) return std::nullopt;
        return AXAttributeValue(std::move(*d));
    }
    if (name == "AXPlaceholderValue" || name == "AXDOMClassList" || name == "AXDOMIdentifier") {
        const ObjectAttributes& at = attrs();
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
        GError* error = nullptr;
        AtspiAccessible* parent = atspi_accessible_get_parent(a, &error);
        if (error) {
            g_error_free(error);
            return std::nullopt;
        }
        if (!parent) return std::nullopt;
        return AXAttributeValue(AtspiElement::adopt(parent));
    }
    if (name == "AXURL") {
        auto r = role();
        if (!r) return std::nullopt;
        auto address = (*r == ATSPI_ROLE_DOCUMENT_WEB || *r == ATSPI_ROLE_DOCUMENT_FRAME) ? documentAddress(a)
                       : *r == ATSPI_ROLE_LINK                                               ? linkAddress(a)
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
            if (hasState(w->accessible(), ATSPI_STATE_ACTIVE).value_or(false)) return AXAttributeValue(window);
        }
        return std::nullopt;
    }
    if (name == "AXMinimized") return stateAttribute(a, ATSPI_STATE_ICONIFIED);
    // Firefox keeps a background tab's page in the tree, not showing.
    if (name == "AXHidden") {
        auto showing = hasState(a, ATSPI_STATE_SHOWING);
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

bool AtspiElement::setBoolAttribute(std::string_view name, bool value) const {
    // Asking a browser for its full tree is, on Linux, the session's
    // accessibility switch: Chromium builds its web trees while it is on.
    if (name == "AXEnhancedUserInterface" || name == "AXManualAccessibility") {
        return atspiRole(accessible_) == ATSPI_ROLE_APPLICATION && AtspiAccessibility::setSwitch(value);
    }
    if (name != "AXFocused" || !value) return false;
    AtspiComponent* component = atspi_accessible_get_component_iface(accessible_);
    if (!component) return false;
    Owned<AtspiComponent, unref<AtspiComponent>> owned{component};
    GError* error = nullptr;
    gboolean ok = atspi_component_grab_focus(component, &error);
    if (error) {
        g_error_free(error);
        return false;
    }
    return ok != FALSE;
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
