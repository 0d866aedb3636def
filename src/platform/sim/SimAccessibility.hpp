#pragma once
// Simulated process-level accessibility: a trust switch, the running
// applications' root elements by process id, and observers. A notification
// posted for an element of an application reaches every observer of that
// process that registered the name on the element or on the application
// element; with a main loop attached it is delivered on the loop.

#include "platform/Accessibility.hpp"
#include "platform/MainLoop.hpp"
#include "platform/sim/SimElement.hpp"

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace velmar::sim {

class SimAccessibility final : public Accessibility {
public:
    SimAccessibility() = default;
    explicit SimAccessibility(MainLoop* loop) : loop_(loop) {}

    bool isProcessTrusted() const override { return trusted_; }
    AXElementRef applicationElement(int pid) const override;
    std::unique_ptr<AccessibilityObserver> createObserver(int pid, AXNotificationHandler handler) override;

    void attachLoop(MainLoop* loop) { loop_ = loop; }
    // Batches of reads are answered `latency` after they are asked, on the
    // attached loop, as the page stood when asked (a busy browser's answers);
    // absent: reads wait, as a backend that cannot read otherwise.
    void answerAfter(std::optional<Duration> latency) { answerAfter_ = latency; }
    std::unique_ptr<PendingAttributes> requestAttributesOfEach(std::span<const AXElementRef> elements,
                                                               std::span<const std::string_view> names,
                                                               std::function<void()> onAnswered) const override;
    std::unique_ptr<PendingAttributes> requestChildrenFrom(const AXElementRef& element, std::size_t from,
                                                           std::size_t most,
                                                           std::function<void()> onAnswered) const override;
    // Batches asked without waiting.
    std::size_t requests() const { return requests_; }
    // The next `times` batched reads of `element` (its list's end included) go unanswered in time.
    void leaveUnanswered(const SimElementPtr& element, int times) { unanswered_[element.get()] = times; }
    void setTrusted(bool trusted) { trusted_ = trusted; }
    void addApplication(int pid, SimElementPtr app) { apps_[pid] = std::move(app); }
    void removeApplication(int pid) { apps_.erase(pid); }
    // Observer creation for this process fails from now on (or works again).
    void failObservers(int pid, bool fail = true);
    // Names refused at registration for this process.
    void refuseNotification(int pid, std::string name) { refused_[pid].insert(std::move(name)); }

    // The application posts `notification` on `element` (null: the
    // application element). Returns the number of observers it goes to.
    std::size_t post(int pid, std::string notification, SimElementPtr element = nullptr);

    // Live observers of a process and their registered names, for inspection.
    std::size_t observerCount(int pid) const;
    std::multiset<std::string> registeredNames(int pid) const;

private:
    // Answers a request on the loop after the latency.
    std::unique_ptr<PendingAttributes> answerLater(std::vector<std::vector<std::optional<AXAttributeValue>>> answers,
                                                   std::function<void()> onAnswered) const;
    // Whether the element's next read goes unanswered (and counts it).
    bool leavesUnanswered(const AXElementRef& element) const;

    struct Registration {
        const PlatformElement* element;
        std::string name;
        bool operator<(const Registration& o) const { return std::tie(element, name) < std::tie(o.element, o.name); }
    };
    // One observer's state, shared with its handle; the handle's destruction
    // marks it dead so queued deliveries are dropped.
    struct ObserverState {
        int pid = 0;
        AXNotificationHandler handler;
        std::set<Registration> registrations;
        bool alive = true;
    };
    class Observer;

    bool trusted_ = true;
    MainLoop* loop_ = nullptr;
    std::optional<Duration> answerAfter_;
    mutable std::size_t requests_ = 0;
    mutable std::map<const SimElement*, int> unanswered_;
    std::map<int, SimElementPtr> apps_;
    std::set<int> failing_;
    std::map<int, std::set<std::string, std::less<>>> refused_;
    std::vector<std::weak_ptr<ObserverState>> observers_;
};

}  // namespace velmar::sim
