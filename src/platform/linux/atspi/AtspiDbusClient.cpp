#include "platform/linux/atspi/AtspiDbusClient.hpp"

#include <dlfcn.h>

#include <chrono>
#include <string_view>
#include <utility>

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

std::optional<std::string> takeString(gchar* s, GError* error) {
    OwnedString owned{s};
    OwnedError err{error};
    if (err.p || !s) return std::nullopt;
    return std::string(s);
}

// libatspi's own constructor of an accessible from its bus name and path; it
// is exported but not declared in the public headers, so it is looked up once
// and the per-index reads are used where it is missing.
using RefAccessible = AtspiAccessible* (*)(const char* busName, const char* path);
RefAccessible refAccessible() {
    static const auto fn = reinterpret_cast<RefAccessible>(dlsym(RTLD_DEFAULT, "_atspi_ref_accessible"));
    return fn;
}

DBusMessage* withArgs(DBusMessage* call, bool appended) {
    if (call && !appended) {
        dbus_message_unref(call);
        return nullptr;
    }
    return call;
}

}  // namespace

std::optional<AtspiDbusClient::Address> AtspiDbusClient::addressOf(AtspiAccessible* a) {
    AtspiApplication* app = a->parent.app;
    if (!app || !app->bus_name || !a->parent.path) return std::nullopt;
    DBusConnection* bus = app->bus ? app->bus : atspi_get_a11y_bus();
    if (!bus) return std::nullopt;
    return Address{app->bus_name, a->parent.path, bus};
}

std::optional<AtspiDbusClient::Address> AtspiDbusClient::applicationRootOf(AtspiAccessible* a) {
    AtspiApplication* app = a->parent.app;
    if (!app || !app->bus_name) return std::nullopt;
    DBusConnection* bus = app->bus ? app->bus : atspi_get_a11y_bus();
    if (!bus) return std::nullopt;
    return Address{app->bus_name, "/org/a11y/atspi/accessible/root", bus};
}

bool AtspiDbusClient::makesAccessibles() { return refAccessible() != nullptr; }

AtspiDbusClient::~AtspiDbusClient() {
    for (auto& slot : slots_) {
        if (slot.pending) {
            dbus_pending_call_cancel(slot.pending);
            dbus_pending_call_unref(slot.pending);
        }
        if (slot.reply) dbus_message_unref(slot.reply);
    }
}

// Takes the call; a null call gives a slot without an answer.
std::size_t AtspiDbusClient::send(DBusMessage* call) {
    Slot slot;
    if (call) {
        if (!dbus_connection_send_with_reply(bus_, call, &slot.pending, callMs_)) slot.pending = nullptr;
        dbus_message_unref(call);
    }
    slots_.push_back(slot);
    return slots_.size() - 1;
}

std::size_t AtspiDbusClient::callMethod(const Address& at, const char* interface, const char* method) {
    return send(dbus_message_new_method_call(at.busName, at.path, interface, method));
}

std::size_t AtspiDbusClient::getProperty(const Address& at, const char* property, const char* interface) {
    DBusMessage* call = dbus_message_new_method_call(at.busName, at.path, DBUS_INTERFACE_PROPERTIES, "Get");
    return send(withArgs(call, call && dbus_message_append_args(call, DBUS_TYPE_STRING, &interface, DBUS_TYPE_STRING,
                                                                &property, DBUS_TYPE_INVALID)));
}

std::size_t AtspiDbusClient::childAtIndex(const Address& at, int index) {
    DBusMessage* call = dbus_message_new_method_call(at.busName, at.path, "org.a11y.atspi.Accessible", "GetChildAtIndex");
    dbus_int32_t i = index;
    return send(withArgs(call, call && dbus_message_append_args(call, DBUS_TYPE_INT32, &i, DBUS_TYPE_INVALID)));
}

