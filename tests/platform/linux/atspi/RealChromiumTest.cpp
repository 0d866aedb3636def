// The chat pages in a real Chromium, read through AT-SPI. These run inside
// the private desktop that tests/support/desktop-session.sh starts (ctest's
// "desktop_chat_pages"); elsewhere they skip and say so.

#include "ax/AXElement.hpp"
#include "capture/AIAppAllowlist.hpp"
#include "capture/BrowserGate.hpp"

#include "platform/linux/atspi/RealBrowserSupport.hpp"
#include "platform/sim/SimClock.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

namespace velmar::linux_backend {
namespace {

using namespace std::chrono_literals;
using namespace real_browser;

const std::vector<Page>& pages() {
    static const std::vector<Page> all = {
        {"chatgpt", "chatgpt/20261207-web-linux-two-exchanges.json", "sr-only"},
        {"claude_ai", "claude_ai/20261207-web-linux-two-exchanges.json", "font-claude-response"},
        {"gemini", "gemini/20261202-web-finished-two-exchanges.json", "conversation-container"},
        {"perplexity", "perplexity/20261202-web-finished-with-citations.json", "group/query"},
        {"deepseek", "deepseek/20261202-web-finished-reasoning-citations.json", "ds-message"},
        {"gemini_docs", "gemini_docs/20261207-docs-linux-two-exchanges.json", "appsElementsSidekickRoot"},
        {"gemini_sheets", "gemini_sheets/20261207-sheets-linux-formula.json", "appsElementsSidekickUserMessageContainer"},
        {"claude_design", "claude_design/20261206-design-chat-bubbles.json", "om-chat-messages", true},
        {"claude_cowork", "claude_cowork/20261206-web-cowork-task.json", "font-claude-response"},
    };
    return all;
}

class RealChromium : public ::testing::TestWithParam<Page>, protected BrowserSession {
protected:
    static void SetUpTestSuite() {
        if (const char* browser = std::getenv("VELMAR_BROWSER")) browser_ = browser;
        startSession("VELMAR_CHROMIUM_PID", "VELMAR_CHROMIUM_WINDOW");
    }
    static void TearDownTestSuite() { endSession(); }

    void SetUp() override {
        if (!accessibility_) {
            GTEST_SKIP() << "needs the private desktop: run under tests/support/desktop-session.sh "
                            "(ctest runs these as desktop_chat_pages)";
        }
    }

