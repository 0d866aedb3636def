// The browser gate and the browser capture controller on a simulated desktop:
// which windows are read, which tabs mark new chats, and that every event
// names its browser.
#include "capture/BrowserCaptureController.hpp"

#include "capture/ChatPages.hpp"
#include "platform/sim/SimDesktop.hpp"
#include "capture/CaptureDiag.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>

namespace velmar {
namespace {

using namespace std::chrono_literals;
using namespace testing;  // the chat pages and their tree builders
using testing::text;      // rather than the velmar::text namespace

N plainPage(const std::string& url) { return std::move(N("AXWebArea").url(url).kid(text("page"))); }

// A ChatGPT message, its heading then its body; the body is returned.
sim::SimElementPtr appendMessage(const sim::SimElementPtr& thread, const std::string& heading,
                                 const std::string& words) {
    thread->append(N("AXHeading").title(heading).classes({"sr-only"}).buildSim());
    return thread->append(group({text(words)}).buildSim());
}

class BrowserRig {
public:
    sim::SimMainLoop loop;
    sim::SimDesktop desktop{loop};
    CaptureDiag diag{loop.now()};
    BrowserProfile profile;
    RunningApplication app;
    std::vector<TurnEvent> events;
    std::unique_ptr<BrowserCaptureController> controller;

