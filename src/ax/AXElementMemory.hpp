#pragma once
// What a memory of live elements holds: one entry per platform element, the
// answers read so far. Shared by AXElement (which reads through it) and
// AXMirror (which keeps it between parses and forgets what events name).

#include "ax/AXElement.hpp"

#include <algorithm>
#include <any>
#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace velmar {

namespace axmemory {

// What nearly every walk reads of a node, asked for together where the
// platform answers several attributes in one request: one round trip instead
// of up to seven.
constexpr std::array<std::string_view, 7> kCommon{"AXRole",        "AXSubrole",      "AXValue",   "AXTitle",
                                                  "AXDescription", "AXDOMClassList", "AXChildren"};

struct RefHash {
    std::size_t operator()(const AXElementRef& ref) const { return ref ? ref->identityHash() : 0; }
};
struct RefSame {
    bool operator()(const AXElementRef& a, const AXElementRef& b) const { return sameElement(a, b); }
};

}  // namespace axmemory

struct AXElement::Entry {
    // The last pass that read this element (a lasting memory drops the rest).
    std::uint64_t pass = 0;
    std::array<bool, axmemory::kCommon.size()> commonRead{};
    std::array<std::optional<AXAttributeValue>, axmemory::kCommon.size()> common;
    std::map<std::string, std::optional<AXAttributeValue>, std::less<>> others;
    // Built once, so a second walk meets the same child elements and their memory.
    std::optional<std::vector<AXNodePtr>> children;
    // False once the list is to be read again; the old list stays until then,
    // so a walk through what the memory holds still reaches what lies below.
    bool childrenCurrent = false;
    // Its children list is to be read again by its end alone (its length
    // and the members past those held), the list held being long: read
    // whole, a browser's wide list costs it far more than its end.
    bool checkTail = false;
    // How far back from the held end the next such read starts, when a
    // nearer start found the member there replaced; 0: the nearest.
    std::size_t tailOverlap = 0;
    // Waiting in the memory's `pending` list.
    bool pending = false;
    // Asked for in a read still in flight; cleared when it is to be read
    // again, so an answer older than the change is not taken.
    bool asked = false;
    // The pass in which its application last left a read of it unanswered:
    // asked again once in that pass, then left to the parse.
    std::uint64_t unansweredPass = 0;
    // The pass in which its list was last asked for member by member.
    std::uint64_t membersPass = 0;

    // Takes a read of the common attributes (as `kCommon` orders them) for
    // those not read yet.
    void keepCommon(std::vector<std::optional<AXAttributeValue>> answers) {
        for (std::size_t i = 0; i < axmemory::kCommon.size(); ++i) {
            if (commonRead[i]) continue;
            if (i < answers.size()) common[i] = std::move(answers[i]);
            AXElement::repaired(common[i]);
            commonRead[i] = true;
        }
    }
    // Read as a web area.
    bool isPage() const {
        static_assert(axmemory::kCommon[0] == "AXRole");
        const auto* role = common[0] ? std::get_if<std::string>(&*common[0]) : nullptr;
        return role && *role == "AXWebArea";
    }
    // Every common attribute read.
    bool whole() const {
        for (bool read : commonRead)
            if (!read) return false;
        return true;
    }
    // The element whose children list it was last found in: what may have
    // changed here may have changed its ancestors' subtrees too.
    AXElementRef parent;
    // Answers about the subtree (`AXNode::memo`), dropped when it changes.
    std::map<std::pair<const void*, int>, std::any> memos;
    // Those that depend on its own attributes as well, dropped when they change.
    std::map<std::pair<const void*, int>, std::any> ownMemos;
    // The memory's memo clock when its memos (and its ancestors') were last dropped.
    std::uint64_t touched = 0;
};

// Keyed by the platform element, so an element reached twice (from its parent
// and through "AXParent", say) is read once.
struct AXElement::Memory {
    bool open = true;
    // Moves on whenever entries are dropped, so elements holding one look it up again.
    std::uint64_t epoch = 1;
    std::uint64_t pass = 1;
    // A children list lost a member since the last pass ended: something may
    // no longer be reachable.
    bool listsShrank = false;
    // Members lists lost (or moved) since the last sweep: a sweep walks
    // everything held, so it waits until they are a share of it.
    std::size_t lostMembers = 0;
    // Kept between parses (a mirror): answers about subtrees are kept too.
    bool lasting = false;
    // Read by a parse off the main thread: what is not held is not asked
    // for (`missed` says so, and the parse is done again on the loop), and
    // nothing worked out after a miss is kept.
    bool offline = false;
    bool missed = false;
    // Reading ahead does not go below a web area: a browser's own window is
    // read, not the pages it shows.
    bool stopsAtPages = false;
    // Moves on whenever a memo is made, so dropping memos up the ancestors
    // can stop at an ancestor already dropped since the last one was made.
    std::uint64_t memoClock = 1;
    // Elements of a lasting memory to be read (new in a children list, or
    // cleared) since a prefetch last took them: what reading ahead has to
    // do, without walking what is held.
    std::vector<AXElementRef> pending;
    // The widest children list kept (most likely the transcript), followed
    // as lists are read; found again by a walk when it may no longer be.
    AXElementRef widest;
    std::size_t widestSize = 0;
    bool widestUnsure = false;
    // Lists whose read whole went unanswered in time (a browser computes a
    // list of many thousands for seconds): read member by member instead.
    // Kept when everything else is forgotten, so a verification does not
    // wait on them again; a list found short leaves.
    std::vector<AXElementRef> wideLists;
    static constexpr std::size_t maxWideLists = 64;
    bool isWideList(const AXElementRef& element) const {
        return std::any_of(wideLists.begin(), wideLists.end(),
                           [&](const AXElementRef& wide) { return sameElement(wide, element); });
    }
    std::unordered_map<AXElementRef, std::unique_ptr<Entry>, axmemory::RefHash, axmemory::RefSame> entries;

    // What is remembered about the subtrees holding `from` (its own and its
    // ancestors', up the lists they were found through) is dropped. One
    // already dropped since the last memo was made has had its ancestors' dropped too.
    void dropMemos(Entry& from) {
        for (Entry* at = &from; at && at->touched != memoClock;) {
            at->touched = memoClock;
            at->memos.clear();
            at->ownMemos.clear();
            auto up = at->parent ? entries.find(at->parent) : entries.end();
            at = up == entries.end() ? nullptr : up->second.get();
        }
    }
    // Only its ancestors': its own attributes changed, not what lies below it.
    void dropMemosAbove(const Entry& of) {
        if (!of.parent) return;
        if (auto up = entries.find(of.parent); up != entries.end()) dropMemos(*up->second);
    }
};

}  // namespace velmar
