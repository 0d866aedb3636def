#pragma once
// The requests the agent makes to an accessible's application. Two kinds:
// - pipelined: raw D-Bus calls on the accessibility bus, all sent before any
//   answer is awaited, so several reads of one accessible cost one round
//   trip's latency where libatspi would make one round trip each;
// - single: libatspi's own calls, for what is read rarely or where libatspi's
//   cache may answer without a request.
// An instance is one batch of pipelined calls on one connection.

#include <atspi/atspi.h>
#include <dbus/dbus.h>

#include <chrono>
#include <cstddef>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace velmar::linux_backend {

using AtspiObjectAttributes = std::map<std::string, std::string, std::less<>>;

class AtspiDbusClient {
public:
    // Where an accessible's requests go; absent for one libatspi made up.
    struct Address {
        const char* busName;
        const char* path;
        DBusConnection* bus;
    };
    static std::optional<Address> addressOf(AtspiAccessible* a);
    // The root of the accessible's application, which answers for its toolkit.
    static std::optional<Address> applicationRootOf(AtspiAccessible* a);
    // Whether accessibles can be made from a children list's bus names and
    // paths (libatspi's constructor for them is not public and may be missing).
    static bool makesAccessibles();

    // How long a read the loop waits for may go unanswered; a batch the loop
    // does not wait for may give a busy renderer longer.
    static constexpr int kCallMs = 1000;

    // `callMs`: how long a call may go unanswered before it counts as timed out.
    explicit AtspiDbusClient(DBusConnection* bus, int callMs = kCallMs) : bus_(bus), callMs_(callMs) {}
    ~AtspiDbusClient();
    AtspiDbusClient(const AtspiDbusClient&) = delete;
    AtspiDbusClient& operator=(const AtspiDbusClient&) = delete;

    // Each sends one call and gives the slot to read its answer from.
    std::size_t callMethod(const Address& at, const char* interface, const char* method);
    std::size_t getProperty(const Address& at, const char* property,
                            const char* interface = "org.a11y.atspi.Accessible");
    // One child by its index in the accessible's children list.
    std::size_t childAtIndex(const Address& at, int index);
    // The whole text of the accessible's text interface.
    std::size_t getText(const Address& at);
    // Waits for every answer.
    void wait();
    // Calls `done` once every answer is in, without waiting: answers are
    // taken as the connection's dispatch (on the main loop) delivers them, or
    // any later call on the connection that waits. Calls sent after this are
    // not covered.
    void whenAnswered(std::function<void()> done);
    // After `whenAnswered`: reads the connection until every answer is in
    // or `limit` has passed; whether they are in. Other messages read on the
    // way are dispatched as the loop would (libatspi's own calls do the same).
    bool waitFor(std::chrono::milliseconds limit);

    // Whether the application does not know the call at all.
    bool unknownMethod(std::size_t slot) const;
    // Whether the call got no answer in time (or the connection went): unlike
    // an error, it says nothing about the accessible.
    bool timedOut(std::size_t slot) const;
    // Answers, absent when the call failed, timed out or answered otherwise.
    std::optional<AtspiRole> role(std::size_t slot) const;
    std::optional<AtspiObjectAttributes> attributes(std::size_t slot) const;
    // A string property's answer or a method's string answer.
    std::optional<std::string> string(std::size_t slot) const;
    // An integer property's answer.
    std::optional<int> integer(std::size_t slot) const;
    // A children list, each a new reference (the caller adopts them).
    std::vector<AtspiAccessible*> children(std::size_t slot) const;
    // One child, a new reference; null when there is none.
    AtspiAccessible* child(std::size_t slot) const;

    // Single requests through libatspi; absent when the request failed.
    static std::optional<AtspiRole> roleOf(AtspiAccessible* a);
    static AtspiObjectAttributes attributesOf(AtspiAccessible* a);
    // Absent too for a defunct accessible (gone from its application).
    static std::optional<bool> hasState(AtspiAccessible* a, AtspiStateType state);
    static std::optional<std::string> nameOf(AtspiAccessible* a);
    static std::optional<std::string> descriptionOf(AtspiAccessible* a);
    static std::optional<std::string> textOf(AtspiAccessible* a);
    // A document's address: Chromium lists it as "DocURL" (older builds "URI").
    static std::optional<std::string> documentAddressOf(AtspiAccessible* a);
    static std::optional<std::string> linkAddressOf(AtspiAccessible* a);
    // New references, or null.
    static AtspiAccessible* childAt(AtspiAccessible* a, int index);
    static AtspiAccessible* parentOf(AtspiAccessible* a);
    static std::optional<int> childCountOf(AtspiAccessible* a);
    static bool grabFocus(AtspiAccessible* a);

private:
    DBusMessage* replyIn(std::size_t slot) const;
    // A basic answer of D-Bus type `type` (in a variant or not) into `value`.
    bool basic(std::size_t slot, int type, void* value) const;
    std::size_t send(DBusMessage* call);

    static void answered(DBusPendingCall* pending, void* slot);
    void take(std::size_t slot);

    struct Slot {
        DBusPendingCall* pending = nullptr;
        DBusMessage* reply = nullptr;
    };
    DBusConnection* bus_;
    int callMs_;
    std::vector<Slot> slots_;
    std::size_t unanswered_ = 0;
    std::function<void()> done_;
};

}  // namespace velmar::linux_backend