    explicit BrowserRig(const BrowserProfile& p = BrowserProfile::chrome())
        : profile(p), app{p.slug == "chrome" ? 201 : 202, p.appId, p.name, std::nullopt} {
        desktop.launch(app);
        controller = std::make_unique<BrowserCaptureController>(
            app, profile, desktop.accessibility(), loop, diag, CaptureSchedule::Timings{},
            [this](const TurnEvent& e) { events.push_back(e); });
    }
    // A window showing `page`, focused unless told otherwise.
    sim::SimElementPtr window(const N& page, bool focus = true) {
        auto w = desktop.openWindow(app.pid, "page - Browser", focus);
        w->append(page.buildSim());
        return w;
    }
    // Puts `page` in the window, telling of it unless the browser keeps quiet.
    void show(const sim::SimElementPtr& window, const N& page, bool notify = true) {
        window->clearChildren();
        window->append(page.buildSim());
        if (notify) desktop.changed(app.pid);
    }
    // A focused ChatGPT window holding one finished exchange: its thread, for messages to land in.
    sim::SimElementPtr chatgptThread(const std::string& url) {
        auto page = window(chatgptPage(url, {"q0", "a0"}, true))->childElements()[0];
        return page->childElements()[0]->childElements()[0]->childElements()[0];
    }
    // "surface:key", "*" marking the focused window's tab.
    static std::vector<std::string> tabsOf(const BrowserGate& gate) {
        std::vector<std::string> out;
        for (const auto& tab : gate.allGatedTabs(8)) {
            out.push_back(tab.surface + ":" + tab.conversationKey.value_or("") + (tab.isFocused ? "*" : ""));
        }
        return out;
    }
    std::vector<std::string> tabs() const { return tabsOf(controller->gate()); }
    // "prompt -> reply" of each exchange sent.
    Texts sent() const {
        Texts out;
        for (const auto& e : events) out.push_back(e.prompt + " -> " + e.response);
        return out;
    }
};

// A Docs page, its Gemini panel open when given what the panel holds.
N docsPage(std::vector<N> panel) {
    N page = std::move(N("AXWebArea").url("https://docs.google.com/document/d/DOC1/edit").kid(
        group({text("editor")}, {"kix-appview"})));
    if (panel.empty()) return page;
    N root = std::move(N("AXGroup").subrole("AXLandmarkComplementary").classes({"appsElementsSidekickRoot"}));
    for (auto& p : panel) root.kid(p);
    return std::move(page.kid(root));
}

TEST(BrowserGate, WindowsWebAreasPanelsAndTheirOrder) {
    struct Case {
        const char* description;
        const BrowserProfile& profile;
        std::vector<N> windows;  // the last one is focused
        std::vector<std::string> tabs;
    };
    const auto chatgpt = plainPage("https://chatgpt.com/c/abc");
    const auto claude = plainPage("https://claude.ai/chat/xyz");
    const auto news = plainPage("https://news.example.com/today");
    const auto backgroundChatgpt = std::move(plainPage("https://chatgpt.com/c/abc").attribute("AXHidden", true));
    const auto& chrome = BrowserProfile::chrome();
    const Case cases[] = {
        {"focused window first, others keep their order", chrome, {chatgpt, news, claude},
         {"claude_ai:xyz*", "chatgpt:abc"}},
        {"Chrome reads only the first URL-bearing web area", chrome, {group({news, claude})}, {}},
        {"a web area without an address is looked through", chrome, {N("AXWebArea").kid(claude)},
         {"claude_ai:xyz*"}},
        {"Firefox takes the tab on screen past a background tab's page", BrowserProfile::firefoxLinux(),
         {group({backgroundChatgpt, claude})}, {"claude_ai:xyz*"}},
        {"Firefox reads no page inside a background tab's", BrowserProfile::firefoxLinux(),
         {group({std::move(N(backgroundChatgpt).kid(claude)), news})}, {}},
        {"Chromium keeps no background tabs: the first page is the tab", BrowserProfile::chromiumLinux(),
         {group({backgroundChatgpt, claude})}, {"chatgpt:abc*"}},
        {"Docs, panel closed: no tab", chrome, {docsPage({})}, {}},
        {"Docs, panel open, no conversation yet: a keyless tab", chrome, {docsPage({text("Ask Gemini")})},
         {"gemini_docs:*"}},
        {"Docs panel with a feed: keyed by the document", chrome,
         {docsPage({group({text("Q")}, {"appsElementsSidekickFeedEntries"})})}, {"gemini_docs:DOC1*"}},
        {"Chromium's Docs panel, the feed left out: its prompt headings key it", chrome,
         {docsPage({N("AXHeading").classes({"appsElementsSidekickUserMessageContainer"}).kid(text("Q"))})},
         {"gemini_docs:DOC1*"}},
        {"a Docs panel candidate holding editor elements is refused", chrome,
         {docsPage({group({text("x")}, {"kix-page"})})}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.description);
        BrowserRig rig(c.profile);
        for (const auto& w : c.windows) rig.window(w);
        EXPECT_EQ(rig.tabs(), c.tabs);
        for (const auto& tab : rig.controller->gate().allGatedTabs(8)) {
            if (tab.surface != "gemini_docs") continue;
            EXPECT_EQ(tab.webArea.string("AXSubrole"), "AXLandmarkComplementary") << "the panel is read";
        }
    }

    BrowserRig rig;
    auto focused = rig.window(claude);
    rig.window(chatgpt, false);
    rig.desktop.setMinimized(focused, true);
    EXPECT_EQ(rig.tabs(), std::vector<std::string>{"chatgpt:abc"}) << "a minimized window is skipped, even focused";
    EXPECT_EQ(rig.desktop.application(rig.app.pid)->writes(),
              (std::vector<std::pair<std::string, bool>>{{"AXEnhancedUserInterface", true}}))
        << "Chrome's gate wakes the tree";
}

// Chromium on AT-SPI lists two untitled frames (its hidden address-bar popup
// hosts, each with a web area) after every window: they must not use up the
// cap, or every window past the third goes unseen.
TEST(BrowserGate, UntitledPopupFramesDoNotUseUpTheCap) {
    BrowserRig rig(BrowserProfile::chromiumLinux());
    std::vector<std::string> expected;
    for (int i = 0; i < 8; ++i) {
        rig.window(plainPage("https://chatgpt.com/c/w" + std::to_string(i)), i == 7);
        for (int popup = 0; popup < 2; ++popup) {
            rig.desktop.openWindow(rig.app.pid, "", false)->append(
                plainPage("chrome://omnibox-popup.top-chrome/").buildSim());
        }
        expected.push_back("chatgpt:w" + std::to_string(i) + (i == 7 ? "*" : ""));
    }
    std::swap(expected.front(), expected.back());  // the focused window trades places with the first
    EXPECT_EQ(rig.tabs(), expected) << "all eight windows, past their sixteen popup hosts";

    auto ninth = rig.window(plainPage("https://chatgpt.com/c/w8"), false);
    auto log = std::make_shared<sim::SimReadLog>();
    ninth->adoptLog(log);
    EXPECT_EQ(rig.tabs().size(), 8u) << "a ninth titled window is past the cap";
    EXPECT_EQ(log->count(ninth.get(), "AXMinimized"), 0u);
}

// A browser as a remembering gate sees it: each window holds the browser's
// own controls first and its pages a few levels down.
class RememberingBrowser : public BrowserRig {
public:
    BrowserGate gate{app.pid, profile, desktop.accessibility(), nullptr, &loop};

