// One settle of the browser capture controller on a large simulated Chrome
// window, from the accessibility notification to the router: the gate's walk,
// the ChatGPT segmenter over the whole page, stabilizer and assembler.
// Reports CPU time per settle and the attribute reads one settle costs (each
// a round trip to the browser on a real desktop).
#include "capture/BrowserCaptureController.hpp"
#include "capture/CaptureDiag.hpp"
#include "capture/ChatPages.hpp"
#include "platform/sim/SimDesktop.hpp"

#include <benchmark/benchmark.h>

#include <functional>

namespace velmar {
namespace {

using namespace std::chrono_literals;

// A ChatGPT page of about `nodes` nodes: pairs whose replies hold ten lines
// each; `articles`: each message in an article of its own, as chatgpt.com
// shows them, instead of one flat run of headed messages.
testing::N bigPage(int nodes, bool articles) {
    testing::Texts turns;
    constexpr int kNodesPerPair = 16;
    for (int pair = 0; pair < nodes / kNodesPerPair; ++pair) {
        turns.push_back("Question " + std::to_string(pair));
        std::string reply;
        for (int line = 0; line < 10; ++line) reply += "Line " + std::to_string(line) + " of answer " + std::to_string(pair) + "\n";
        turns.push_back(reply);
    }
    if (!articles) return testing::chatgptPage("https://chatgpt.com/c/bench", turns, true);
    testing::N thread("AXGroup");
    for (std::size_t i = 0; i < turns.size(); ++i) {
        thread.kid(testing::N("AXGroup").subrole("AXDocumentArticle").kids(
            {testing::N("AXHeading").title(i % 2 == 0 ? "You said:" : "ChatGPT said:").classes({"sr-only"}),
             testing::N("AXGroup").kids({testing::text(turns[i])})}));
    }
    testing::N main = std::move(testing::N("AXGroup").subrole("AXLandmarkMain").kids({thread}));
    return std::move(testing::N("AXWebArea").url("https://chatgpt.com/c/bench").kids({testing::N("AXGroup").kids({main})}));
}

// The replies' lines as separate text nodes, the way pages split paragraphs.
void splitLines(const sim::SimElementPtr& element) {
    for (const auto& child : element->childElements()) splitLines(child);
    auto value = element->copyAttribute("AXValue");
    auto* text = value ? std::get_if<std::string>(&*value) : nullptr;
    if (!text || text->find('\n') == std::string::npos) return;
    auto parent = element->parentElement();
    std::string rest = *text;
    element->setString("AXValue", rest.substr(0, rest.find('\n')));
    for (auto pos = rest.find('\n'); pos != std::string::npos && pos + 1 < rest.size();) {
        auto next = rest.find('\n', pos + 1);
        auto line = sim::SimElement::make("AXStaticText");
        line->setString("AXValue", rest.substr(pos + 1, next - pos - 1));
        parent->append(line);
        pos = next;
    }
}

std::size_t countNodes(const sim::SimElementPtr& e) {
    std::size_t n = 1;
    for (const auto& c : e->childElements()) n += countNodes(c);
    return n;
}

// Each iteration: the whole page again (an event about the whole browser),
// or only the last reply's text (an event naming its paragraph).
void settleAfter(benchmark::State& state, bool wholePage, bool articles = false) {
    sim::SimMainLoop loop;
    sim::SimDesktop desktop(loop);
    const RunningApplication chrome{201, "com.google.Chrome", "Chrome", std::nullopt};
    desktop.launch(chrome);
    auto window = desktop.openWindow(chrome.pid);
    auto page = bigPage(static_cast<int>(state.range(0)), articles).buildSim();
    splitLines(page);
    window->append(page);
    auto log = std::make_shared<sim::SimReadLog>();
    desktop.application(chrome.pid)->adoptLog(log);

    std::size_t events = 0;
    CaptureDiag diag(loop.now());
    BrowserCaptureController controller(chrome, BrowserProfile::chrome(), desktop.accessibility(), loop, diag, {},
                                        [&](const TurnEvent&) { ++events; });
    controller.start();
    loop.advance(1s);  // primed
    log->reset();
    const int settlesBefore = controller.settleRuns();
    // The last element holding text: the end of the last reply.
    sim::SimElementPtr paragraph;
    std::function<void(const sim::SimElementPtr&)> lastText = [&](const sim::SimElementPtr& e) {
        for (const auto& c : e->childElements()) {
            if (c->copyAttribute("AXRole") == AXAttributeValue(std::string("AXStaticText"))) paragraph = e;
            lastText(c);
        }
    };
    lastText(page);
    int grown = 0;
    for (auto _ : state) {
        if (wholePage) {
            desktop.changed(chrome.pid);
        } else {
            paragraph->childElements().back()->setString("AXValue", "grown " + std::to_string(++grown));
            desktop.changed(chrome.pid, "AXValueChanged", paragraph);
        }
        loop.advance(700ms);
    }
    const auto settles = controller.settleRuns() - settlesBefore;
    state.counters["nodes"] = static_cast<double>(countNodes(page));
    state.counters["reads_per_settle"] = settles ? static_cast<double>(log->total()) / settles : 0;
    state.counters["elements_read"] = static_cast<double>(log->elementsRead());
    controller.stop();
    benchmark::DoNotOptimize(events);
}
void BM_BrowserSettle(benchmark::State& state) { settleAfter(state, true); }
void BM_BrowserSettleOneChange(benchmark::State& state) { settleAfter(state, false); }
void BM_BrowserSettleOneChangeArticles(benchmark::State& state) { settleAfter(state, false, true); }
BENCHMARK(BM_BrowserSettle)->Arg(3'000)->Arg(30'000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BrowserSettleOneChange)->Arg(3'000)->Arg(30'000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BrowserSettleOneChangeArticles)->Arg(3'000)->Arg(30'000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace velmar