    // Chromium, or another browser of its family the session runs in its place.
    static inline std::string browser_ = "chromium";
};

TEST_P(RealChromium, ParsesThePageAndCapturesATypedExchange) {
    checkPageAndTypedExchange(GetParam(), {browser_, browser_, browser_});
}

// A page whose marker class has moved gives no snapshot, an empty or
// fallback parse, or turns the page really shows: never a wrong turn.
TEST_P(RealChromium, AMovedMarkerNeverGivesAWrongTurn) {
    const Page& page = GetParam();
    const std::string url = urls_.at(page.surface);
    auto expected = fixtureParse(page, url);
    ASSERT_TRUE(expected);
    const std::string moved = url + "?rename=" + page.renamedMarker + ":" + page.renamedMarker + "-v2";
    ASSERT_TRUE(openLoaded(moved)) << "page did not load";
    std::this_thread::sleep_for(300ms);  // let the renaming script finish
    auto live = parse(page.surface, moved);
    if (!live || live->turns.empty() || live->usedParityFallback) return;
    // The page states its bubbles before its class is renamed.
    std::optional<Statement> stated;
    ASSERT_TRUE(waitFor(3s, [&] { return (stated = statement(moved, page.promptsOnly)).has_value(); }))
        << "the page stated nothing";
    for (const auto& turn : live->turns) {
        bool real = false;
        for (const auto& [role, text] : stated->turns) real = real || (role == turn.role && text == lineTrimmed(turn.text));
        EXPECT_TRUE(real) << page.surface << ": turn " << turn.index << " (" << turn.role << ") \"" << turn.text
                          << "\" is not on the page";
    }
}

INSTANTIATE_TEST_SUITE_P(Pages, RealChromium, ::testing::ValuesIn(pages()),
                         [](const auto& info) { return info.param.surface; });

// A typed exchange whose reply streams as real ones do: slowly (a word every
// 400 ms, a second's pause now and then), with its stop control blinking out
// during the pauses, with none at all, or under another label. The reply is
// sent once, whole, with verdict "ok", never cut at a pause.
class RealChromiumStreaming : public RealChromium {};

TEST_P(RealChromiumStreaming, AReplyThatPausesIsSentOnceWhole) {
    const Page& page = GetParam();
    struct Pace {
        const char* query;
        const char* what;
    };
    // Every page streams slowly with its stop control blinking; one page also
    // without any stop control and under an older label (the quick stream
    // with the page's own label is the typed exchange above).
    std::vector<Pace> paces{{"?pace=slow&stop=blink", "slow, the stop control gone in every pause"}};
    if (page.surface == "chatgpt") {
        paces.push_back({"?pace=slow&stop=none", "slow, no stop control"});
        paces.push_back({"?stop=Stop%20generating", "quick, an older stop label"});
    }
    for (const auto& pace : paces) {
        SCOPED_TRACE(pace.what);
        const std::string url = urls_.at(page.surface) + pace.query;
        ASSERT_TRUE(openLoaded(url)) << "page did not load";
        std::optional<Statement> before;
        ASSERT_TRUE(waitFor(5s, [&] { return (before = statement(url, false)).has_value(); }));

        Attached capture;
        ASSERT_NO_FATAL_FAILURE(capture.attach({browser_, browser_, browser_}));
        const auto& events = capture.events;

        ASSERT_NO_FATAL_FAILURE(focusComposer(url));
        const std::string prompt = "Take your time on " + page.surface;
        ASSERT_TRUE(run("xdotool type --delay 5 '" + prompt + "' && xdotool key Return"));

        std::optional<Statement> stated;
        ASSERT_TRUE(runUntil(capture.loop, 90s, [&] {
            stated = statement(url, false);
            return stated && stated->complete && stated->turns.size() == before->turns.size() + 2;
        })) << "the reply never ended";
        runUntil(capture.loop, 4s, [] { return false; });
        capture.controller->stop();
        ASSERT_EQ(events.size(), 1u) << "sent in pieces or not at all";
        EXPECT_EQ(events[0].prompt, prompt);
        EXPECT_EQ(lineTrimmed(events[0].response), stated->turns.back().second);
        EXPECT_EQ(events[0].verdict, "ok");
        EXPECT_EQ(events[0].revision, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Pages, RealChromiumStreaming,
                         ::testing::ValuesIn(pagesWhere(
                             pages(), [](const Page& p) { return !p.promptsOnly; })),
                         [](const auto& info) { return info.param.surface; });

// A gate that remembers a window's page only checks it on the next pass.
class RealChromiumTabs : public RealChromium {};

TEST_P(RealChromiumTabs, ARememberedPageAfterATabSwitch) {
    const std::string first = urls_.at("chatgpt");
    const std::string second = urls_.at(GetParam().surface);
    ASSERT_TRUE(openLoaded(first)) << "page did not load";
    auto spec = AIAppAllowlist::specForAppId(browser_);
    ASSERT_TRUE(spec && spec->browserCase());
    sim::SimClock clock;
    BrowserGate gate(pid_, spec->browserCase()->profile, *accessibility_, nullptr, &clock);
    ASSERT_EQ(gate.allGatedTabs(8).size(), 1u);
    ASSERT_TRUE(openInNewTab(second)) << "the second tab did not load";
    // The first tab's page still reads its address, role and showing state,
    // but is out of the tree: the check sees that without a walk.
    auto switched = gate.allGatedTabs(8);
    ASSERT_EQ(switched.size(), 1u);
    EXPECT_EQ(switched[0].surface, GetParam().surface);
    EXPECT_EQ(BrowserGate::url(switched[0].webArea), second);

    ASSERT_TRUE(run("xdotool key --clearmodifiers ctrl+w"));
    EXPECT_TRUE(waitFor(5s, [&] { return webArea(second) == nullptr; })) << "the second tab did not close";
}

INSTANTIATE_TEST_SUITE_P(Pages, RealChromiumTabs,
                         ::testing::ValuesIn(pagesWhere(
                             pages(), [](const Page& p) { return p.surface == "claude_ai"; })),
                         [](const auto& info) { return info.param.surface; });

// The session's accessibility switch and registry as the agent sees them.
TEST(AtspiAccessibilityLive, TrustsTheSessionAndFindsTheBrowserByProcess) {
    if (!std::getenv("VELMAR_DESKTOP_SESSION")) GTEST_SKIP() << "needs the private desktop (desktop_chat_pages)";
    AtspiAccessibility accessibility;
    EXPECT_TRUE(accessibility.isProcessTrusted());
    auto app = accessibility.applicationElement(std::atoi(std::getenv("VELMAR_CHROMIUM_PID")));
    ASSERT_TRUE(app);
    AXElement root(app);
    EXPECT_EQ(root.role(), "AXApplication");
    auto windows = root.windows();
    ASSERT_FALSE(windows.empty());
    EXPECT_EQ(windows.front().role(), "AXWindow");
    EXPECT_EQ(windows.front().attribute("AXMinimized"), std::optional<AXAttributeValue>(false));
    EXPECT_TRUE(root.focusedWindow().has_value());
    EXPECT_FALSE(accessibility.applicationElement(-1));
    // The same element read twice is one element.
    auto again = AXElement(app).windows();
    EXPECT_TRUE(windows.front() == again.front());
    EXPECT_EQ(windows.front().raw()->identityHash(), again.front().raw()->identityHash());
}

}  // namespace
}  // namespace velmar::linux_backend
