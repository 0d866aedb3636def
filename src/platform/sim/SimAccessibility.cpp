#include "platform/sim/SimAccessibility.hpp"

#include <tuple>

namespace velmar::sim {

class SimAccessibility::Observer final : public AccessibilityObserver {
public:
    Observer(std::shared_ptr<ObserverState> state, const SimAccessibility& owner)
        : state_(std::move(state)), owner_(owner) {}
    ~Observer() override { state_->alive = false; }

    bool registerNotification(const AXElementRef& element, std::string_view notification) override {
        if (!element) return false;
        auto refused = owner_.refused_.find(state_->pid);
        if (refused != owner_.refused_.end() && refused->second.contains(notification)) return false;
        state_->registrations.insert({element.get(), std::string(notification)});
        return true;
    }
    bool unregisterNotification(const AXElementRef& element, std::string_view notification) override {
        if (!element) return false;
        return state_->registrations.erase({element.get(), std::string(notification)}) > 0;
    }

private:
    std::shared_ptr<ObserverState> state_;
    const SimAccessibility& owner_;
};

AXElementRef SimAccessibility::applicationElement(int pid) const {
    auto it = apps_.find(pid);
    if (it == apps_.end()) return nullptr;
    return it->second;
}

std::unique_ptr<AccessibilityObserver> SimAccessibility::createObserver(int pid, AXNotificationHandler handler) {
    if (failing_.contains(pid) || !apps_.contains(pid)) return nullptr;
    auto state = std::make_shared<ObserverState>();
    state->pid = pid;
    state->handler = std::move(handler);
    std::erase_if(observers_, [](const auto& weak) { return weak.expired(); });
    observers_.push_back(state);
    return std::make_unique<Observer>(std::move(state), *this);
}

void SimAccessibility::failObservers(int pid, bool fail) {
    if (fail) failing_.insert(pid);
    else failing_.erase(pid);
}

std::size_t SimAccessibility::post(int pid, std::string notification, SimElementPtr element) {
    auto app = apps_.find(pid);
    if (app == apps_.end()) return 0;
    AXElementRef target = element ? AXElementRef(element) : AXElementRef(app->second);
    std::size_t reached = 0;
    for (const auto& weak : observers_) {
        auto state = weak.lock();
        if (!state || !state->alive || state->pid != pid) continue;
        const bool onTarget = state->registrations.contains({target.get(), notification});
        const bool onApp = state->registrations.contains({app->second.get(), notification});
        if (!onTarget && !onApp) continue;
        ++reached;
        auto deliver = [state, target, notification] {
            if (state->alive) state->handler(target, notification);
        };
        if (loop_) loop_->post(std::move(deliver));
        else deliver();
    }
    return reached;
}

std::size_t SimAccessibility::observerCount(int pid) const {
    std::size_t n = 0;
    for (const auto& weak : observers_) {
        auto state = weak.lock();
        if (state && state->alive && state->pid == pid) ++n;
    }
    return n;
}

std::multiset<std::string> SimAccessibility::registeredNames(int pid) const {
    std::multiset<std::string> names;
    for (const auto& weak : observers_) {
        auto state = weak.lock();
        if (!state || !state->alive || state->pid != pid) continue;
        for (const auto& r : state->registrations) names.insert(r.name);
    }
    return names;
}

namespace {
class SimPendingAttributes final : public PendingAttributes {
public:
    explicit SimPendingAttributes(std::vector<std::vector<std::optional<AXAttributeValue>>> answers)
        : answers_(std::move(answers)) {}
    bool answered() const override { return answered_; }
    std::vector<std::vector<std::optional<AXAttributeValue>>> take() override { return std::move(answers_); }

    std::vector<std::vector<std::optional<AXAttributeValue>>> answers_;
    bool answered_ = false;
    ScopedTimer answer;
};
}  // namespace

bool SimAccessibility::leavesUnanswered(const AXElementRef& element) const {
    auto it = unanswered_.find(dynamic_cast<const SimElement*>(element.get()));
    if (it == unanswered_.end() || it->second <= 0) return false;
    --it->second;
    return true;
}

std::unique_ptr<PendingAttributes> SimAccessibility::answerLater(
    std::vector<std::vector<std::optional<AXAttributeValue>>> answers, std::function<void()> onAnswered) const {
    ++requests_;
    auto pending = std::make_unique<SimPendingAttributes>(std::move(answers));
    pending->answer = loop_->postDelayed(*answerAfter_, [p = pending.get(), onAnswered = std::move(onAnswered)] {
        p->answered_ = true;
        onAnswered();
    });
    return pending;
}

std::unique_ptr<PendingAttributes> SimAccessibility::requestAttributesOfEach(std::span<const AXElementRef> elements,
                                                                             std::span<const std::string_view> names,
                                                                             std::function<void()> onAnswered) const {
    if (!answerAfter_ || !loop_) return nullptr;
    auto answers = copyAttributesOfEach(elements, names);
    for (std::size_t i = 0; i < elements.size(); ++i) {
        if (leavesUnanswered(elements[i])) answers[i].clear();
    }
    return answerLater(std::move(answers), std::move(onAnswered));
}

std::unique_ptr<PendingAttributes> SimAccessibility::requestChildrenFrom(const AXElementRef& element, std::size_t from,
                                                                         std::size_t most,
                                                                         std::function<void()> onAnswered) const {
    const auto* sim = dynamic_cast<const SimElement*>(element.get());
    if (!answerAfter_ || !loop_ || !sim || !sim->readsSeveralAtOnce()) return nullptr;
    std::vector<std::vector<std::optional<AXAttributeValue>>> answers(1);
    if (!leavesUnanswered(element)) answers[0] = sim->childrenFrom(from, most);
    return answerLater(std::move(answers), std::move(onAnswered));
}

}  // namespace velmar::sim
