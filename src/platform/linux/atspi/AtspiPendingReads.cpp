#include "platform/linux/atspi/AtspiPendingReads.hpp"

#include "platform/linux/atspi/AtspiDbusClient.hpp"
#include "platform/linux/atspi/AtspiElement.hpp"
#include "platform/linux/atspi/AtspiReading.hpp"

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

namespace velmar::linux_backend {
namespace {

using Client = AtspiDbusClient;

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
        std::optional<AtspiReading> reading;
        Client* calls = nullptr;
        AtspiReading::Sent sent;
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

std::vector<std::vector<std::optional<AXAttributeValue>>> AtspiPendingReads::attributesOfEach(
    std::span<const AXElementRef> elements, std::span<const std::string_view> names) {
    AttributeBatch batch(elements, names, Client::kCallMs);
    batch.wait();
    return batch.take();
}

std::unique_ptr<PendingAttributes> AtspiPendingReads::requestAttributesOfEach(std::span<const AXElementRef> elements,
                                                                         std::span<const std::string_view> names,
                                                                         std::function<void()> onAnswered) {
    return std::make_unique<AtspiPendingAttributes>(elements, names, std::move(onAnswered));
}

std::unique_ptr<PendingAttributes> AtspiPendingReads::requestChildrenFrom(const AXElementRef& element, std::size_t from,
                                                                     std::size_t most, std::function<void()> onAnswered) {
    const auto* atspi = dynamic_cast<const AtspiElement*>(element.get());
    // Gecko's lists gain runs of text between children: not the platform's indices.
    if (!atspi || !Client::makesAccessibles() || AtspiReading::isGecko(atspi->accessible())) return nullptr;
    auto at = Client::addressOf(atspi->accessible());
    if (!at) return nullptr;
    return std::make_unique<AtspiPendingChildren>(element, *at, from, most, std::move(onAnswered));
}

}  // namespace velmar::linux_backend
