// The chat pages in a real Firefox, read through AT-SPI: Firefox folds its
// text into its containers and keeps every tab's page in the window, so these
// check that the pages read turn for turn as the page states them and that
// capture takes the tab on screen. They run inside the private desktop that
// tests/support/desktop-session.sh starts with VELMAR_BROWSER=firefox
// (ctest's "desktop_firefox_pages"); elsewhere they skip and say so.

#include "ax/AXElement.hpp"
#include "capture/AIAppAllowlist.hpp"
#include "capture/BrowserGate.hpp"

#include "platform/linux/atspi/RealBrowserSupport.hpp"
#include "platform/sim/SimClock.hpp"

#include <gtest/gtest.h>

#include <chrono>

namespace velmar::linux_backend {
namespace {

using namespace std::chrono_literals;
using namespace real_browser;

const std::vector<Page>& pages() {
    static const std::vector<Page> all = {
        {"chatgpt", "chatgpt/20261207-web-linux-two-exchanges.json", "sr-only"},
        {"claude_ai", "claude_ai/20261207-web-linux-two-exchanges.json", "font-claude-response"},
        {"gemini", "gemini/20261202-web-finished-two-exchanges.json", "conversation-container"},
        {"perplexity", "perplexity/20261202-web-finished-with-citations.json", "group/query", false,
         "its citation chips are spans: their source names read as reply text"},
        {"deepseek", "deepseek/20261202-web-finished-reasoning-citations.json", "ds-message", false,
         "its citation chips are spans: their numbers read as reply text"},
        {"gemini_docs", "gemini_docs/20261202-docs-finished-two-exchanges.json", "appsElementsSidekickRoot", false,
         "its hidden \"Gemini response\" caption is a span: its source link reads as a link among words"},
        {"gemini_sheets", "gemini_sheets/20261202-sheets-finished-formula.json", "appsElementsSidekickUserMessageRoot"},
        {"claude_design", "claude_design/20261206-design-chat-bubbles.json", "om-chat-messages", true},
        {"claude_cowork", "claude_cowork/20261206-web-cowork-task.json", "font-claude-response"},
    };
    return all;
}

class RealFirefox : public ::testing::TestWithParam<Page>, protected BrowserSession {
protected:
    static void SetUpTestSuite() { startSession("VELMAR_FIREFOX_PID", "VELMAR_FIREFOX_WINDOW"); }
    static void TearDownTestSuite() { endSession(); }

    void SetUp() override {
        if (!accessibility_) {
            GTEST_SKIP() << "needs the private desktop with Firefox: run under VELMAR_BROWSER=firefox "
                            "tests/support/desktop-session.sh (ctest runs these as desktop_firefox_pages)";
        }
    }
};

// Debian's Firefox ESR, as the workspace names it by its desktop entry.
TEST_P(RealFirefox, ParsesThePageAndCapturesATypedExchange) {
    checkPageAndTypedExchange(GetParam(), {"firefox-esr", "Firefox ESR", "firefox"});
}

INSTANTIATE_TEST_SUITE_P(Pages, RealFirefox, ::testing::ValuesIn(pages()),
                         [](const auto& info) { return info.param.surface; });

// Firefox keeps every tab's page in the window's tree, the background ones
// not showing: the gate takes the tab on screen, whichever comes first.
class RealFirefoxTabs : public RealFirefox {};

TEST_P(RealFirefoxTabs, TheGateTakesTheTabOnScreen) {
    const std::string background = urls_.at("chatgpt");
    const std::string shown = urls_.at(GetParam().surface);
    ASSERT_TRUE(openLoaded(background)) << "page did not load";
    ASSERT_TRUE(openInNewTab(shown)) << "the second tab did not load";

    auto hidden = [](const AXNodePtr& area) {
        return static_cast<const AXElement&>(*area).attribute("AXHidden") == AXAttributeValue(true);
    };
    EXPECT_TRUE(waitFor(3s, [&] {
        auto back = webArea(background), front = webArea(shown);
        return back && front && hidden(back) && !hidden(front);
    })) << "the background tab's page is not in the tree, or not hidden";

    auto spec = AIAppAllowlist::specForAppId("firefox-esr");
    ASSERT_TRUE(spec && spec->browserCase());
    BrowserGate gate(pid_, spec->browserCase()->profile, *accessibility_);
    auto tabs = gate.allGatedTabs(8);
    ASSERT_EQ(tabs.size(), 1u);
    EXPECT_EQ(tabs[0].surface, GetParam().surface);
    EXPECT_TRUE(tabs[0].isFocused);
    EXPECT_EQ(BrowserGate::url(tabs[0].webArea), shown);
    EXPECT_EQ(gate.focusedAISurface(), GetParam().surface);

    // A gate that remembers the page only checks it on the next pass; going
    // back a tab hides it, which that check sees without walking again.
    sim::SimClock clock;
    BrowserGate remembering(pid_, spec->browserCase()->profile, *accessibility_, nullptr, &clock);
    ASSERT_EQ(remembering.allGatedTabs(8).size(), 1u);
    ASSERT_TRUE(run("xdotool key --clearmodifiers ctrl+Page_Up"));
    EXPECT_TRUE(waitFor(3s, [&] {
        auto back = webArea(background), front = webArea(shown);
        return back && front && !hidden(back) && hidden(front);
    })) << "the tab switch did not hide the page";
    auto switched = remembering.allGatedTabs(8);
    ASSERT_EQ(switched.size(), 1u);
    EXPECT_EQ(switched[0].surface, "chatgpt");
    EXPECT_EQ(BrowserGate::url(switched[0].webArea), background);
    ASSERT_TRUE(run("xdotool key --clearmodifiers ctrl+Page_Down"));
    EXPECT_TRUE(waitFor(3s, [&] { return webArea(shown) && !hidden(webArea(shown)); }));

    ASSERT_TRUE(run("xdotool key --clearmodifiers ctrl+w"));
    EXPECT_TRUE(waitFor(5s, [&] { return webArea(shown) == nullptr; })) << "the second tab did not close";
}

INSTANTIATE_TEST_SUITE_P(Pages, RealFirefoxTabs,
                         ::testing::ValuesIn(pagesWhere(
                             pages(), [](const Page& p) { return p.surface == "gemini"; })),
                         [](const auto& info) { return info.param.surface; });

}  // namespace
}  // namespace velmar::linux_backend