std::size_t AtspiDbusClient::getText(const Address& at) {
    DBusMessage* call = dbus_message_new_method_call(at.busName, at.path, "org.a11y.atspi.Text", "GetText");
    dbus_int32_t start = 0, end = -1;
    return send(withArgs(
        call, call && dbus_message_append_args(call, DBUS_TYPE_INT32, &start, DBUS_TYPE_INT32, &end, DBUS_TYPE_INVALID)));
}

void AtspiDbusClient::wait() {
    for (std::size_t i = 0; i < slots_.size(); ++i) {
        if (!slots_[i].pending) continue;
        dbus_pending_call_block(slots_[i].pending);
        take(i);
    }
}

void AtspiDbusClient::take(std::size_t i) {
    Slot& slot = slots_[i];
    if (!slot.pending) return;
    slot.reply = dbus_pending_call_steal_reply(slot.pending);
    dbus_pending_call_unref(slot.pending);
    slot.pending = nullptr;
}

namespace {
struct Answering {
    AtspiDbusClient* client;
    std::size_t slot;
};
void freeAnswering(void* data) { delete static_cast<Answering*>(data); }
}  // namespace

void AtspiDbusClient::answered(DBusPendingCall*, void* data) {
    auto* at = static_cast<Answering*>(data);
    AtspiDbusClient& client = *at->client;
    // Taking the reply drops the pending call, and with it `at`.
    client.take(at->slot);
    if (client.unanswered_ > 0 && --client.unanswered_ == 0 && client.done_) std::exchange(client.done_, nullptr)();
}

void AtspiDbusClient::whenAnswered(std::function<void()> done) {
    // libatspi opens an application's peer-to-peer connection without
    // putting it on the loop (its own calls block on it): the answers would
    // wait for the next blocking call. Setting it up again is a no-op.
    atspi_dbus_connection_setup_with_g_main(bus_, nullptr);
    done_ = std::move(done);
    unanswered_ = 0;
    for (std::size_t i = 0; i < slots_.size(); ++i) {
        DBusPendingCall* pending = slots_[i].pending;
        if (!pending) continue;
        if (dbus_pending_call_get_completed(pending)) {
            take(i);
            continue;
        }
        ++unanswered_;
        if (!dbus_pending_call_set_notify(pending, &AtspiDbusClient::answered, new Answering{this, i}, freeAnswering)) {
            // Out of memory: this one is waited for instead.
            dbus_pending_call_block(pending);
            take(i);
            --unanswered_;
        }
    }
    if (unanswered_ == 0 && done_) std::exchange(done_, nullptr)();
}

bool AtspiDbusClient::waitFor(std::chrono::milliseconds limit) {
    const auto until = std::chrono::steady_clock::now() + limit;
    while (unanswered_ > 0) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now()).count();
        if (left <= 0) break;
        // Reads what has come (waiting at most `left`), then dispatches it,
        // which completes the calls it answers.
        if (!dbus_connection_read_write_dispatch(bus_, static_cast<int>(left))) break;  // disconnected
    }
    return unanswered_ == 0;
}

DBusMessage* AtspiDbusClient::replyIn(std::size_t slot) const {
    DBusMessage* r = slots_[slot].reply;
    return r && dbus_message_get_type(r) == DBUS_MESSAGE_TYPE_METHOD_RETURN ? r : nullptr;
}

bool AtspiDbusClient::unknownMethod(std::size_t slot) const {
    DBusMessage* r = slots_[slot].reply;
    return r && dbus_message_get_type(r) == DBUS_MESSAGE_TYPE_ERROR &&
           std::string_view(dbus_message_get_error_name(r) ? dbus_message_get_error_name(r) : "") ==
               DBUS_ERROR_UNKNOWN_METHOD;
}

bool AtspiDbusClient::timedOut(std::size_t slot) const {
    DBusMessage* r = slots_[slot].reply;
    if (!r) return slots_[slot].pending != nullptr;  // never answered
    if (dbus_message_get_type(r) != DBUS_MESSAGE_TYPE_ERROR) return false;
    const std::string_view error = dbus_message_get_error_name(r) ? dbus_message_get_error_name(r) : "";
    return error == DBUS_ERROR_NO_REPLY || error == DBUS_ERROR_TIMEOUT || error == DBUS_ERROR_TIMED_OUT ||
           error == DBUS_ERROR_DISCONNECTED;
}

