#include "ax/AXMirror.hpp"
#include "ax/NodeText.hpp"
#include "platform/Accessibility.hpp"
#include "platform/sim/SimAccessibility.hpp"
#include "platform/sim/SimMainLoop.hpp"
#include "support/Trees.hpp"

#include <gtest/gtest.h>

#include <functional>

namespace velmar {
namespace {

using sim::SimElement;
using sim::SimElementPtr;
using std::chrono::milliseconds;
using testing::N;

// Every text leaf under `node`, in document order: what a parser would read.
std::string texts(const AXNode& node) {
    std::string out;
    if (auto v = node.string("AXValue")) out += *v + "|";
    for (const auto& child : node.children()) out += texts(*child);
    return out;
}

// The messages' text, each message's kept with it where the tree keeps
// answers; `visits` counts the nodes actually walked.
std::string messages(const AXNode& root, int* visits = nullptr) {
    NodeTextRules rules;
    static const char key = 0;
    rules.memoKey = &key;
    rules.skip = [visits](const NodeView&) {
        if (visits) ++*visits;
        return false;
    };
    return NodeText::of(root.children()[0]->children(), rules);
}

struct Page {
    SimElementPtr root;     // the document
    SimElementPtr thread;   // the messages' parent
    SimElementPtr last;     // the last message's paragraph
    SimElementPtr composer; // after the thread, as on every chat page
};

Page page() {
    auto root = N("AXWebArea")
                    .kids({N("AXGroup").kids({N("AXGroup").kids({N("AXStaticText").value("Hi")}),
                                              N("AXGroup").kids({N("AXStaticText").value("Hello")})}),
                           N("AXTextArea").value("")})
                    .buildSim();
    auto thread = root->childElements()[0];
    return {root, thread, thread->childElements()[1], root->childElements()[1]};
}

// A finished pass as a settle makes it: the page read ahead whole, then `parse` from memory.
template <class Parse>
std::string pass(AXMirror& mirror, const SimElementPtr& root, const Accessibility& platform, Parse parse) {
    EXPECT_TRUE(mirror.prefetch(root, platform, [] { return false; }));
    auto parsed = parse(mirror.read(AXElement(root)));
    mirror.endPass();
    return parsed;
}
const auto byMessage = [](const AXNode& root) { return messages(root); };

// Counts the batches a prefetch asks for; the elements answer as themselves.
class Batches final : public Accessibility {
public:
    bool isProcessTrusted() const override { return true; }
    AXElementRef applicationElement(int) const override { return nullptr; }
    std::unique_ptr<AccessibilityObserver> createObserver(int, AXNotificationHandler) override { return nullptr; }
    std::vector<std::vector<std::optional<AXAttributeValue>>> copyAttributesOfEach(
        std::span<const AXElementRef> elements, std::span<const std::string_view> names) const override {
        ++calls;
        largest = std::max(largest, elements.size());
        if (std::find(names.begin(), names.end(), "AXChildren") != names.end()) childrenAsked += elements.size();
        return Accessibility::copyAttributesOfEach(elements, names);
    }
    mutable std::size_t calls = 0;
    mutable std::size_t largest = 0;
    mutable std::size_t childrenAsked = 0;
};

// A mirror answers from memory until an event names what changed, and then
// reads again exactly that; what no event names is found by the tail and
// by forgetting.
TEST(AXMirror, ReadsAgainWhatChangedAndNothingElse) {
    struct Case {
        const char* description;
        // Changes the page and tells the mirror (or not); returns what a parse must read afterwards.
        std::function<std::string(Page&, AXMirror&)> change;
        std::size_t roundTrips;  // of the parse after the change
    };
    const std::vector<Case> cases = {
        {"nothing changed: no request at all", [](Page&, AXMirror&) { return std::string("Hi|Hello||"); }, 0},
        {"a paragraph's text grew, the event names the paragraph: it and its leaf",
         [](Page& p, AXMirror& m) {
             p.last->childElements()[0]->setString("AXValue", "Hello there");
             EXPECT_TRUE(m.changed(p.last, AXMirror::Change::content));
             return std::string("Hi|Hello there||");
         },
         2},
        {"a message added, the event names the thread: the thread and the new message",
         [](Page& p, AXMirror& m) {
             p.thread->append(N("AXGroup").kids({N("AXStaticText").value("More")}).buildSim());
             EXPECT_TRUE(m.changed(p.thread, AXMirror::Change::children));
             return std::string("Hi|Hello|More||");
         },
         3},
        {"an event about an element never read is refused and costs nothing",
         [](Page&, AXMirror& m) {
             EXPECT_FALSE(m.changed(SimElement::make("AXGroup"), AXMirror::Change::children));
             return std::string("Hi|Hello||");
         },
         0},
        {"a change without an event is found by reading the tail again",
         [](Page& p, AXMirror& m) {
             p.last->childElements()[0]->setString("AXValue", "Hello, silently");
             p.composer->setString("AXValue", "draft");
             // The last two elements (the composer and the last message's
             // leaf) with their ancestors (the page, the thread, the message).
             EXPECT_EQ(m.refreshTail(p.root, 2, 0), 5u);
             return std::string("Hi|Hello, silently|draft|");
         },
         5},
        {"a message added without an event: the widest list and its last members are read again",
         [](Page& p, AXMirror& m) {
             p.thread->append(N("AXGroup").kids({N("AXStaticText").value("More")}).buildSim());
             p.last->childElements()[0]->setString("AXValue", "Hello!");
             // The page and the thread (the widest list), the last message and its leaf.
             EXPECT_EQ(m.refreshTail(p.root, 0, 1), 4u);
             return std::string("Hi|Hello!|More||");
         },
         6},
        {"a change anywhere is found once the mirror forgets",
         [](Page& p, AXMirror& m) {
             p.thread->childElements()[0]->childElements()[0]->setString("AXValue", "Hey");
             m.forget();
             return std::string("Hey|Hello||");
         },
         7},
    };
    for (const auto& c : cases) {
        Page p = page();
        auto log = p.root->readLog();
        AXMirror mirror;
        EXPECT_EQ(texts(mirror.read(AXElement(p.root))), "Hi|Hello||") << c.description;
        Batches platform;
        pass(mirror, p.root, platform, byMessage);
        EXPECT_FALSE(mirror.stale()) << c.description;
        const std::string want = c.change(p, mirror);
        log->reset();
        EXPECT_EQ(texts(mirror.read(AXElement(p.root))), want) << c.description;
        EXPECT_EQ(log->total(), c.roundTrips) << c.description;
        // Read ahead as a settle does: what was read again, no text kept from before may hide.
        EXPECT_EQ(pass(mirror, p.root, platform, byMessage), messages(AXElement(p.root))) << c.description;
    }
}

// A message's text is worked out again only when something below it
// changed, or its own attributes that are text; what a parse no longer
// reaches is dropped, so the memory follows the page.
TEST(AXMirror, KeepsEachMessagesTextUntilSomethingInItChanges) {
    Page p = page();
    AXMirror mirror;
    Batches platform;
    int visits = 0;
    auto settle = [&] {
        visits = 0;
        platform.childrenAsked = 0;
        return pass(mirror, p.root, platform, [&](const AXNode& root) { return messages(root, &visits); });
    };
    EXPECT_EQ(settle(), "Hi\nHello");
    EXPECT_EQ(visits, 4);
    EXPECT_EQ(settle(), "Hi\nHello");
    EXPECT_EQ(visits, 0) << "nothing changed";
    p.last->childElements()[0]->setString("AXValue", "Hello there");
    mirror.changed(p.last, AXMirror::Change::content);
    EXPECT_EQ(settle(), "Hi\nHello there");
    EXPECT_EQ(visits, 2) << "the last message only";
    EXPECT_EQ(platform.childrenAsked, 1u) << "the message's list, not its text leaves' lists";
    // A search for a control kept with each element: an unchanged element
    // is not tested again, a renamed one is.
    int tested = 0;
    const auto stopShown = [&](const AXNode& root) {
        static const char key = 0;
        return contains(root, 10, &key, [&](const NodeView& n) {
            ++tested;
            return n.label() == "Stop answering";
        }) ? std::string("stop") : std::string("none");
    };
    EXPECT_EQ(pass(mirror, p.root, platform, stopShown), "none");
    tested = 0;
    EXPECT_EQ(pass(mirror, p.root, platform, stopShown), "none");
    EXPECT_EQ(tested, 0) << "nothing changed";
    p.last->setString("AXTitle", "Message 2 of 2");
    mirror.changed(p.last, AXMirror::Change::attributes);
    EXPECT_EQ(settle(), "Hi\nHello there");
    EXPECT_EQ(visits, 0) << "a message renamed is the same text";
    EXPECT_EQ(platform.childrenAsked, 0u) << "a rename leaves the children list as it was";
    p.last->setString("AXTitle", "Stop answering");
    mirror.changed(p.last, AXMirror::Change::attributes);
    tested = 0;
    EXPECT_EQ(pass(mirror, p.root, platform, stopShown), "stop") << "a rename is tested again";
    EXPECT_EQ(tested, 3) << "the renamed element and those above it";
    p.last->setString("AXTitle", "Message 2 of 2");
    mirror.changed(p.last, AXMirror::Change::attributes);
    EXPECT_EQ(pass(mirror, p.root, platform, stopShown), "none");
    p.last->append(N("AXStaticText").value("Bye").buildSim());
    mirror.changed(p.last, AXMirror::Change::children);
    EXPECT_EQ(settle(), "Hi\nHello there\nBye") << "its list read again disproves what was kept";
    EXPECT_EQ(visits, 3);
    p.root->removeChild(p.composer);
    mirror.changed(p.root, AXMirror::Change::children);
    settle();
    EXPECT_TRUE(mirror.holds(p.last->childElements()[0])) << "a list lost a member: what kept answers stand for stays";
    EXPECT_FALSE(mirror.holds(p.composer)) << "and what the page no longer reaches goes";
    mirror.changed(p.last, AXMirror::Change::content);
    visits = 0;
    EXPECT_EQ(messages(mirror.read(AXElement(p.root)), &visits), "Hi\nHello there\nBye");
    EXPECT_EQ(visits, 5) << "nothing kept is trusted before what changed is read again";
    visits = 0;
    EXPECT_EQ(messages(AXElement(p.root), &visits), "Hi\nHello there\nBye");
    EXPECT_EQ(visits, 5) << "a tree not kept between reads keeps nothing";
    // A message answering one attribute per request is read by the parse
    // itself; its list, found changed there, drops the slot the parse is
    // about to fill (a sanitizer's use-after-free when the slot was held).
    p.last->answerOneByOne();
    p.last->append(N("AXStaticText").value("Later").buildSim());
    mirror.changed(p.last, AXMirror::Change::children);
    EXPECT_EQ(settle(), "Hi\nHello there\nBye\nLater");
    EXPECT_EQ(settle(), "Hi\nHello there\nBye\nLater");
}

// Reading only what it holds (a parse off the main thread), a mirror answers
// as it would on the loop and asks the application nothing; what it lacks is
// missed, not asked for, and nothing worked out across the gap is kept.
TEST(AXMirror, ReadingOnlyWhatItHoldsAsksNothingAndMissesWhatItLacks) {
    Page p = page();
    auto log = std::make_shared<sim::SimReadLog>();
    p.root->adoptLog(log);
    AXMirror mirror;
    Batches platform;
    EXPECT_EQ(pass(mirror, p.root, platform, byMessage), "Hi\nHello");
    p.last->childElements()[0]->setString("AXValue", "Hello there");
    mirror.changed(p.last, AXMirror::Change::content);
    EXPECT_TRUE(mirror.prefetch(p.root, platform, [] { return false; }));
    log->reset();
    mirror.readOnlyHeld(true);
    EXPECT_EQ(messages(mirror.read(AXElement(p.root))), "Hi\nHello there");
    EXPECT_FALSE(mirror.missed());
    // A link asks whose prose it is in: the list it was found in answers.
    auto up = mirror.read(AXElement(p.last)).children().front()->parent();
    const auto* upElement = dynamic_cast<const AXElement*>(up.get());
    ASSERT_TRUE(upElement);
    EXPECT_TRUE(sameElement(upElement->raw(), p.last));
    EXPECT_FALSE(mirror.missed());
    EXPECT_EQ(log->total(), 0u) << "everything came from memory";
    mirror.endPass();

    p.last->append(N("AXStaticText").value("Bye").buildSim());
    mirror.changed(p.last, AXMirror::Change::children);  // and not read ahead
    EXPECT_EQ(messages(mirror.read(AXElement(p.root))), "Hi\nHello there");
    EXPECT_TRUE(mirror.missed());
    EXPECT_EQ(log->total(), 0u) << "what it lacked was not asked for";
    mirror.readOnlyHeld(false);
    EXPECT_EQ(pass(mirror, p.root, platform, byMessage), "Hi\nHello there\nBye");
    EXPECT_EQ(pass(mirror, p.root, platform, byMessage), "Hi\nHello there\nBye") << "and kept so";
}

// Read ahead in batches, a page costs its parse nothing; spread over many
// calls it costs no more than in one, and what changed is all a later
// prefetch reads.
TEST(AXMirror, ReadsAheadInBatchesSoTheParseReadsNothing) {
    auto many = [] {
        N thread("AXGroup");
        for (int i = 0; i < 100; ++i) thread.kid(N("AXGroup").kids({N("AXStaticText").value("m" + std::to_string(i))}));
        return N("AXWebArea").kids({thread, N("AXTextArea").value("")}).buildSim();
    };
    const std::string whole = texts(AXElement(many()));
    const std::size_t elements = 1 + 1 + 200 + 1;

    for (const bool spread : {false, true}) {
        SCOPED_TRACE(spread ? "a batch per call" : "all in one call");
        auto root = many();
        auto log = root->readLog();
        Batches platform;
        AXMirror mirror;
        int calls = 0;
        while (!mirror.prefetch(root, platform, [&] { return spread; })) ASSERT_LT(++calls, 100);
        EXPECT_EQ(calls + 1, spread ? static_cast<int>(platform.calls) : 1);
        // Level by level: the page, the thread and composer, 64 messages,
        // their 64 leaves, the other 36 messages, their leaves.
        EXPECT_EQ(platform.calls, 6u);
        EXPECT_EQ(platform.largest, AXMirror::batch);
        EXPECT_EQ(log->total(), elements) << "every element read once";
        log->reset();
        EXPECT_EQ(texts(mirror.read(AXElement(root))), whole);
        EXPECT_EQ(log->total(), 0u) << "the parse reads from memory";
        mirror.endPass();

        // A message added: the thread and the new message are read, in one batch.
        auto thread = root->childElements()[0];
        thread->append(N("AXGroup").kids({N("AXStaticText").value("new")}).buildSim());
        mirror.changed(thread, AXMirror::Change::children);
        log->reset();
        platform.calls = 0;
        EXPECT_TRUE(mirror.prefetch(root, platform, [] { return false; }));
        EXPECT_EQ(platform.calls, 3u) << "the thread, its new message, the message's leaf";
        EXPECT_EQ(log->total(), 3u);
        EXPECT_NE(texts(mirror.read(AXElement(root))).find("m99|new|"), std::string::npos);
        EXPECT_EQ(log->total(), 3u);
        mirror.endPass();

        // Forgotten half way: the walk starts again and still ends with everything held.
        mirror.forget();
        ASSERT_FALSE(mirror.prefetch(root, platform, [] { return true; }));
        mirror.forget();
        while (!mirror.prefetch(root, platform, [] { return true; })) {
        }
        log->reset();
        texts(mirror.read(AXElement(root)));
        EXPECT_EQ(log->total(), 0u);
    }
}

// Reads in flight leave the loop free, and an answer older than a change
// named meanwhile is never taken: the change would be lost until the next
// verification. A read the browser leaves unanswered in time says nothing
// about the element: taken as answers, the transcript's children list would
// read as empty and every message below it would be dropped and read again.
TEST(AXMirror, ReadsInFlightNeverTakeAnAnswerOlderThanAChangeNorAMissedOneAsEmpty) {
    using Change = std::function<void(Page&, sim::SimAccessibility&, AXMirror&)>;
    const Change grown = [](Page& p, auto&, AXMirror& m) {
        p.last->childElements()[0]->setString("AXValue", "Hello there");
        m.changed(p.last, AXMirror::Change::content);
    };
    const auto added = [](int unanswered) -> Change {
        return [unanswered](Page& p, sim::SimAccessibility& platform, AXMirror& m) {
            platform.leaveUnanswered(p.thread, unanswered);
            p.thread->append(N("AXGroup").kids({N("AXStaticText").value("More")}).buildSim());
            m.changed(p.thread, AXMirror::Change::children);
        };
    };
    struct Case {
        const char* description;
        Change change;
        std::function<void(Page&, AXMirror&)> meanwhile;  // while the first batch is in flight
        const char* parsed;
        std::optional<std::size_t> reads{};  // by the prefetch and the parse; none: all by the prefetch
        std::size_t held = 0;                // elements held after it, beyond those before
    };
    const std::vector<Case> cases = {
        {"nothing happens meanwhile", grown, [](Page&, AXMirror&) {}, "Hi|Hello there||"},
        {"the paragraph changes again and is named again", grown,
         [](Page& p, AXMirror& m) {
             p.last->childElements()[0]->setString("AXValue", "Hello there, friend");
             m.changed(p.last, AXMirror::Change::content);
         },
         "Hi|Hello there, friend||"},
        {"the mirror forgets the page", grown, [](Page&, AXMirror& m) { m.forget(); }, "Hi|Hello there||"},
        // The thread asked each time (whole, then its list by members and
        // its own attributes apart; a read by members left unanswered never
        // reaches the list here), the new message and its text once: the
        // messages already held are not read again.
        {"a list unanswered, answered by members", added(1), [](Page&, AXMirror&) {}, "Hi|Hello|More||", 3 + 2, 2},
        {"a list unanswered whole and by members, answered whole", added(2), [](Page&, AXMirror&) {}, "Hi|Hello|More||",
         2 + 2, 2},
        {"a list unanswered three times, left to the parse", added(3), [](Page&, AXMirror&) {}, "Hi|Hello|More||",
         3 + 2, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.description);
        sim::SimMainLoop loop;
        sim::SimAccessibility platform(&loop);
        AXMirror mirror;
        Page p = page();
        pass(mirror, p.root, platform, texts);
        const std::size_t held = mirror.size();

        platform.answerAfter(milliseconds(100));
        int resumed = 0;
        const auto resume = [&] { ++resumed; };
        c.change(p, platform, mirror);
        auto log = p.root->readLog();
        log->reset();
        ASSERT_FALSE(mirror.prefetch(p.root, platform, [] { return false; }, resume));
        EXPECT_TRUE(mirror.waiting());
        EXPECT_FALSE(mirror.prefetch(p.root, platform, [] { return false; }, resume)) << "still in flight";
        c.meanwhile(p, mirror);
        loop.advance(milliseconds(100));
        EXPECT_EQ(resumed, 1);
        for (int turns = 0; !mirror.prefetch(p.root, platform, [] { return false; }, resume); ++turns) {
            ASSERT_LT(turns, 20);
            ASSERT_TRUE(mirror.waiting());
            loop.advance(milliseconds(100));
        }
        const std::size_t prefetched = log->total();
        EXPECT_EQ(texts(mirror.read(AXElement(p.root))), c.parsed);
        EXPECT_EQ(log->total(), c.reads.value_or(prefetched)) << "the parse reads only what was left unanswered";
        mirror.endPass();
        EXPECT_EQ(mirror.size(), held + c.held) << "nothing dropped: only a new message and its text added";

        // A mirror dropped with a batch in flight never hears of it.
        mirror.changed(p.last, AXMirror::Change::content);
        {
            AXMirror gone;
            gone.prefetch(p.root, platform, [] { return false; }, resume);
            ASSERT_TRUE(gone.waiting());
        }
        const int before = resumed;
        loop.advance(milliseconds(200));
        EXPECT_EQ(resumed, before);
    }
}

// A wide list (a long transcript) read again is read by its end: its length
// and its last members by index, never whole unless the end disproves what
// is held. A browser answers a list of thousands whole in a time that grows
// faster than its length.
TEST(AXMirror, AWideListIsReadAgainByItsEnd) {
    const auto message = [](const std::string& text) { return N("AXGroup").kids({N("AXStaticText").value(text)}).buildSim(); };
    struct Case {
        const char* description;
        std::function<void(sim::SimAccessibility&, const SimElementPtr& thread)> change;
        std::size_t endReads;  // then whole, when `readWhole`
        bool readWhole;
    };
    const std::vector<Case> cases = {
        {"a reply added at the end", [&](auto&, const auto& thread) { thread->append(message("new")); }, 1, false},
        {"more new messages than the read reaches",
         [&](auto&, const auto& thread) {
             for (std::size_t i = 0; i <= AXMirror::tailGrowth; ++i) thread->append(message("new " + std::to_string(i)));
         },
         1, true},
        {"the last message replaced as it streams",
         [&](auto&, const auto& thread) {
             thread->removeChild(thread->childElements().back());
             thread->append(message("regenerated"));
         },
         1, false},
        {"messages replaced back to where the end is read from: read from further back",
         [&](auto&, const auto& thread) {
             for (std::size_t i = 0; i < AXMirror::tailOverlap; ++i) thread->removeChild(thread->childElements().back());
             for (std::size_t i = 0; i < AXMirror::tailOverlap; ++i) thread->append(message("regenerated"));
         },
         2, false},
        {"a message removed near the start: read from further back, to the start",
         [](auto&, const auto& thread) { thread->removeChild(thread->childElements()[10]); }, 3, false},
        {"a message inserted in the middle, one added at the end",
         [&](auto&, const auto& thread) {
             const std::vector<SimElementPtr> after(thread->childElements().begin() + 10, thread->childElements().end());
             for (const auto& moved : after) thread->removeChild(moved);
             thread->append(message("inserted"));
             for (const auto& moved : after) thread->append(moved);
             thread->append(message("new"));
         },
         3, false},
        {"the read left unanswered",
         [&](auto& platform, const auto& thread) {
             platform.leaveUnanswered(thread, 1);
             thread->append(message("new"));
         },
         0, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.description);
        sim::SimMainLoop loop;
        sim::SimAccessibility platform(&loop);
        auto root = N("AXWebArea").kids({N("AXGroup"), N("AXTextArea").value("")}).buildSim();
        auto thread = root->childElements()[0];
        for (int i = 0; i < 100; ++i) thread->append(message("message " + std::to_string(i)));
        AXMirror mirror;
        pass(mirror, root, platform, texts);

        platform.answerAfter(milliseconds(100));
        c.change(platform, thread);
        mirror.changed(thread, AXMirror::Change::children);
        auto log = root->readLog();
        const std::string expected = texts(AXElement(root));
        log->reset();
        for (int turns = 0; !mirror.prefetch(root, platform, [] { return false; }, [] {}); ++turns) {
            ASSERT_LT(turns, 20);
            loop.advance(milliseconds(100));
        }
        EXPECT_EQ(texts(mirror.read(AXElement(root))), expected);
        mirror.endPass();
        EXPECT_EQ(log->count(thread.get(), "AXChildren"), c.readWhole ? 1u : 0u);
        EXPECT_EQ(log->count(thread.get(), "AXChildrenFrom"), c.endReads);
    }
}

// A list so long that the browser cannot answer it whole in time (19,000
// messages: about 5 s) is read member by member, from the first read on and
// after everything held is forgotten; what held it up and turns out short is
// read whole again. Without it, the first read of such a page never ends.
TEST(AXMirror, AListLeftUnansweredWholeIsReadMemberByMember) {
    sim::SimMainLoop loop;
    sim::SimAccessibility platform(&loop);
    platform.answerAfter(milliseconds(100));
    auto root = N("AXWebArea").kids({N("AXGroup"), N("AXGroup")}).buildSim();
    const auto thread = root->childElements()[0];
    const auto aside = root->childElements()[1];
    for (int i = 0; i < 100; ++i)
        thread->append(N("AXGroup").kids({N("AXStaticText").value("message " + std::to_string(i))}).buildSim());
    aside->append(N("AXStaticText").value("aside").buildSim());
    const std::string expected = texts(AXElement(root));
    platform.leaveUnanswered(thread, 1);
    platform.leaveUnanswered(aside, 1);
    auto log = root->readLog();
    AXMirror mirror;
    const auto readAll = [&] {
        for (int turns = 0; !mirror.prefetch(root, platform, [] { return false; }, [] {}); ++turns) {
            ASSERT_LT(turns, 40);
            loop.advance(milliseconds(100));
        }
    };
    ASSERT_NO_FATAL_FAILURE(readAll());
    mirror.readOnlyHeld(true);
    EXPECT_EQ(texts(mirror.read(AXElement(root))), expected);
    EXPECT_FALSE(mirror.missed()) << "the parse had to read what the prefetch left";
    mirror.readOnlyHeld(false);
    mirror.endPass();
    EXPECT_EQ(log->count(thread.get(), "AXChildrenFrom"), 1u);
    EXPECT_EQ(log->count(aside.get(), "AXChildrenFrom"), 1u);

    log->reset();
    mirror.forget();
    ASSERT_NO_FATAL_FAILURE(readAll());
    EXPECT_EQ(texts(mirror.read(AXElement(root))), expected);
    EXPECT_EQ(log->count(thread.get(), "AXChildren"), 0u) << "the long list was asked whole again";
    EXPECT_EQ(log->count(thread.get(), "AXChildrenFrom"), 1u);
    EXPECT_EQ(log->count(aside.get(), "AXChildrenFrom"), 0u) << "a short list stays read by members";
}

// A reply re-rendering its blocks at every read leaves elements no list
// reaches: they are swept now and then, not at every read, and what is held
// stays within a share of the page.
TEST(AXMirror, WhatNoListReachesGoesWithoutASweepAtEveryRead) {
    N thread("AXGroup");
    for (int i = 0; i < 100; ++i) thread.kid(N("AXGroup").kids({N("AXStaticText").value("message " + std::to_string(i))}));
    auto root = N("AXWebArea").kids({thread}).buildSim();
    const auto reply = root->childElements()[0]->childElements().back();
    Batches platform;
    AXMirror mirror;
    pass(mirror, root, platform, byMessage);
    const std::size_t page = mirror.size();
    std::size_t sweeps = 0;
    for (int read = 0; read < 60; ++read) {
        reply->removeChild(reply->childElements()[0]);
        reply->append(N("AXStaticText").value("block " + std::to_string(read)).buildSim());
        mirror.changed(reply, AXMirror::Change::children);
        const std::size_t before = mirror.size();
        EXPECT_EQ(pass(mirror, root, platform, [](const AXNode& r) { return texts(r); }).substr(0, 10), "message 0|");
        if (mirror.size() < before) ++sweeps;
        EXPECT_LE(mirror.size(), page + page / (AXMirror::sweepShare - 1) + 1) << "read " << read;
        EXPECT_TRUE(mirror.holds(reply->childElements()[0])) << "what the page shows stays";
    }
    EXPECT_GE(sweeps, 2u);
    EXPECT_LE(sweeps, 60u / (page / AXMirror::sweepShare) + 1) << "a sweep waits for an eighth of what is held";
}

// A page that lists an element inside itself is walked once, not forever.
TEST(AXMirror, APrefetchWalksEachElementOnce) {
    auto root = N("AXWebArea").kids({N("AXGroup").kids({N("AXStaticText").value("x")})}).buildSim();
    auto group = root->childElements()[0];
    group->append(root);
    Batches platform;
    AXMirror mirror;
    EXPECT_TRUE(mirror.prefetch(root, platform, [] { return false; }));
    EXPECT_EQ(root->readLog()->total(), 3u);
    group->removeChild(root);  // the cycle would outlive the test
}

}  // namespace
}  // namespace velmar
