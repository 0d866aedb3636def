#include "ax/AXMirror.hpp"

#include "ax/AXElementMemory.hpp"
#include "platform/Accessibility.hpp"

#include <algorithm>
#include <vector>

namespace velmar {

void AXMirror::clear(const AXElementRef& element, AXElement::Entry& entry) {
    if (!entry.pending) {
        entry.pending = true;
        memory_->pending.push_back(element);
    }
    entry.commonRead.fill(false);
    for (auto& answer : entry.common) answer.reset();
    entry.others.clear();
    entry.childrenCurrent = false;
    // Up the ancestors the list walks found it through; one already dropped
    // since the last memo was made has had its own ancestors dropped too.
    const auto clock = memory_->memoClock;
    for (AXElement::Entry* at = &entry; at && at->touched != clock;) {
        at->touched = clock;
        at->memos.clear();
        auto up = at->parent ? memory_->entries.find(at->parent) : memory_->entries.end();
        at = up == memory_->entries.end() ? nullptr : up->second.get();
    }
}

AXMirror::AXMirror() : memory_(AXElement::openMemory()) { memory_->lasting = true; }

AXMirror::~AXMirror() { AXElement::closeMemory(*memory_); }

AXElement AXMirror::read(const AXElement& element) const { return AXElement(element.raw(), memory_); }

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
            if (!grandchildren || grandchildren->empty()) clear(leaf->first, *leaf->second);
        }
    }
    clear(it->first, entry);
    stale_ = true;
    return true;
}

std::size_t AXMirror::refreshTail(const AXElementRef& root, std::size_t count, std::size_t lastChildren) {
    if (!root) return 0;
    // Depth first through the children lists the mirror holds: the last
    // `count` elements in document order, and the widest list with it.
    struct Seen {
        const AXElementRef* element;
        AXElement::Entry* entry;
        std::size_t parent;  // index into `order`; none for the root
        std::size_t depth;
    };
    constexpr auto none = static_cast<std::size_t>(-1);
    std::vector<Seen> order;
    std::vector<std::pair<const AXElementRef*, std::size_t>> stack{{&root, none}};
    std::size_t widest = none;
    while (!stack.empty()) {
        auto [ref, parent] = stack.back();
        stack.pop_back();
        auto it = memory_->entries.find(*ref);
        if (it == memory_->entries.end()) continue;
        AXElement::Entry* entry = it->second.get();
        const std::size_t at = order.size();
        order.push_back({&it->first, entry, parent, parent == none ? 0 : order[parent].depth + 1});
        if (!entry->children) continue;
        if (!entry->children->empty() &&
            (widest == none || entry->children->size() >= order[widest].entry->children->size()))
            widest = at;
        for (auto child = entry->children->rbegin(); child != entry->children->rend(); ++child)
            stack.emplace_back(&static_cast<const AXElement&>(**child).raw(), at);
    }
    std::vector<bool> mark(order.size(), false);
    auto withAncestors = [&](std::size_t i) {
        for (; i != none && !mark[i]; i = order[i].parent) mark[i] = true;
    };
    for (std::size_t i = order.size() > count ? order.size() - count : 0; i < order.size(); ++i) withAncestors(i);
    if (widest != none) {
        // The widest list is most likely the transcript: its length, and its
        // last members whole. Its subtree follows it in document order.
        withAncestors(widest);
        std::size_t end = widest + 1;
        std::vector<std::size_t> direct;
        for (; end < order.size() && order[end].depth > order[widest].depth; ++end)
            if (order[end].parent == widest) direct.push_back(end);
        if (lastChildren > 0 && !direct.empty()) {
            const std::size_t from = direct[direct.size() > lastChildren ? direct.size() - lastChildren : 0];
            for (std::size_t i = from; i < end; ++i) mark[i] = true;
        }
    }
    // Cleared only now: the walk stands on the children lists.
    std::size_t cleared = 0;
    for (std::size_t i = 0; i < order.size(); ++i) {
        if (!mark[i]) continue;
        clear(*order[i].element, *order[i].entry);
        ++cleared;
    }
    if (cleared) stale_ = true;
    return cleared;
}

bool AXMirror::prefetch(const AXElementRef& root, const Accessibility& accessibility,
                        const std::function<bool()>& due) {
    if (!root) return true;
    auto& pending = memory_->pending;
    AXElement top(root, memory_);
    if (AXElement::Entry* entry = top.entry(); !entry->pending && (!entry->whole() || !entry->childrenCurrent)) {
        entry->pending = true;
        pending.push_back(root);
    }
    constexpr std::size_t kChildren = axmemory::kCommon.size() - 1;
    static_assert(axmemory::kCommon[kChildren] == "AXChildren");
    // The list read again puts its new members on `pending`.
    auto listed = [](const AXElement& element, AXElement::Entry& entry) {
        if (entry.commonRead[kChildren] && (!entry.children || !entry.childrenCurrent)) element.keepChildren(entry);
    };
    std::vector<AXElementRef> toRead;
    std::vector<AXElement::Entry*> entries;
    while (!pending.empty()) {
        toRead.clear();
        entries.clear();
        while (!pending.empty() && toRead.size() < batch) {
            AXElementRef raw = std::move(pending.back());
            pending.pop_back();
            auto it = raw ? memory_->entries.find(raw) : memory_->entries.end();
            if (it == memory_->entries.end()) continue;  // dropped since
            AXElement::Entry& entry = *it->second;
            entry.pending = false;
            // Elements answering one attribute per request are the parse's to
            // read: it asks only for what it needs.
            if (entry.whole() || !raw->readsSeveralAtOnce()) {
                if (entry.whole()) listed(AXElement(raw, memory_), entry);
                continue;
            }
            toRead.push_back(std::move(raw));
            entries.push_back(&entry);
        }
        if (!toRead.empty()) {
            auto answers = accessibility.copyAttributesOfEach(toRead, axmemory::kCommon);
            stale_ = true;
            for (std::size_t i = 0; i < toRead.size(); ++i) {
                AXElement::Entry& entry = *entries[i];
                for (std::size_t k = 0; k < axmemory::kCommon.size(); ++k) {
                    if (entry.commonRead[k]) continue;
                    if (i < answers.size() && k < answers[i].size()) entry.common[k] = std::move(answers[i][k]);
                    AXElement::repaired(entry.common[k]);
                    entry.commonRead[k] = true;
                }
                entry.childrenCurrent = false;
                listed(AXElement(toRead[i], memory_), entry);
            }
        }
        if (!pending.empty() && due()) return false;
    }
    return true;
}

void AXMirror::forget() {
    memory_->pending.clear();
    // Dropped, not cleared: elements holding an entry look theirs up again.
    auto entries = std::move(memory_->entries);
    memory_->entries.clear();
    ++memory_->epoch;
    stale_ = true;
}

void AXMirror::endPass() {
    // Only a list that lost a member can leave an element unreachable; a
    // page that only grew is not swept (the next sweep still drops what its
    // own pass did not reach). Dropping an entry touches no other: its child
    // elements only hold the memory.
    const auto pass = memory_->pass;
    if (std::exchange(memory_->listsShrank, false) &&
        std::erase_if(memory_->entries, [pass](const auto& kept) { return kept.second->pass != pass; }) > 0)
        ++memory_->epoch;
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
}

}  // namespace velmar