std::optional<AtspiRole> AtspiDbusClient::role(std::size_t slot) const {
    DBusMessage* reply = replyIn(slot);
    DBusMessageIter it;
    if (!reply || !dbus_message_iter_init(reply, &it) || dbus_message_iter_get_arg_type(&it) != DBUS_TYPE_UINT32)
        return std::nullopt;
    dbus_uint32_t role = 0;
    dbus_message_iter_get_basic(&it, &role);
    if (role == ATSPI_ROLE_INVALID) return std::nullopt;
    return static_cast<AtspiRole>(role);
}

std::optional<AtspiObjectAttributes> AtspiDbusClient::attributes(std::size_t slot) const {
    DBusMessage* reply = replyIn(slot);
    DBusMessageIter it, dict, entry;
    if (!reply || !dbus_message_iter_init(reply, &it) || dbus_message_iter_get_arg_type(&it) != DBUS_TYPE_ARRAY)
        return std::nullopt;
    AtspiObjectAttributes out;
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

bool AtspiDbusClient::basic(std::size_t slot, int type, void* value) const {
    DBusMessage* reply = replyIn(slot);
    DBusMessageIter it, inner;
    if (!reply || !dbus_message_iter_init(reply, &it)) return false;
    DBusMessageIter* at = &it;
    // A property's answer comes in a variant.
    if (dbus_message_iter_get_arg_type(&it) == DBUS_TYPE_VARIANT) {
        dbus_message_iter_recurse(&it, &inner);
        at = &inner;
    }
    if (dbus_message_iter_get_arg_type(at) != type) return false;
    dbus_message_iter_get_basic(at, value);
    return true;
}

std::optional<std::string> AtspiDbusClient::string(std::size_t slot) const {
    const char* s = nullptr;
    if (!basic(slot, DBUS_TYPE_STRING, &s)) return std::nullopt;
    return std::string(s ? s : "");
}

std::optional<int> AtspiDbusClient::integer(std::size_t slot) const {
    dbus_int32_t value = 0;
    if (!basic(slot, DBUS_TYPE_INT32, &value)) return std::nullopt;
    return value;
}

namespace {
// An accessible's reference as a list or a method gives it: (bus name, path).
AtspiAccessible* referenced(DBusMessageIter* reference) {
    RefAccessible ref = refAccessible();
    if (!ref || dbus_message_iter_get_arg_type(reference) != DBUS_TYPE_STRUCT) return nullptr;
    DBusMessageIter item;
    dbus_message_iter_recurse(reference, &item);
    const char* busName = nullptr;
    const char* path = nullptr;
    if (dbus_message_iter_get_arg_type(&item) == DBUS_TYPE_STRING) {
        dbus_message_iter_get_basic(&item, &busName);
        dbus_message_iter_next(&item);
        if (dbus_message_iter_get_arg_type(&item) == DBUS_TYPE_OBJECT_PATH) dbus_message_iter_get_basic(&item, &path);
    }
    if (!busName || !path || std::string_view(path) == "/org/a11y/atspi/null") return nullptr;
    return ref(busName, path);
}
}  // namespace

std::vector<AtspiAccessible*> AtspiDbusClient::children(std::size_t slot) const {
    std::vector<AtspiAccessible*> out;
    DBusMessage* reply = replyIn(slot);
    DBusMessageIter iter, array;
    if (!reply || !dbus_message_iter_init(reply, &iter) || dbus_message_iter_get_arg_type(&iter) != DBUS_TYPE_ARRAY)
        return out;
    dbus_message_iter_recurse(&iter, &array);
    while (dbus_message_iter_get_arg_type(&array) == DBUS_TYPE_STRUCT) {
        if (AtspiAccessible* child = referenced(&array)) out.push_back(child);
        dbus_message_iter_next(&array);
    }
    return out;
}

AtspiAccessible* AtspiDbusClient::child(std::size_t slot) const {
    DBusMessage* reply = replyIn(slot);
    DBusMessageIter iter;
    if (!reply || !dbus_message_iter_init(reply, &iter)) return nullptr;
    return referenced(&iter);
}

std::optional<AtspiRole> AtspiDbusClient::roleOf(AtspiAccessible* a) {
    OwnedError error;
    AtspiRole role = atspi_accessible_get_role(a, &error.p);
    if (error.p || role == ATSPI_ROLE_INVALID) return std::nullopt;
    return role;
}

AtspiObjectAttributes AtspiDbusClient::attributesOf(AtspiAccessible* a) {
    AtspiObjectAttributes out;
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

std::optional<bool> AtspiDbusClient::hasState(AtspiAccessible* a, AtspiStateType state) {
    AtspiStateSet* set = atspi_accessible_get_state_set(a);
    if (!set) return std::nullopt;
    Owned<AtspiStateSet, unref<AtspiStateSet>> owned{set};
    if (atspi_state_set_contains(set, ATSPI_STATE_DEFUNCT)) return std::nullopt;
    return atspi_state_set_contains(set, state) != FALSE;
}

std::optional<std::string> AtspiDbusClient::nameOf(AtspiAccessible* a) {
    GError* error = nullptr;
    gchar* s = atspi_accessible_get_name(a, &error);
    return takeString(s, error);
}

std::optional<std::string> AtspiDbusClient::descriptionOf(AtspiAccessible* a) {
    GError* error = nullptr;
    gchar* s = atspi_accessible_get_description(a, &error);
    return takeString(s, error);
}

std::optional<std::string> AtspiDbusClient::textOf(AtspiAccessible* a) {
    AtspiText* text = atspi_accessible_get_text_iface(a);
    if (!text) return std::nullopt;
    Owned<AtspiText, unref<AtspiText>> owned{text};
    // An end offset of -1 is the end of the text: one request, not two.
    GError* error = nullptr;
    gchar* s = atspi_text_get_text(text, 0, -1, &error);
    return takeString(s, error);
}

std::optional<std::string> AtspiDbusClient::documentAddressOf(AtspiAccessible* a) {
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

std::optional<std::string> AtspiDbusClient::linkAddressOf(AtspiAccessible* a) {
    AtspiHyperlink* link = atspi_accessible_get_hyperlink(a);
    if (!link) return std::nullopt;
    Owned<AtspiHyperlink, unref<AtspiHyperlink>> owned{link};
    GError* error = nullptr;
    gchar* uri = atspi_hyperlink_get_uri(link, 0, &error);
    auto s = takeString(uri, error);
    if (s && s->empty()) return std::nullopt;
    return s;
}

AtspiAccessible* AtspiDbusClient::childAt(AtspiAccessible* a, int index) {
    OwnedError error;
    AtspiAccessible* child = atspi_accessible_get_child_at_index(a, index, &error.p);
    if (error.p && child) {
        g_object_unref(child);
        return nullptr;
    }
    return child;
}

AtspiAccessible* AtspiDbusClient::parentOf(AtspiAccessible* a) {
    OwnedError error;
    AtspiAccessible* parent = atspi_accessible_get_parent(a, &error.p);
    if (error.p && parent) {
        g_object_unref(parent);
        return nullptr;
    }
    return parent;
}

std::optional<int> AtspiDbusClient::childCountOf(AtspiAccessible* a) {
    OwnedError error;
    gint count = atspi_accessible_get_child_count(a, &error.p);
    if (error.p) return std::nullopt;
    return count;
}

bool AtspiDbusClient::grabFocus(AtspiAccessible* a) {
    AtspiComponent* component = atspi_accessible_get_component_iface(a);
    if (!component) return false;
    Owned<AtspiComponent, unref<AtspiComponent>> owned{component};
    OwnedError error;
    gboolean ok = atspi_component_grab_focus(component, &error.p);
    return !error.p && ok != FALSE;
}

}  // namespace velmar::linux_backend