    using BrowserRig::BrowserRig;

    static sim::SimElementPtr page(const std::string& url, bool hidden = false) {
        auto area = plainPage(url).buildSim();
        if (hidden) area->set("AXHidden", true);
        return area;
    }
    sim::SimElementPtr window(std::vector<sim::SimElementPtr> pages, bool focus = true) {
        auto w = desktop.openWindow(app.pid, "page - Browser", focus);
        w->append(group({group({button("Back"), button("Forward"), button("Reload"), group({text("address")})}),
                         group({button("Tab one"), button("Tab two")})})
                      .buildSim());
        auto holder = w->append("AXGroup")->append("AXGroup");
        for (auto& p : pages) holder->append(p);
        return w;
    }
    // A window showing `url`, Firefox keeping a background tab's page beside it; the window and the page shown.
    std::pair<sim::SimElementPtr, sim::SimElementPtr> tabWindow(const std::string& url) {
        std::vector<sim::SimElementPtr> pages;
        if (profile.slug == "firefox") pages.push_back(page("https://chatgpt.com/c/abc", true));
        auto shown = pages.emplace_back(page(url));
        return {window(pages), shown};
    }
    std::vector<std::string> tabs() const { return tabsOf(gate); }
};

// Chromium reads per window whether it is minimized, then the page's address,
// role and parent; Firefox the same but whether the page is hidden for its parent.
// A walk read ahead costs the walk itself little.
TEST(BrowserGate, ARepeatedPassChecksTheRememberedPagesInsteadOfWalking) {
    const std::size_t perWindow = 4;
    for (const auto* profile : {&BrowserProfile::chromiumLinux(), &BrowserProfile::firefoxLinux()}) {
        SCOPED_TRACE(profile->slug);
        RememberingBrowser b(*profile);
        std::vector<sim::SimElementPtr> shown;
        for (const char* url : {"https://chatgpt.com/c/a", "https://news.example.com/", "https://claude.ai/chat/b"}) {
            shown.push_back(b.tabWindow(url).second);
        }
        auto log = std::make_shared<sim::SimReadLog>();
        b.desktop.application(b.app.pid)->adoptLog(log);
        const auto first = b.tabs();
        const std::size_t walk = log->total();
        log->reset();
        b.loop.advance(1s);
        EXPECT_EQ(b.tabs(), first);
        // The application's focused window and window list, then each window.
        EXPECT_LE(log->total(), 2 + 3 * perWindow);
        EXPECT_EQ(log->repeats().size(), 0u);

        BrowserGate forgetful(b.app.pid, b.profile, b.desktop.accessibility());
        log->reset();
        forgetful.allGatedTabs(8);
        EXPECT_EQ(log->total(), walk) << "without a clock every pass walks";
        EXPECT_GT(walk, 4 * (2 + 3 * perWindow));

        // Read ahead, the windows are read down to their pages and not into
        // them, an element a request; the walk then asks a fraction of what it
        // asks alone.
        b.gate.forgetStructure();
        log->reset();
        while (!b.gate.readAhead([] { return false; }, [] {})) b.loop.advance(1ms);
        EXPECT_EQ(log->total(), log->elementsRead());
        for (const auto& page : shown) EXPECT_EQ(log->count(page->childElements()[0].get(), "AXRole"), 0u);
        log->reset();
        EXPECT_EQ(b.tabs(), first);
        EXPECT_LT(log->total(), walk / 4);
    }
}

TEST(BrowserGate, RememberedPagesFollowTheBrowser) {
    enum class Then { forget, forgetWindow, wait };
    using Change = std::function<void(RememberingBrowser&, const sim::SimElementPtr& shown)>;
    struct Case {
        const char* description;
        const BrowserProfile& profile;
        Change change;
        std::vector<std::string> atOnce;  // the next pass, nothing forgotten, no time passed
        Then then = Then::forget;
        Duration wait{};
        std::optional<std::vector<std::string>> later{};  // none: as at once
    };
    const auto& chrome = BrowserProfile::chromiumLinux();
    const auto& firefox = BrowserProfile::firefoxLinux();
    // A page that is not the tab on screen any more, yet still stands in the
    // tree ahead of nothing that the check could see.
    const Change pageBefore = [](auto&, const auto& shown) {
        auto holder = shown->parentElement();
        holder->clearChildren();
        holder->append(RememberingBrowser::page("https://chatgpt.com/c/abc"));
        holder->append(shown);
    };
    // A window seen while its page still loads, the page coming after.
    const Change pageLate = [](RememberingBrowser& b, const auto&) {
        auto loading = b.window({}, false);
        b.tabs();
        loading->childElements().back()->append(RememberingBrowser::page("https://chatgpt.com/c/abc"));
    };
    const std::vector<std::string> stale{"claude_ai:xyz*"};
    const std::vector<std::string> switched{"chatgpt:abc*"};
    const std::vector<std::string> both{"claude_ai:xyz*", "chatgpt:abc"};
    const Case cases[] = {
        {"another page put before the remembered one, which still stands: seen after a forget", chrome, pageBefore,
         stale, Then::forget, {}, switched},
        {"... or after its window is forgotten", chrome, pageBefore, stale, Then::forgetWindow, {}, switched},
        {"... or once the structure check is due", chrome, pageBefore, stale, Then::wait,
         BrowserGate::structureCheckPeriod, switched},
        {"... and not before", chrome, pageBefore, stale, Then::wait, BrowserGate::structureCheckPeriod - 1s, stale},
        {"Chromium: a tab switched, the old page out of the tree but still reading: seen at once", chrome,
         [](auto&, const auto& shown) {
             shown->parentElement()->append(RememberingBrowser::page("https://chatgpt.com/c/abc"));
             shown->parentElement()->removeChild(shown);
         }, switched},
        {"a page gone and nothing in its place: no tab at once", chrome,
         [](auto&, const auto& shown) { shown->destroy(); }, {}},
        {"a page navigated: seen at once", chrome,
         [](auto&, const auto& shown) { shown->set("AXURL", AXURLValue{"https://claude.ai/chat/next"}); },
         {"claude_ai:next*"}},
        {"a page navigated to a document whose Gemini panel is open: the panel is found at once", chrome,
         [](auto&, const auto& shown) {
             shown->set("AXURL", AXURLValue{"https://docs.google.com/document/d/DOC1/edit"});
             auto panel = N("AXGroup").subrole("AXLandmarkComplementary").classes({"appsElementsSidekickRoot"});
             shown->append(panel.kid(text("Ask Gemini")).buildSim());
         }, {"gemini_docs:*"}},
        {"Firefox: the shown tab hidden and another shown: seen at once", firefox,
         [](auto&, const auto& shown) {
             shown->set("AXHidden", true);
             shown->parentElement()->childElements().front()->set("AXHidden", false);
         }, switched},
        {"a new window: seen at once", chrome,
         [](RememberingBrowser& b, const auto&) {
             b.window({RememberingBrowser::page("https://chatgpt.com/c/abc")}, false);
         }, both},
        {"a window found without a page is looked at again 2 s later", chrome, pageLate, stale, Then::wait,
         BrowserGate::pagelessRecheck, both},
        {"... and not before", chrome, pageLate, stale, Then::wait, BrowserGate::pagelessRecheck - 1ms, stale},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.description);
        RememberingBrowser b(c.profile);
        auto [window, shown] = b.tabWindow("https://claude.ai/chat/xyz");
        ASSERT_EQ(b.tabs(), stale);

        c.change(b, shown);
        EXPECT_EQ(b.tabs(), c.atOnce);
        switch (c.then) {
            case Then::forget: b.gate.forgetStructure(); break;
            case Then::forgetWindow: b.gate.forgetWindow(AXElement(window)); break;
            case Then::wait: b.loop.advance(c.wait); break;
        }
        EXPECT_EQ(b.tabs(), c.later.value_or(c.atOnce));
    }
}

TEST(BrowserCaptureController, OnlyTheFocusedWindowMarksANewChatAndItsDraftReachesTheConversation) {
    BrowserRig rig;
    const std::string typed = "Draft a polite reply declining the meeting on Thursday afternoon";
    rig.window(chatgptPage("https://chatgpt.com/", {}, true));  // in the background
    auto front = rig.window(claudePage("https://claude.ai/new", {}, true, typed));
    ASSERT_TRUE(rig.controller->start());
    rig.loop.advance(1s);
    EXPECT_EQ(rig.controller->newChatPending(), (std::set<std::string>{"claude_ai", "claude_cowork"}));
    EXPECT_EQ(rig.controller->pendingDrafts().at("claude_cowork"), typed);
    EXPECT_EQ(rig.diag.count("chatgpt", CaptureDiag::Counter::keylessView), 1)
        << "the background keyless tab is counted, not marked";

    rig.show(front, claudePage("https://claude.ai/chat/n1", {"Draft a polite reply declining"}, false));
    rig.loop.advance(1s);
    rig.show(front, claudePage("https://claude.ai/chat/n1", {"Draft a polite reply declining", "Sure: ..."}, true));
    rig.loop.advance(3s);
    ASSERT_EQ(rig.events.size(), 1u) << "the first exchange of a new chat is live";
    EXPECT_EQ(rig.events[0].browser, "chrome");
    EXPECT_EQ(rig.events[0].conversationKey, "n1");
    EXPECT_EQ(rig.events[0].turnIndex, 2);
    EXPECT_GE(rig.diag.count("claude_ai", CaptureDiag::Counter::parsedOk), 2) << "every parse is counted";
    EXPECT_EQ(rig.controller->newChatPending(), std::set<std::string>{"claude_cowork"});
    EXPECT_FALSE(rig.controller->pendingDrafts().contains("claude_ai"));
}

// A stop control under any of its surface's labels keeps a reply open even past
// the page's own done marker. Firefox may tell nothing when a reply ends: the
// controller's own reads still send it, once, and then leave the page alone.
// A reply's bubble shown empty while it thinks (the Workspace panel's, once its
// spinner is gone or unknown) is no reply yet, whatever the page says.
TEST(BrowserCaptureController, AReplyIsSentOnceWholeWhenThePageSaysDoneAndNoStopControlShows) {
    using Page = std::function<N(const Texts&, bool finished)>;
    struct Case {
        const char* description;
        Page page;
        const char* stopLabel;  // shown while the reply streams; none: the page says it streams
        bool endNotified;
        const char* soFar = "a2 so far";
        bool saysDone = false;  // the page calls the unfinished reply done
    };
    const Page chatgpt = [](const Texts& t, bool done) { return chatgptPage("https://chatgpt.com/c/s1", t, done); };
    const Page claude = [](const Texts& t, bool done) { return claudePage("https://claude.ai/chat/c1", t, done); };
    const Case cases[] = {
        {"chatgpt, the live site's label", chatgpt, "Stop streaming", true},
        {"chatgpt, an older label", chatgpt, "Stop generating", true},
        {"claude.ai beside its finished notice", claude, "Stop response", true},
        {"deepseek with its action row shown",
         [](const Texts& t, bool done) { return deepseekPage("https://chat.deepseek.com/a/chat/s/d1", t, done); },
         "Stop", true},
        {"claude.ai marked done without an event", claude, nullptr, false},
        {"chatgpt, an empty reply the page calls done", chatgpt, nullptr, true, "", true},
        {"claude.ai, an empty reply the page calls done", claude, nullptr, true, "", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.description);
        BrowserRig rig;
        auto tab = rig.window(c.page({"q1", "a1"}, true));
        ASSERT_TRUE(rig.controller->start());
        rig.loop.advance(3s);
        const Texts streaming{"q1", "a1", "q2", c.soFar};
        rig.show(tab, c.stopLabel ? std::move(c.page(streaming, true).kid(button(c.stopLabel)))
                                  : c.page(streaming, c.saysDone));
        rig.loop.advance(10s);
        EXPECT_TRUE(rig.events.empty());
        rig.show(tab, c.page({"q1", "a1", "q2", "a2 so far, and the rest"}, true), c.endNotified);
        rig.loop.advance(10s);
        EXPECT_EQ(rig.sent(), Texts{"q2 -> a2 so far, and the rest"});
        const int settles = rig.controller->settleRuns();
        rig.loop.advance(120s);
        EXPECT_LE(rig.controller->settleRuns() - settles, 1);
        EXPECT_EQ(rig.sent(), Texts{"q2 -> a2 so far, and the rest"});
    }
}

// The page is read through a mirror that events keep current, and events get
// lost (Chromium skips some, a bus drops one): with each dropped at random,
// every exchange is still sent once, whole. A settle spread over turns of the
// loop (`slice` zero), parsing off it, or waiting on a slow browser
// (`latency`) must agree.
void streamWithLostEvents(unsigned seed, Duration slice, bool aside, std::optional<Duration> latency) {
    std::mt19937 random(seed);
    auto chance = [&](double p) { return std::bernoulli_distribution(p)(random); };
    auto between = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };

