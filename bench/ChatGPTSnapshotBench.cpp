// The ChatGPT snapshot over generated conversations, recorded and simulated
// live. Live reads are the real cost, so the live runs report reads too.
#include "ax/AXElement.hpp"
#include "parsing/ChatGPTTranscriptParser.hpp"
#include "support/Trees.hpp"

#include <benchmark/benchmark.h>

namespace velmar {
namespace {

using testing::N;

// About 30 nodes per exchange pair plus page chrome.
nlohmann::json conversation(int pairs, std::size_t& nodes) {
    auto text = [](const std::string& s) { return std::move(N("AXStaticText").value(s)); };
    N thread("AXGroup");
    for (int i = 0; i < pairs; ++i) {
        thread.kid(N("AXGroup").subrole("AXDocumentArticle").kids({
            N("AXHeading").title("You said:").classes({"sr-only"}).kids({text("You said:")}),
            N("AXGroup").kids({N("AXGroup").kids({text("Xxxx xx " + std::to_string(i))})}),
            N("AXGroup").description("Your message actions").kids({N("AXButton").description("Copy message"),
                                                                   N("AXButton").description("Edit message")}),
        }));
        N markdown("AXGroup");
        for (int p = 0; p < 4; ++p) markdown.kid(N("AXGroup").kids({text("Xxxxx xxxx xxxxx " + std::to_string(p))}));
        markdown.kid(N("AXList").kids({N("AXGroup").kids({text("Xxx")}), N("AXGroup").kids({text("Xxx")})}));
        thread.kid(N("AXGroup").subrole("AXDocumentArticle").kids({
            N("AXHeading").title("ChatGPT said:").classes({"sr-only"}),
            markdown,
            N("AXGroup").description("Response actions").kids({N("AXButton").description("Copy"),
                                                               N("AXButton").description("Good response"),
                                                               N("AXButton").description("Bad response")}),
        }));
    }
    auto page = N("AXWebArea").kids({N("AXGroup").kids({
        N("AXGroup").subrole("AXLandmarkNavigation").kids({N("AXLink").title("New chat")}),
        N("AXGroup").subrole("AXLandmarkMain").kids({thread, N("AXTextArea").placeholder("Ask anything"),
                                                    N("AXButton").description("Send")}),
    })});
    auto root = page.build();
    nodes = 0;
    std::vector<AXNodePtr> stack{root};
    while (!stack.empty()) {
        auto n = stack.back();
        stack.pop_back();
        ++nodes;
        for (auto& c : n->children()) stack.push_back(c);
    }
    return page.json();
}

// ~3,000 and ~30,000 nodes.
constexpr int kSmallPairs = 100;
constexpr int kLargePairs = 1000;

void BM_ChatGPTSnapshotRecorded(benchmark::State& state) {
    std::size_t nodes = 0;
    auto root = testing::fixtureTree(conversation(static_cast<int>(state.range(0)), nodes));
    auto parser = ChatGPTTranscriptParser::web();
    for (auto _ : state) {
        auto snap = parser.snapshot(*root, std::string("k"));
        benchmark::DoNotOptimize(snap);
    }
    state.counters["nodes"] = static_cast<double>(nodes);
}

void BM_ChatGPTSnapshotLive(benchmark::State& state) {
    std::size_t nodes = 0;
    auto sim = testing::simTree(conversation(static_cast<int>(state.range(0)), nodes));
    AXElement root(sim);
    auto parser = ChatGPTTranscriptParser::web();
    auto log = sim->readLog();
    std::size_t reads = 0, visited = 0;
    for (auto _ : state) {
        log->reset();
        auto snap = parser.snapshot(root, std::string("k"));
        benchmark::DoNotOptimize(snap);
        reads = log->total();
        visited = log->elementsRead();
    }
    state.counters["nodes"] = static_cast<double>(nodes);
    state.counters["reads/snapshot"] = static_cast<double>(reads);
    state.counters["nodes visited"] = static_cast<double>(visited);
    state.counters["reads/node visited"] = visited ? static_cast<double>(reads) / static_cast<double>(visited) : 0;
}

BENCHMARK(BM_ChatGPTSnapshotRecorded)->Arg(kSmallPairs)->Arg(kLargePairs)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ChatGPTSnapshotLive)->Arg(kSmallPairs)->Arg(kLargePairs)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace velmar
