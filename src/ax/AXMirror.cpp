#include "ax/AXMirror.hpp"

#include "ax/AXElementMemory.hpp"
#include "platform/Accessibility.hpp"

#include <algorithm>
#include <limits>
#include <optional>
#include <span>
#include <unordered_set>
#include <utility>
#include <vector>

namespace velmar {

namespace {
constexpr std::size_t kChildren = axmemory::kCommon.size() - 1;
static_assert(axmemory::kCommon[kChildren] == "AXChildren");
// What an element whose children list stands is asked for.
constexpr std::span<const std::string_view> kCommonButChildren(axmemory::kCommon.data(), kChildren);
}  // namespace

void AXMirror::clear(const AXElementRef& element, AXElement::Entry& entry, Change what, bool keepChildren) {
    if (!entry.pending) {
        entry.pending = true;
        memory_->pending.push_back(element);
    }
    entry.asked = false;
    const bool keepsChildren = keepChildren && entry.commonRead[kChildren];
    for (std::size_t i = 0; i < axmemory::kCommon.size(); ++i) {
        if (keepsChildren && i == kChildren) continue;
        entry.commonRead[i] = false;
        entry.common[i].reset();
    }
    entry.others.clear();
    if (!keepsChildren) {
        entry.childrenCurrent = false;
        entry.checkTail = entry.children && entry.children->size() >= tailReadFrom;
    }
    // A renamed element's subtree is as it was (answers about a subtree
    // check the element's own attributes themselves); a children list found
    // different when read again drops its own.
    if (what == Change::attributes) {
        memory_->dropMemosAbove(entry);
        entry.ownMemos.clear();
    } else {
        memory_->dropMemos(entry);
    }
}

AXMirror::AXMirror() : memory_(AXElement::openMemory()) { memory_->lasting = true; }

AXMirror::~AXMirror() { AXElement::closeMemory(*memory_); }

AXElement AXMirror::read(const AXElement& element) const {
    if (element.raw() && std::none_of(roots_.begin(), roots_.end(),
                                      [&](const AXElementRef& root) { return sameElement(root, element.raw()); }))
        roots_.push_back(element.raw());
    return AXElement(element.raw(), memory_);
}

void AXMirror::readOnlyHeld(bool on) {
    memory_->offline = on;
    memory_->missed = false;
}

bool AXMirror::missed() const { return memory_->missed; }

void AXMirror::stopAtPages() { memory_->stopsAtPages = true; }

bool AXMirror::holds(const AXElementRef& element) const {
    return element && memory_->entries.find(element) != memory_->entries.end();
}

std::size_t AXMirror::size() const { return memory_->entries.size(); }

bool AXMirror::changed(const AXElementRef& element, Change what) {
    if (!element) return false;
    auto it = memory_->entries.find(element);
    if (it == memory_->entries.end()) return false;
    AXElement::Entry& entry = *it->second;
    if (what == Change::content && entry.children) {
        // A leaf's text is part of its parent's: the event names the parent.
        for (const auto& child : *entry.children) {
            const auto& raw = static_cast<const AXElement&>(*child).raw();
            auto leaf = memory_->entries.find(raw);
            if (leaf == memory_->entries.end()) continue;
            const auto& grandchildren = leaf->second->children;
            if (!grandchildren || grandchildren->empty()) clear(leaf->first, *leaf->second, Change::content, true);
        }
    }
    // A name or state change leaves the children list as it was: its own
    // event says when that changes. So does a change of a leaf's text (one
    // event on a wide parent reads every leaf below it again).
    clear(it->first, entry, what, what == Change::attributes);
    stale_ = true;
    return true;
}

template <class Visit>
void AXMirror::forEachHeld(std::vector<const AXElementRef*> from, Visit&& visit) {
    auto& entries = memory_->entries;
    std::unordered_set<const AXElement::Entry*> seen;
    std::vector<const AXElementRef*> stack(from.rbegin(), from.rend());
    while (!stack.empty()) {
        auto it = entries.find(*stack.back());
        stack.pop_back();
        if (it == entries.end() || !seen.insert(it->second.get()).second || !visit(it->first, *it->second) ||
            !it->second->children)
            continue;
        const auto& children = *it->second->children;
        for (auto child = children.rbegin(); child != children.rend(); ++child)
            stack.push_back(&static_cast<const AXElement&>(**child).raw());
    }
}

AXElement::Entry* AXMirror::widestBelow(const AXElementRef& root) {
    auto& entries = memory_->entries;
    if (!memory_->widestUnsure && memory_->widest) {
        auto it = entries.find(memory_->widest);
        if (it != entries.end() && it->second->children && it->second->children->size() == memory_->widestSize) {
            // Still below this page: up the lists it was found through.
            std::size_t steps = 0;
            for (auto at = it; at != entries.end() && steps++ < entries.size();) {
                if (sameElement(at->first, root)) return it->second.get();
                if (!at->second->parent) break;
                at = entries.find(at->second->parent);
            }
        }
    }
    // Found again by a walk through what is held: the last widest in document order.
    memory_->widest.reset();
    memory_->widestSize = 0;
    memory_->listsShrank = false;
    memory_->lostMembers = 0;
    memory_->widestUnsure = false;
    AXElement::Entry* widest = nullptr;
    forEachHeld({&root}, [&](const AXElementRef& element, AXElement::Entry& entry) {
        const auto& children = entry.children;
        if (children && !children->empty() && children->size() >= memory_->widestSize) {
            memory_->widest = element;
            memory_->widestSize = children->size();
            widest = &entry;
        }
        return true;
    });
    return widest;
}

std::size_t AXMirror::refreshTail(const AXElementRef& root, std::size_t count, std::size_t lastChildren) {
    if (!root) return 0;
    auto& entries = memory_->entries;
    using Held = decltype(entries.begin());
    // What is to be read again; cleared only at the end, as the walks stand
    // on the children lists.
    std::vector<Held> marked;
    std::unordered_set<const AXElement::Entry*> isMarked;
    auto mark = [&](Held it) { return isMarked.insert(it->second.get()).second ? (marked.push_back(it), true) : false; };
    auto childrenOf = [](const AXElement::Entry& entry) { return entry.children ? entry.children->size() : 0; };

    // The last `count` elements in document order, from the end backwards:
    // down the last lists only, so it costs the depth and the count, not the page.
    struct Frame {
        Held at;
        std::size_t next;  // its children not yet visited, from the end
    };
    std::vector<Frame> path;
    std::unordered_set<const AXElement::Entry*> onPath;
    if (auto it = entries.find(root); it != entries.end() && count > 0) {
        path.push_back({it, childrenOf(*it->second)});
        onPath.insert(it->second.get());
    }
    for (std::size_t found = 0; !path.empty() && found < count;) {
        Frame& top = path.back();
        if (top.next > 0) {
            const auto& child = (*top.at->second->children)[--top.next];
            auto it = entries.find(static_cast<const AXElement&>(*child).raw());
            if (it == entries.end() || !onPath.insert(it->second.get()).second) continue;
            path.push_back({it, childrenOf(*it->second)});
            continue;
        }
        // Everything after it is taken: it, with its ancestors (the path).
        for (auto frame = path.rbegin(); frame != path.rend() && mark(frame->at); ++frame) {
        }
        ++found;
        onPath.erase(top.at->second.get());
        path.pop_back();
    }

    if (AXElement::Entry* widest = widestBelow(root)) {
        // The widest list is most likely the transcript: its length, and its
        // last members whole.
        for (auto it = entries.find(memory_->widest); it != entries.end() && mark(it);) {
            if (sameElement(it->first, root) || !it->second->parent) break;
            it = entries.find(it->second->parent);
        }
        const auto& members = *widest->children;
        std::vector<const AXElementRef*> last;
        for (std::size_t i = members.size() > lastChildren ? members.size() - lastChildren : 0; i < members.size(); ++i)
            last.push_back(&static_cast<const AXElement&>(*members[i]).raw());
        forEachHeld(std::move(last), [&](const AXElementRef& element, AXElement::Entry&) {
            return mark(entries.find(element));
        });
    }
    for (auto it : marked) clear(it->first, *it->second, Change::content, false);
    if (!marked.empty()) stale_ = true;
    return marked.size();
}

void AXMirror::listed(const AXElement& element, AXElement::Entry& entry) {
    if (entry.commonRead[kChildren] && (!entry.children || !entry.childrenCurrent)) element.keepChildren(entry);
}

void AXMirror::keepAnswers(const std::vector<AXElementRef>& read,
                           std::vector<std::vector<std::optional<AXAttributeValue>>> answers) {
    stale_ = true;
    for (std::size_t i = 0; i < read.size(); ++i) {
        auto it = memory_->entries.find(read[i]);
        // Dropped, or to be read again, since it was asked for.
        if (it == memory_->entries.end() || !it->second->asked) continue;
        AXElement::Entry& entry = *it->second;
        entry.asked = false;
        if (i < answers.size() && answers[i].empty()) {
            // Not answered in time (a renderer busy with a long page): taken
            // as answers, its children list would read as empty and drop
            // the page below it. Asked again once, its list member by member
            // (what held the answer up may be that list); then the parse reads it.
            auto& wide = memory_->wideLists;
            if (!entry.commonRead[kChildren] && !memory_->isWideList(it->first)) {
                if (wide.size() >= AXElement::Memory::maxWideLists) wide.erase(wide.begin());
                wide.push_back(it->first);
            }
            if (std::exchange(entry.unansweredPass, memory_->pass) != memory_->pass && !entry.pending) {
                entry.pending = true;
                memory_->pending.push_back(it->first);
            }
            continue;
        }
        const bool childrenAsked = !entry.commonRead[kChildren];
        entry.keepCommon(i < answers.size() ? std::move(answers[i]) : std::vector<std::optional<AXAttributeValue>>{});
        if (childrenAsked) entry.childrenCurrent = false;
        listed(AXElement(it->first, memory_), entry);
    }
}

AXMirror::Tail AXMirror::readTail(const AXElementRef& element, AXElement::Entry& entry,
                                  const Accessibility& accessibility, const std::function<void()>& onAnswered) {
    entry.checkTail = false;
    if (!onAnswered || entry.commonRead[kChildren] || !entry.children || entry.children->empty()) return Tail::cannot;
    // From a few members before the end: a page replaces its last blocks
    // as a reply streams, and the first member asked for, still in its
    // place, vouches for the members before it.
    const std::size_t held = entry.children->size();
    const std::size_t overlap = std::max(entry.tailOverlap, tailOverlap);
    const std::size_t from = held > overlap ? held - overlap : 0;
    return readList(element, entry, from, overlap + tailGrowth, accessibility, onAnswered);
}

AXMirror::Tail AXMirror::readList(const AXElementRef& element, AXElement::Entry& entry, std::size_t from,
                                  std::size_t most, const Accessibility& accessibility,
                                  const std::function<void()>& onAnswered) {
    auto request = accessibility.requestChildrenFrom(element, from, most, onAnswered);
    if (!request) return Tail::cannot;
    entry.pending = false;
    entry.asked = true;
    if (request->waitFor(answerWait)) {
        keepTail(element, from, request->take());
        return Tail::read;
    }
    inFlight_.emplace(Flight{{element}, std::move(request), from});
    stale_ = true;
    return Tail::inFlight;
}

AXMirror::Tail AXMirror::readMembers(const AXElementRef& element, AXElement::Entry& entry,
                                     const Accessibility& accessibility, const std::function<void()>& onAnswered) {
    entry.membersPass = memory_->pass;  // once a pass: a list that keeps failing is left to the parse
    if (!onAnswered) return Tail::cannot;
    return readList(element, entry, 0, std::numeric_limits<std::size_t>::max(), accessibility, onAnswered);
}

void AXMirror::keepTail(const AXElementRef& element, std::size_t from,
                        std::vector<std::vector<std::optional<AXAttributeValue>>> reply) {
    stale_ = true;
    auto it = memory_->entries.find(element);
    if (it == memory_->entries.end() || !it->second->asked) return;  // dropped or changed since
    AXElement::Entry& entry = *it->second;
    entry.asked = false;
    const auto& answers = reply.empty() ? std::vector<std::optional<AXAttributeValue>>{} : reply.front();
    const auto* count = answers.size() == 2 && answers[0] ? std::get_if<double>(&*answers[0]) : nullptr;
    const auto* members = answers.size() == 2 && answers[1] ? std::get_if<std::vector<AXElementRef>>(&*answers[1]) : nullptr;
    const auto& held = entry.children;
    const auto memberOf = [](const AXNodePtr& node) { return static_cast<const AXElement&>(*node).raw(); };
    const bool endRead = count && members && !members->empty() && held && from < held->size() &&
                         !entry.commonRead[kChildren] && *count == static_cast<double>(from + members->size());
    const bool anchored = endRead && sameElement(members->front(), memberOf((*held)[from]));
    const std::size_t overlap = held ? held->size() - from : 0;
    const bool wholeByMembers = from == 0 && count && members && !entry.commonRead[kChildren] &&
                                *count == static_cast<double>(members->size()) && memory_->isWideList(element);
    if (wholeByMembers) {
        // A short list was only held up by others: read whole again from now on.
        if (members->size() < tailReadFrom) std::erase_if(memory_->wideLists, [&](const AXElementRef& wide) {
            return sameElement(wide, element);
        });
        entry.common[kChildren] = AXAttributeValue(*members);
        entry.commonRead[kChildren] = true;
        entry.childrenCurrent = false;
    } else if (endRead && !anchored && from > 0 && overlap * 8 <= tailOverlapMost) {
        // Replaced where the read started: from further back.
        entry.tailOverlap = overlap * 8;
        entry.checkTail = true;
    } else if (anchored) {
        // The members before `from` stand: they and the list's end as read.
        std::vector<AXElementRef> list;
        list.reserve(from + members->size());
        for (std::size_t i = 0; i < from; ++i) list.push_back(memberOf((*held)[i]));
        list.insert(list.end(), members->begin(), members->end());
        entry.common[kChildren] = AXAttributeValue(std::move(list));
        entry.commonRead[kChildren] = true;
        entry.childrenCurrent = false;
    }
    if (!entry.checkTail) entry.tailOverlap = 0;
    // Otherwise read whole. Either way its other attributes are still to be read.
    if (!entry.pending) {
        entry.pending = true;
        memory_->pending.push_back(element);
    }
}

bool AXMirror::waiting() const { return inFlight_ && !inFlight_->request->answered(); }

void AXMirror::dropRead() {
    if (!inFlight_) return;
    for (const auto& element : inFlight_->elements) {
        auto it = memory_->entries.find(element);
        if (it == memory_->entries.end() || !it->second->asked) continue;
        it->second->asked = false;
        if (!std::exchange(it->second->pending, true)) memory_->pending.push_back(element);
    }
    inFlight_.reset();
}

bool AXMirror::prefetch(const AXElementRef& root, const Accessibility& accessibility,
                        const std::function<bool()>& due, const std::function<void()>& onAnswered) {
    if (inFlight_) {
        if (!inFlight_->request->answered()) return false;
        auto flight = std::move(*inFlight_);
        inFlight_.reset();
        if (!flight.tailFrom) keepAnswers(flight.elements, flight.request->take());
        else keepTail(flight.elements.front(), *flight.tailFrom, flight.request->take());
    }
    if (!root) return true;
    auto& pending = memory_->pending;
    AXElement top(root, memory_);
    if (AXElement::Entry* entry = top.entry(); !entry->pending && (!entry->whole() || !entry->childrenCurrent)) {
        entry->pending = true;
        pending.push_back(root);
    }
    std::vector<AXElementRef> toRead;
    // A batch asks every element for the same attributes: those whose
    // children list stands wait for a batch of their own kind.
    std::vector<AXElementRef> otherKind;
    while (!pending.empty()) {
        toRead.clear();
        std::optional<bool> withChildren;
        while (!pending.empty() && toRead.size() < batch) {
            AXElementRef raw = std::move(pending.back());
            pending.pop_back();
            auto it = raw ? memory_->entries.find(raw) : memory_->entries.end();
            if (it == memory_->entries.end()) continue;  // dropped since
            AXElement::Entry& entry = *it->second;
            // Elements answering one attribute per request are the parse's to
            // read: it asks only for what it needs.
            if (entry.whole() || !raw->readsSeveralAtOnce()) {
                entry.pending = false;
                entry.checkTail = false;
                if (entry.whole()) listed(AXElement(raw, memory_), entry);
                else memory_->dropMemos(entry);  // read by the parse, unchecked
                continue;
            }
            // A long list read by its end, or one too long to be answered
            // whole read by its members: a request of its own, asked at the
            // start of a batch.
            const bool byMembers = !entry.checkTail && !entry.commonRead[kChildren] &&
                                   entry.membersPass != memory_->pass && memory_->isWideList(raw);
            if (entry.checkTail || byMembers) {
                if (!toRead.empty()) {
                    otherKind.push_back(std::move(raw));
                    continue;
                }
                const Tail list = byMembers ? readMembers(raw, entry, accessibility, onAnswered)
                                            : readTail(raw, entry, accessibility, onAnswered);
                if (list == Tail::read) continue;
                if (list == Tail::inFlight) {
                    pending.insert(pending.end(), otherKind.rbegin(), otherKind.rend());
                    return false;
                }
            }
            const bool needsChildren = !entry.commonRead[kChildren];
            if (!withChildren) withChildren = needsChildren;
            if (*withChildren != needsChildren) {
                otherKind.push_back(std::move(raw));  // still pending
                continue;
            }
            entry.pending = false;
            entry.asked = true;
            toRead.push_back(std::move(raw));
        }
        pending.insert(pending.end(), otherKind.rbegin(), otherKind.rend());
        otherKind.clear();
        if (toRead.empty()) continue;
        const std::span<const std::string_view> names =
            withChildren.value_or(true) ? std::span<const std::string_view>(axmemory::kCommon) : kCommonButChildren;
        auto request = onAnswered ? accessibility.requestAttributesOfEach(toRead, names, onAnswered) : nullptr;
        if (!request) {
            keepAnswers(toRead, accessibility.copyAttributesOfEach(toRead, names));
        } else if (request->waitFor(answerWait)) {
            // Answered in time: no turn of the loop for it.
            keepAnswers(toRead, request->take());
        } else {
            inFlight_.emplace(Flight{std::move(toRead), std::move(request), std::nullopt});
            stale_ = true;
            return false;
        }
        if (!pending.empty() && due()) return false;
    }
    return true;
}

void AXMirror::forget() {
    memory_->pending.clear();
    memory_->widest.reset();
    memory_->widestSize = 0;
    // Dropped, not cleared: elements holding an entry look theirs up again.
    auto entries = std::move(memory_->entries);
    memory_->entries.clear();
    ++memory_->epoch;
    stale_ = true;
}

void AXMirror::endPass() { (void)endPassAside(); }

std::shared_ptr<void> AXMirror::endPassAside() {
    // Only a list that lost a member can leave an element unreachable; a
    // page that only grew is not swept. What the pass read is kept, and what
    // its pages' lists still reach: a parse does not walk a subtree whose
    // answers it kept. Dropping an entry touches no other: its child elements
    // only hold the memory. The sweep walks all that is held, so it waits
    // until the members lost are an eighth of it: a reply re-rendering its
    // blocks at every read costs a sweep now and then, not at every read,
    // and what is held never grows past the page by more than that share.
    const auto pass = memory_->pass;
    auto dropped = std::make_shared<std::vector<std::pair<AXElementRef, std::unique_ptr<AXElement::Entry>>>>();
    if (memory_->listsShrank && memory_->lostMembers * sweepShare >= memory_->entries.size()) {
        memory_->listsShrank = false;
        memory_->lostMembers = 0;
        std::vector<const AXElementRef*> roots;
        for (const auto& root : roots_) roots.push_back(&root);
        forEachHeld(std::move(roots), [pass](const AXElementRef&, AXElement::Entry& entry) {
            entry.pass = pass;
            return true;
        });
        auto& entries = memory_->entries;
        for (auto it = entries.begin(); it != entries.end();) {
            if (it->second->pass == pass) {
                ++it;
                continue;
            }
            dropped->emplace_back(it->first, std::move(it->second));
            it = entries.erase(it);
        }
        if (!dropped->empty()) ++memory_->epoch;
    }
    roots_.clear();
    ++memory_->pass;
    stale_ = false;
    // Elements dropped while waiting to be read: the list never grows past the page.
    auto& pending = memory_->pending;
    if (pending.size() > memory_->entries.size()) {
        std::erase_if(pending, [this](const AXElementRef& element) {
            auto it = memory_->entries.find(element);
            return it == memory_->entries.end() || !it->second->pending;
        });
    }
    return dropped;
}

}  // namespace velmar