    BrowserRig rig;
    rig.controller->setSettleSlice(slice);
    if (aside) rig.controller->setParseAsideFrom(0);
    rig.desktop.accessibility().answerAfter(latency);
    auto thread = rig.chatgptThread("https://chatgpt.com/c/drop");
    auto main = thread->parentElement();
    // Chromium names the element that changed; a lost event names nothing.
    auto tell = [&](const char* notification, const sim::SimElementPtr& element) {
        if (!chance(0.3)) rig.desktop.changed(rig.app.pid, notification, element);
    };
    ASSERT_TRUE(rig.controller->start());
    rig.loop.advance(3s);

    Texts sent;
    for (int exchange = 1; exchange <= 12; ++exchange) {
        appendMessage(thread, "You said:", "q" + std::to_string(exchange));
        tell("AXLayoutChanged", thread);
        auto stop = main->append(button("Stop streaming").buildSim());
        tell("AXLayoutChanged", main);
        rig.loop.advance(std::chrono::milliseconds(between(50, 600)));
        std::string reply = "a" + std::to_string(exchange);
        auto body = appendMessage(thread, "ChatGPT said:", reply);
        tell("AXLayoutChanged", thread);
        for (int chunk = between(1, 12); chunk > 0; --chunk) {
            rig.loop.advance(std::chrono::milliseconds(chance(0.2) ? between(1'000, 2'500) : between(30, 400)));
            reply += " w" + std::to_string(chunk);
            body->childElements()[0]->setString("AXValue", reply);
            tell("AXValueChanged", body);
        }
        rig.loop.advance(std::chrono::milliseconds(between(0, 300)));
        main->removeChild(stop);
        tell("AXLayoutChanged", main);
        sent.push_back("q" + std::to_string(exchange) + " -> " + reply);
        // Sent soon, not only when the page is next read whole: at worst
        // (the last change and the stop control's going both lost) by the
        // reads a still-unfinished reply asks for itself.
        rig.loop.advance(13s);
        ASSERT_EQ(rig.sent(), sent) << "exchange " << exchange;
    }
    rig.loop.advance(60s);
    if (latency) {
        EXPECT_GT(rig.desktop.accessibility().requests(), 24u) << "reads went without waiting";
    }
    EXPECT_EQ(rig.sent(), sent);
}

