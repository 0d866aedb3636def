#include "ax/AXElement.hpp"

#include "ax/AXElementMemory.hpp"

#include "text/Unicode.hpp"

#include <array>
#include <map>
#include <unordered_map>

namespace velmar {
namespace {

std::optional<std::size_t> commonSlot(std::string_view name) {
    for (std::size_t i = 0; i < axmemory::kCommon.size(); ++i) {
        if (axmemory::kCommon[i] == name) return i;
    }
    return std::nullopt;
}

std::optional<std::string> stringIn(const std::optional<AXAttributeValue>& value) {
    if (!value) return std::nullopt;
    if (const auto* s = std::get_if<std::string>(&*value)) return *s;
    return std::nullopt;
}

}  // namespace

void AXElement::repaired(std::optional<AXAttributeValue>& answer) {
    if (!answer) return;
    // Applications occasionally hand over broken UTF-8; never pass it on raw.
    if (auto* s = std::get_if<std::string>(&*answer)) {
        if (!text::isValidUtf8(*s)) *s = text::repairUtf8(*s);
    } else if (auto* list = std::get_if<std::vector<std::string>>(&*answer)) {
        for (auto& item : *list) {
            if (!text::isValidUtf8(item)) item = text::repairUtf8(item);
        }
    }
}

std::shared_ptr<AXElement::Memory> AXElement::openMemory() { return std::make_shared<Memory>(); }

void AXElement::closeMemory(Memory& memory) {
    memory.open = false;
    // Entries hold child elements that hold the memory: dropping them breaks
    // the cycle. Destroyed after the map is empty, so nothing sees it half cleared.
    auto entries = std::move(memory.entries);
    memory.entries.clear();
}

AXElement::Entry* AXElement::entry() const {
    if (!memory_ || !memory_->open || !raw_) return nullptr;
    if (!entry_ || entryEpoch_ != memory_->epoch) {
        auto& slot = memory_->entries[raw_];
        if (!slot) slot = std::make_unique<Entry>();
        entry_ = slot.get();
        entryEpoch_ = memory_->epoch;
    }
    entry_->pass = memory_->pass;
    return entry_;
}

bool AXElement::readsThroughOpenMemory() const { return memory_ && memory_->open; }

const std::optional<AXAttributeValue>& AXElement::value(std::string_view name,
                                                        std::optional<AXAttributeValue>& fresh) const {
    fresh.reset();
    if (!raw_) return fresh;
    Entry* e = entry();
    if (!e) {
        fresh = raw_->copyAttribute(name);
        repaired(fresh);
        return fresh;
    }
    if (auto slot = commonSlot(name)) {
        if (!e->commonRead[*slot] && memory_->offline) {
            memory_->missed = true;
            return fresh;
        }
        if (!e->commonRead[*slot]) {
            if (raw_->readsSeveralAtOnce()) {
                e->keepCommon(raw_->copyAttributes(axmemory::kCommon));
            } else {
                // Asked one by one, the common set would cost more than the walk needs.
                e->common[*slot] = raw_->copyAttribute(name);
                repaired(e->common[*slot]);
                e->commonRead[*slot] = true;
            }
        }
        return e->common[*slot];
    }
    auto it = e->others.find(name);
    if (it == e->others.end() && memory_->offline) {
        memory_->missed = true;
        return fresh;
    }
    if (it == e->others.end()) {
        it = e->others.emplace(std::string(name), raw_->copyAttribute(name)).first;
        repaired(it->second);
    }
    return it->second;
}

std::optional<AXAttributeValue> AXElement::attribute(std::string_view name) const {
    std::optional<AXAttributeValue> fresh;
    return value(name, fresh);
}

std::optional<std::string> AXElement::string(std::string_view name) const {
    std::optional<AXAttributeValue> fresh;
    return stringIn(value(name, fresh));
}

std::string AXElement::role() const {
    auto role = string("AXRole");
    return role ? std::move(*role) : std::string("?");
}

std::optional<std::string> AXElement::subrole() const { return string("AXSubrole"); }

std::optional<std::string> AXElement::title() const { return string("AXTitle"); }

std::vector<std::string> AXElement::domClassList() const {
    std::optional<AXAttributeValue> fresh;
    const auto& answer = value("AXDOMClassList", fresh);
    if (!answer) return {};
    if (const auto* list = std::get_if<std::vector<std::string>>(&*answer)) return *list;
    return {};
}

std::vector<AXNodePtr> AXElement::childNodes(const std::optional<AXAttributeValue>& answer) const {
    std::vector<AXNodePtr> out;
    if (!answer) return out;
    if (const auto* list = std::get_if<std::vector<AXElementRef>>(&*answer)) {
        out.reserve(list->size());
        for (const auto& ref : *list) {
            if (ref) out.push_back(std::make_shared<AXElement>(sibling(ref)));
        }
    }
    return out;
}

void AXElement::keepChildren(Entry& entry) const {
    std::optional<AXAttributeValue> fresh;
    const auto& answer = value("AXChildren", fresh);
    const auto* refs = answer ? std::get_if<std::vector<AXElementRef>>(&*answer) : nullptr;
    std::vector<const AXElementRef*> members;
    if (refs) {
        members.reserve(refs->size());
        for (const auto& ref : *refs)
            if (ref) members.push_back(&ref);
    }
    // The members still in place keep their elements (and the memory they
    // reach): a long list read again costs no new element for them.
    std::size_t same = 0;
    std::vector<AXNodePtr> list;
    if (entry.children) {
        auto& old = *entry.children;
        while (same < old.size() && same < members.size() &&
               sameElement(static_cast<const AXElement&>(*old[same]).raw_, *members[same]))
            ++same;
        if (same < old.size()) {
            memory_->listsShrank = true;
            memory_->lostMembers += old.size() - same;
        }
        if (memory_->lasting && (same < old.size() || members.size() != old.size())) memory_->dropMemos(entry);
        old.resize(same);
        list = std::move(old);
    }
    list.reserve(members.size());
    for (std::size_t i = same; i < members.size(); ++i) list.push_back(std::make_shared<AXElement>(sibling(*members[i])));
    if (memory_->lasting) {
        const bool wasWidest = memory_->widest && sameElement(memory_->widest, raw_);
        if (wasWidest && list.size() < memory_->widestSize) memory_->widestUnsure = true;
        if (wasWidest || (!list.empty() && list.size() >= memory_->widestSize)) {
            memory_->widest = raw_;
            memory_->widestSize = list.size();
        }
        // The members it kept were taken in when they first came.
        const bool readAhead = !(memory_->stopsAtPages && entry.isPage());
        for (std::size_t i = same; i < list.size(); ++i) {
            const auto& raw = static_cast<const AXElement&>(*list[i]).raw_;
            auto& slot = memory_->entries[raw];
            if (!slot) {
                slot = std::make_unique<Entry>();
                slot->pass = memory_->pass;
            }
            slot->parent = raw_;
            if (readAhead && !slot->pending && !slot->whole()) {
                slot->pending = true;
                memory_->pending.push_back(raw);
            }
        }
    }
    entry.children = std::move(list);
    entry.childrenCurrent = true;
}

std::vector<AXNodePtr> AXElement::children() const {
    std::optional<AXAttributeValue> fresh;
    Entry* e = entry();
    if (!e) return childNodes(value("AXChildren", fresh));
    if (!e->children || !e->childrenCurrent) {
        if (memory_->offline) {
            memory_->missed = true;
            return e->children ? *e->children : std::vector<AXNodePtr>{};
        }
        keepChildren(*e);
    }
    return *e->children;
}

std::any* AXElement::memo(const void* key, int variant, bool withOwn) const {
    // Kept answers hold only once everything named as changed has been read
    // again (a list read again drops those it disproves).
    if (!memory_ || !memory_->lasting || !memory_->pending.empty() || memory_->missed) return nullptr;
    Entry* e = entry();
    if (!e || (e->children && !e->childrenCurrent)) return nullptr;
    auto& memos = withOwn ? e->ownMemos : e->memos;
    auto [it, made] = memos.try_emplace({key, variant});
    if (made) ++memory_->memoClock;
    return &it->second;
}

std::optional<AXElement> AXElement::element(std::string_view name) const {
    std::optional<AXAttributeValue> fresh;
    const auto& answer = value(name, fresh);
    if (!answer) return std::nullopt;
    if (const auto* ref = std::get_if<AXElementRef>(&*answer); ref && *ref) return sibling(*ref);
    return std::nullopt;
}

AXNodePtr AXElement::parent() const {
    // A mirror knows whose list it last found the element in: the tree as it
    // holds it, with no request (a parse off the main thread can ask none).
    if (memory_ && memory_->lasting) {
        if (Entry* e = entry(); e && e->parent && memory_->entries.contains(e->parent))
            return std::make_shared<AXElement>(sibling(e->parent));
    }
    auto p = element("AXParent");
    if (!p) return nullptr;
    return std::make_shared<AXElement>(std::move(*p));
}

std::vector<AXElement> AXElement::windows() const {
    std::vector<AXElement> out;
    std::optional<AXAttributeValue> fresh;
    const auto& answer = value("AXWindows", fresh);
    if (!answer) return out;
    if (const auto* list = std::get_if<std::vector<AXElementRef>>(&*answer)) {
        for (const auto& ref : *list) {
            if (ref) out.push_back(sibling(ref));
        }
    }
    return out;
}

std::optional<AXElement> AXElement::focusedWindow() const {
    if (auto focused = element("AXFocusedWindow")) return focused;
    auto all = windows();
    if (all.empty()) return std::nullopt;
    return all.front();
}

}  // namespace velmar
