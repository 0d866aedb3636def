#pragma once
// A copy of a live subtree kept between parses: what one parse read is
// answered from memory by the next, except what the application's events
// say changed, which is read again. Reading a page then costs what changed
// on it, not what it holds.
//
// Events are not proof: an application may change without one, and the
// platform may drop them. The owner decides when to doubt the copy:
// `refreshTail` reads again the end of the page (where a reply finishes and
// its controls appear), `forget` reads everything again.
//
//   AXMirror mirror;
//   parser.snapshot(mirror.read(webArea), key);  // reads all
//   mirror.endPass();
//   mirror.changed(source, AXMirror::Change::content);
//   parser.snapshot(mirror.read(webArea), key);  // reads `source` again

#include "ax/AXElement.hpp"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace velmar {

class Accessibility;
class PendingAttributes;

class AXMirror {
public:
    // What an event says changed about the element it names.
    enum class Change {
        // Its own attributes: name, states, value.
        attributes,
        // Which children it has (and its own attributes with them).
        children,
        // Its text: its own attributes and its text leaves, whose text is
        // its text where the platform splits it into leaves.
        content,
    };

    AXMirror();
    ~AXMirror();
    AXMirror(const AXMirror&) = delete;
    AXMirror& operator=(const AXMirror&) = delete;

    // The element as read through the mirror; elements reached from it share it.
    AXElement read(const AXElement& element) const;
    // Whether a parse through the mirror has read the element.
    bool holds(const AXElementRef& element) const;
    // An event named `element`: what it may have changed is read again by the
    // next parse. False, and nothing done, when the mirror never read it.
    bool changed(const AXElementRef& element, Change what);
    // What a page may change without an event is read again: the last
    // `count` elements below `root` in document order as far as the mirror
    // knows it, and the widest children list (most likely the transcript)
    // with its last `lastChildren` members whole, each with its ancestors'
    // lists. Returns how many elements.
    std::size_t refreshTail(const AXElementRef& root, std::size_t count, std::size_t lastChildren);
    // Reads ahead of a parse what it would otherwise read one element at a
    // time: every element below `root` the mirror does not hold, or holds
    // to be read again, `batch` at a time with all their requests in flight
    // together. What the mirror holds is not walked at all: only what was
    // named as changed, or is new in a list read again, is visited. Stops at
    // the first batch after which `due` says the time is up, and the next call
    // goes on from there, so the reading can be spread over turns of the
    // loop. True once nothing is left to read. Elements whose platform
    // answers one attribute per request are left to the parse, which asks
    // only for what it needs.
    // With `onAnswered`, a batch is read without waiting where the platform
    // can: the call returns false with the batch in flight (`waiting`), and
    // `onAnswered` runs on the loop once it is answered, for the next call to
    // take the answers and go on. An element named as changed meanwhile is
    // read again, not given the older answer.
    bool prefetch(const AXElementRef& root, const Accessibility& accessibility, const std::function<bool()>& due,
                  const std::function<void()>& onAnswered = {});
    // How long a batch's answers are waited for before the loop goes on
    // without them: a responsive application answers well within it.
    static constexpr std::chrono::milliseconds answerWait{20};
    // A batch is in flight and not yet answered.
    bool waiting() const;
    // The batch in flight is given up: its elements are read again.
    void dropRead();
    static constexpr std::size_t batch = 64;
    // A list held at least this long, to be read again, is first read by its
    // end: its length and its members from `tailOverlap` before the held
    // end, when at most `tailGrowth` more than that. The first of them, still
    // in its place, vouches for those before it. Where it was replaced (a
    // page re-renders a streaming reply's blocks), the read starts again
    // eight times further back, up to `tailOverlapMost`; anything else (more
    // new members, a list cut short, no answer) reads the list whole.
    static constexpr std::size_t tailReadFrom = 64;
    static constexpr std::size_t tailOverlap = 8;
    static constexpr std::size_t tailOverlapMost = 512;
    static constexpr std::size_t tailGrowth = 64;
    // Everything is read again by the next parse.
    void forget();
    // One parse is over: elements it did not reach are dropped, so the
    // memory follows the page instead of growing with it (once the members
    // lists lost since the last sweep are one in `sweepShare` of those held).
    void endPass();
    static constexpr std::size_t sweepShare = 8;
    // The same for a pass that ends off the main thread: what it drops is
    // handed back, to be let go on the main thread (where the platform's
    // elements are released).
    [[nodiscard]] std::shared_ptr<void> endPassAside();
    // Whether something the last parse read has been dropped since: when
    // false, a parse now would read what the last one read.
    bool stale() const { return stale_; }
    // Elements remembered.
    std::size_t size() const;
    // While on, a parse through the mirror reads only what it holds and asks
    // the application nothing, so it can run off the main thread; `missed`
    // then says whether it needed something the mirror did not hold (and so
    // is to be done again with the mirror back on the main thread).
    void readOnlyHeld(bool on);
    bool missed() const;
    // Reading ahead stops at web areas: their own attributes and children
    // list are read, nothing below them.
    void stopAtPages();

private:
    // Everything read of one element, to be read again; what is remembered
    // about the subtrees holding it is dropped.
    // `keepChildren`: the change cannot have touched the children list.
    void clear(const AXElementRef& element, AXElement::Entry& entry, Change what, bool keepChildren);
    // A list read again puts its new members on the memory's `pending` list.
    static void listed(const AXElement& element, AXElement::Entry& entry);
    // Answers to a batch, for what was asked and is still to be read.
    void keepAnswers(const std::vector<AXElementRef>& read,
                     std::vector<std::vector<std::optional<AXAttributeValue>>> answers);
    // Reads a wide list by its end (see `tailReadFrom`) when it can; whether
    // the read is in flight.
    enum class Tail { read, inFlight, cannot };
    Tail readTail(const AXElementRef& element, AXElement::Entry& entry, const Accessibility& accessibility,
                  const std::function<void()>& onAnswered);
    // Reads a list member by member (its length, then each by index), where
    // reading it whole went unanswered; whether the read is in flight.
    Tail readMembers(const AXElementRef& element, AXElement::Entry& entry, const Accessibility& accessibility,
                     const std::function<void()>& onAnswered);
    // Asks for a list's length and its members from `from` (at most `most`
    // of them), taken at once when answered within `answerWait`.
    Tail readList(const AXElementRef& element, AXElement::Entry& entry, std::size_t from, std::size_t most,
                  const Accessibility& accessibility, const std::function<void()>& onAnswered);
    // The answer to a read of a list's end asked from member `from` (as
    // the request's `take` gives it).
    void keepTail(const AXElementRef& element, std::size_t from,
                  std::vector<std::vector<std::optional<AXAttributeValue>>> reply);
    // Each held element reached from `from` through the held lists, once,
    // depth first in document order; `visit(element, entry)` says whether to
    // go below it.
    template <class Visit>
    void forEachHeld(std::vector<const AXElementRef*> from, Visit&& visit);
    // The widest children list below `root` and its entry; null when none.
    AXElement::Entry* widestBelow(const AXElementRef& root);

    std::shared_ptr<AXElement::Memory> memory_;
    // The pages read this pass: what their lists reach is kept.
    mutable std::vector<AXElementRef> roots_;
    bool stale_ = true;
    struct Flight {
        std::vector<AXElementRef> elements;
        std::unique_ptr<PendingAttributes> request;
        // A read of one list's end, from this member on.
        std::optional<std::size_t> tailFrom;
    };
    std::optional<Flight> inFlight_;
};

}  // namespace velmar