TEST(BrowserCaptureController, LostEventsNeverLoseOrCutATurn) {
    const char* given = std::getenv("VELMAR_SEED");
    const unsigned seed = given ? static_cast<unsigned>(std::strtoul(given, nullptr, 10)) : std::random_device{}();
    SCOPED_TRACE("VELMAR_SEED=" + std::to_string(seed));
    // description, slice, parse aside, latency
    const std::tuple<const char*, Duration, bool, std::optional<Duration>> runs[] = {
        {"each settle in one go", BrowserCaptureController::settleSlice, false, std::nullopt},
        {"each settle spread over turns of the loop, parsed off it", Duration{0}, true, std::nullopt},
        {"each batch of reads answered while the loop runs, parsed off it", BrowserCaptureController::settleSlice,
         true, 150ms},
    };
    for (const auto& [description, slice, aside, latency] : runs) {
        SCOPED_TRACE(description);
        streamWithLostEvents(seed, slice, aside, latency);
    }
}

// What changes while a settle waits for a slow browser is read by the next
// settle, even if told of only once; a browser that never answers (hung, a
// call lost) holds no settle for ever: it parses what it has.
TEST(BrowserCaptureController, ASettleWaitingForAnswersLosesNothingAndEnds) {
    const std::tuple<const char*, Duration, bool> cases[] = {  // description, answer after, land while settling
        {"an exchange lands while a settle waits for answers", 150ms, true},
        {"the browser never answers", 10min, false},
    };
    for (const auto& [description, answerAfter, landWhileSettling] : cases) {
        SCOPED_TRACE(description);
        BrowserRig rig;
        rig.desktop.accessibility().answerAfter(answerAfter);
        auto thread = rig.chatgptThread("https://chatgpt.com/c/held");
        ASSERT_TRUE(rig.controller->start());
        // The first settle gives up on the window's answers, then the page's.
        rig.loop.advance(2 * BrowserCaptureController::answersDue + 1s);
        if (landWhileSettling) {
            // An early message is renamed, nothing read changes: a settle begins and asks the browser.
            rig.desktop.changed(rig.app.pid, "AXTitleChanged", thread->childElements()[1]);
            for (int step = 0; step < 200 && !rig.controller->settling(); ++step) rig.loop.advance(10ms);
            ASSERT_TRUE(rig.controller->settling());
        }
        appendMessage(thread, "You said:", "q1");
        appendMessage(thread, "ChatGPT said:", "a1");
        rig.desktop.changed(rig.app.pid, "AXLayoutChanged", thread);
        rig.loop.advance(landWhileSettling ? 6s : 30s);
        EXPECT_EQ(rig.sent(), Texts{"q1 -> a1"});
        EXPECT_FALSE(rig.controller->settling());
    }
}

}  // namespace
}  // namespace velmar
