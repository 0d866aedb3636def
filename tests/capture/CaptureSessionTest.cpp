// One working session on a simulated desktop, end to end: Claude Desktop and
// a Chrome window whose tab goes from ChatGPT to DeepSeek and back, replies
// streaming, the user scrolling. What leaves is exactly the exchanges the
// user saw completed, each once, with its ordinal and browser.
#include "capture/AIAppAllowlist.hpp"
#include "capture/PasteboardCapture.hpp"
#include "capture/BrowserCaptureController.hpp"
#include "capture/CaptureController.hpp"
#include "capture/ChatPages.hpp"
#include "platform/sim/SimClipboard.hpp"
#include "platform/sim/SimDesktop.hpp"
#include "capture/CaptureDiag.hpp"

#include <gtest/gtest.h>

namespace velmar {
namespace {

using namespace std::chrono_literals;
using testing::Texts;

TEST(CaptureSession, SendsEachCompletedExchangeOnceWithItsOrdinalAndBrowser) {
    sim::SimMainLoop loop;
    sim::SimDesktop desktop(loop);
    sim::SimClipboard clipboard;
    PasteboardCapture pastes(&clipboard);
    CaptureDiag diag(loop.now());
    std::vector<std::string> sent;
    auto record = [&](const TurnEvent& e) {
        sent.push_back(e.surface + "#" + std::to_string(e.turnIndex) + " " + e.prompt + " -> " + e.response + " [" +
                       e.browser.value_or("app") + "]");
    };

    const RunningApplication claudeApp{101, "com.anthropic.claudefordesktop", "Claude", std::nullopt};
    const RunningApplication chromeApp{201, "com.google.Chrome", "Chrome", std::nullopt};
    desktop.launch(claudeApp);
    desktop.launch(chromeApp);
    auto claudeWindow = desktop.openWindow(claudeApp.pid, "Claude");
    auto chromeWindow = desktop.openWindow(chromeApp.pid, "Chrome");

    // What each page shows; the Chrome window exposes only its active tab.
    const std::string claudeURL = "https://claude.ai/chat/cd-1", gptURL = "https://chatgpt.com/c/g-1",
                      dsURL = "https://chat.deepseek.com/a/chat/s/ds-1";
    Texts claude = {"Old Claude question", "Old Claude answer"};
    Texts gpt = {"Old GPT question", "Old GPT answer"};
    Texts ds = {"Old DeepSeek question", "Old DeepSeek answer"};
    std::string activeTab = "gpt";
    int gptFirst = 0;  // first turn in view: scrolling
    auto showClaude = [&](bool finished) {
        claudeWindow->clearChildren();
        claudeWindow->append(testing::group({testing::claudePage(claudeURL, claude, finished)}).buildSim());
        desktop.changed(claudeApp.pid);
    };
    auto showTab = [&](bool finished) {
        chromeWindow->clearChildren();
        if (activeTab == "gpt") {
            Texts inView(gpt.begin() + gptFirst, gpt.end());
            chromeWindow->append(testing::chatgptPage(gptURL, inView, finished).buildSim());
        } else {
            chromeWindow->append(testing::deepseekPage(dsURL, ds, finished).buildSim());
        }
        desktop.changed(chromeApp.pid);
    };
    // A reply streams for `seconds`, one notification every 100 ms.
    auto stream = [&](Texts& turns, const std::string& reply, double seconds, const std::function<void(bool)>& show) {
        turns.push_back("");
        const int steps = static_cast<int>(seconds * 10);
        for (int i = 1; i <= steps; ++i) {
            turns.back() = reply.substr(0, reply.size() * i / (steps + 1));
            show(false);
            loop.advance(100ms);
        }
        turns.back() = reply;
        show(true);
    };

    showClaude(true);
    showTab(true);
    auto spec = AIAppAllowlist::specForAppId(*claudeApp.appId, &pastes);
    ASSERT_TRUE(spec && spec->isNative());
    CaptureController native(claudeApp, spec->nativeCase()->segmenter, desktop.accessibility(), loop, diag, {}, record);
    BrowserCaptureController browser(chromeApp, BrowserProfile::chrome(), desktop.accessibility(), loop, diag, {}, record,
                                     &pastes);
    ASSERT_TRUE(native.start());
    ASSERT_TRUE(browser.start());
    loop.advance(3s);

    // ChatGPT: a prompt and a streaming reply.
    gpt.push_back("Explain ownership in Rust");
    showTab(true);
    loop.advance(1s);
    stream(gpt, "Each value has one owner, and goes with it.", 6, showTab);
    loop.advance(2s);

    // Claude Desktop meanwhile.
    claude.push_back("Summarise the meeting notes");
    showClaude(true);
    loop.advance(1s);
    stream(claude, "Ship on Friday, tests reviewed first.", 4, showClaude);
    loop.advance(2s);

    // A tab switch to DeepSeek: its history is not sent; then a new exchange.
    activeTab = "ds";
    showTab(true);
    loop.advance(2s);
    ds.push_back("What is a monad?");
    showTab(true);
    loop.advance(1s);
    stream(ds, "A value wrapped with a way to chain steps.", 3, showTab);
    loop.advance(3s);  // a reply is complete once unchanged for 1.5 s

    // Back to ChatGPT; the user scrolls up to the top and back down.
    activeTab = "gpt";
    showTab(true);
    loop.advance(2s);
    for (int first : {1, 0, 1, 2}) {
        gptFirst = first;
        showTab(true);
        loop.advance(1s);
    }
    native.stop();
    browser.stop();

    EXPECT_EQ(sent, (std::vector<std::string>{
                        "chatgpt#4 Explain ownership in Rust -> Each value has one owner, and goes with it. [chrome]",
                        "claude_desktop#4 Summarise the meeting notes -> Ship on Friday, tests reviewed first. [app]",
                        "deepseek#4 What is a monad? -> A value wrapped with a way to chain steps. [chrome]",
                    }));
    EXPECT_GE(diag.count("chatgpt", CaptureDiag::Counter::parsedOk), 5);
}

}  // namespace
}  // namespace velmar
