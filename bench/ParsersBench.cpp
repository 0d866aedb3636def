// The Gemini and DeepSeek snapshots and the Docs panel's editor check on
// generated 30,000-node pages, recorded and simulated live. Live reads are the
// real cost (one round trip each), so the live runs report them.
#include "ax/AXElement.hpp"
#include "parsing/DeepSeekTranscriptParser.hpp"
#include "parsing/GeminiTranscriptParser.hpp"
#include "parsing/WorkspaceGeminiPanel.hpp"
#include "support/Trees.hpp"

#include <benchmark/benchmark.h>

namespace velmar {
namespace {

using testing::N;

constexpr std::size_t kPageNodes = 30000;

N text(const std::string& s) { return std::move(N("AXStaticText").value(s)); }
N group(std::vector<std::string> classes = {}) {
    N g("AXGroup");
    if (!classes.empty()) g.classes(std::move(classes));
    return g;
}

std::size_t countNodes(const nlohmann::json& node) {
    std::size_t n = 1;
    if (auto it = node.find("children"); it != node.end()) {
        for (const auto& c : *it) n += countNodes(c);
    }
    return n;
}

// A sidebar of past conversations, so the page's search walks have chrome to cross.
N sidebar(int links) {
    N nav = std::move(N("AXGroup").subrole("AXLandmarkNavigation"));
    for (int i = 0; i < links; ++i) nav.kid(N("AXLink").kids({text("Xxxxx xxxx " + std::to_string(i))}));
    return nav;
}

// About 60 nodes per exchange; exchanges are added until the page holds 30,000 nodes.
nlohmann::json geminiPage() {
    auto exchange = [](int i) {
        N markdown = group({"markdown", "markdown-main-panel"});
        for (int p = 0; p < 8; ++p) markdown.kid(N("AXGroup").kids({text("Xxxxx xxxx xxxxx " + std::to_string(p))}));
        markdown.kid(N("AXList").kids({group().kids({text("Xxx")}), group().kids({text("Xxx")}), group().kids({text("Xxx")})}));
        markdown.kid(group({"code-block"}).kids({N("AXHeading").classes({"cdk-visually-hidden"}).kids({text("Code snippet")}),
                                                 N("AXButton").description("Copy code"), text("xx = 1")}));
        return std::move(group({"conversation-container"}).kids({
            group({"user-query-container"}).kids({
                N("AXHeading").classes({"cdk-visually-hidden", "screen-reader-user-query-label"}).title("You said Xxx"),
                group({"query-content"}).kids({group({"query-text"}).kids({text("Xxxx xx " + std::to_string(i))})}),
                N("AXButton").description("Edit text"),
            }),
            group({"model-response"}).kids({
                N("AXHeading").classes({"cdk-visually-hidden", "screen-reader-model-response-label"}).title("Gemini said"),
                group({"response-container"}).kids({
                    group({"response-container-header"}).kids({N("AXButton").kids({text("Show thinking")})}),
                    group({"presented-response-container"}).kids({markdown}),
                    group({"response-container-footer"}).kids({N("AXButton").description("Good response"),
                                                               N("AXButton").description("Bad response"),
                                                               N("AXButton").description("Copy response")}),
                }),
            }),
        }));
    };
    std::size_t perExchange = countNodes(exchange(0).json());
    N history = group({"chat-history"});
    const int chrome = 400;
    for (std::size_t n = chrome; n + perExchange <= kPageNodes; n += perExchange) {
        history.kid(exchange(static_cast<int>(n / perExchange)));
    }
    return N("AXWebArea")
        .kids({sidebar(chrome / 2),
               N("AXGroup").subrole("AXLandmarkMain").kids({
                   group({"top-bar-actions"}).kids({group({"with-model-picker"}).kids({
                       N("AXPopUpButton").description("Open mode picker, currently 2.5 Flash")})}),
                   group({"chat-container"}).kids({group({"chat-history-scroll-container"}).kids({history})}),
                   group({"input-area-container"}).kids({N("AXTextArea"), N("AXButton").description("Microphone")}),
               })})
        .json();
}

// About 40 nodes per exchange, with reasoning blocks and split paragraphs.
nlohmann::json deepSeekPage() {
    auto exchange = [](int i) {
        N user = group().kids({group({"ds-message"}).kids({group().kids({text("Xxxx xx " + std::to_string(i))})}),
                               group().kids({N("AXButton").description("Copy"), N("AXButton").description("Edit")})});
        N think = group({"ds-think-content"}).kids({group({"ds-markdown"}).kids({
            group({"ds-markdown-paragraph"}).kids({text("Xxxx")}), group({"ds-markdown-paragraph"}).kids({text("Xxxx")})})});
        N answer = group({"ds-markdown"});
        for (int p = 0; p < 6; ++p) {
            answer.kid(group({"ds-markdown-paragraph"}).kids({text("Xxxx "), group().kids({text("xxx")}), text(" xxxx."),
                                                             group({"ds-markdown-cite"}).kids({text("1")})}));
        }
        N reply = group().kids({group({"ds-message"}).kids({group().kids({text("Thought for 3 seconds")}), think, answer}),
                                group().kids({group({"ds-flex"}).kids({N("AXButton").description("Copy"),
                                                                      N("AXButton").description("Regenerate")})})});
        return std::make_pair(user, reply);
    };
    auto [u, r] = exchange(0);
    std::size_t perExchange = countNodes(u.json()) + countNodes(r.json());
    N items = group({"ds-virtual-list-visible-items"});
    const int chrome = 400;
    for (std::size_t n = chrome; n + perExchange <= kPageNodes; n += perExchange) {
        auto [user, reply] = exchange(static_cast<int>(n / perExchange));
        items.kid(user);
        items.kid(reply);
    }
    return N("AXWebArea")
        .kids({N("AXGroup").kids({sidebar(chrome / 2),
                                  group().kids({group({"ds-virtual-list"}).kids({items}),
                                                N("AXTextArea").placeholder("Message DeepSeek")})})})
        .json();
}

// A Docs page whose document holds nearly all of the 30,000 nodes, with the
// Gemini panel beside it: the check runs once on the panel (accepted) and
// once on the page body. The body's only editor class sits on its last line,
// so only the node cap stops the walk from reading the whole document.
nlohmann::json docsPage() {
    N editor = group({"doc-body"});
    const int lines = (kPageNodes - 1200) / 10;
    for (int i = 0; i < lines; ++i) {
        N line = i + 1 == lines ? group({"kix-lineview"}) : group({"doc-line"});
        for (int w = 0; w < 9; ++w) line.kid(text("xxxx"));
        editor.kid(line);
    }
    N feed = group({"appsElementsSidekickFeedEntries"});
    for (int i = 0; i < 100; ++i) {
        feed.kid(group({i % 2 ? "appsElementsSidekickAgentMessageRoot" : "appsElementsSidekickUserMessageRoot"})
                     .kids({group().kids({text("Xxxx"), text("xxxx"), text("xxxx")}), N("AXButton").description("Copy")}));
    }
    N panel = std::move(group({"appsElementsSidekickRoot"}).subrole("AXLandmarkComplementary").kids({feed}));
    return N("AXWebArea").kids({group().kids({group().kids({editor}), panel})}).json();
}

template <typename Parser>
void snapshotRecorded(benchmark::State& state, const nlohmann::json& page) {
    auto root = testing::fixtureTree(page);
    Parser parser;
    std::size_t turns = 0;
    for (auto _ : state) {
        auto snap = parser.snapshot(*root, std::string("k"));
        turns = snap ? snap->turns.size() : 0;
        benchmark::DoNotOptimize(snap);
    }
    state.counters["nodes"] = static_cast<double>(countNodes(page));
    state.counters["turns"] = static_cast<double>(turns);
}

template <typename Parser>
void snapshotLive(benchmark::State& state, const nlohmann::json& page) {
    auto sim = testing::simTree(page);
    AXElement root(sim);
    auto log = sim->readLog();
    Parser parser;
    std::size_t reads = 0, visited = 0, turns = 0;
    for (auto _ : state) {
        log->reset();
        auto snap = parser.snapshot(root, std::string("k"));
        turns = snap ? snap->turns.size() : 0;
        benchmark::DoNotOptimize(snap);
        reads = log->total();
        visited = log->elementsRead();
    }
    state.counters["nodes"] = static_cast<double>(countNodes(page));
    state.counters["turns"] = static_cast<double>(turns);
    state.counters["reads/snapshot"] = static_cast<double>(reads);
    state.counters["nodes visited"] = static_cast<double>(visited);
    for (const char* attribute : {"AXChildren", "AXRole", "AXDOMClassList"}) {
        state.counters[attribute] = static_cast<double>(log->count(attribute));
    }
}

void BM_GeminiSnapshotRecorded(benchmark::State& state) { snapshotRecorded<GeminiTranscriptParser>(state, geminiPage()); }
void BM_GeminiSnapshotLive(benchmark::State& state) { snapshotLive<GeminiTranscriptParser>(state, geminiPage()); }
void BM_DeepSeekSnapshotRecorded(benchmark::State& state) { snapshotRecorded<DeepSeekTranscriptParser>(state, deepSeekPage()); }
void BM_DeepSeekSnapshotLive(benchmark::State& state) { snapshotLive<DeepSeekTranscriptParser>(state, deepSeekPage()); }

// state.range(0): 0 checks the panel, 1 the page body that holds the editor.
AXNodePtr editorCheckTarget(const AXNodePtr& page, bool body) {
    auto panel = WorkspaceGeminiPanel::locate(page);
    if (!body) return panel;
    return page->children().front();
}

void BM_EditorCheckRecorded(benchmark::State& state) {
    auto page = docsPage();
    AXNodePtr root = testing::fixtureTree(page);
    auto target = editorCheckTarget(root, state.range(0) == 1);
    bool disjoint = false;
    for (auto _ : state) {
        disjoint = WorkspaceGeminiPanel::isDisjointFromEditor(target, 4000);
        benchmark::DoNotOptimize(disjoint);
    }
    state.counters["page nodes"] = static_cast<double>(countNodes(page));
    state.counters["disjoint"] = disjoint ? 1 : 0;
}

void BM_EditorCheckLive(benchmark::State& state) {
    auto page = docsPage();
    auto sim = testing::simTree(page);
    auto target = editorCheckTarget(std::make_shared<AXElement>(sim), state.range(0) == 1);
    auto log = sim->readLog();
    std::size_t reads = 0, visited = 0;
    bool disjoint = false;
    for (auto _ : state) {
        log->reset();
        disjoint = WorkspaceGeminiPanel::isDisjointFromEditor(target, 4000);
        benchmark::DoNotOptimize(disjoint);
        reads = log->total();
        visited = log->elementsRead();
    }
    state.counters["page nodes"] = static_cast<double>(countNodes(page));
    state.counters["disjoint"] = disjoint ? 1 : 0;
    state.counters["reads/check"] = static_cast<double>(reads);
    state.counters["nodes visited"] = static_cast<double>(visited);
}

BENCHMARK(BM_GeminiSnapshotRecorded)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GeminiSnapshotLive)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DeepSeekSnapshotRecorded)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DeepSeekSnapshotLive)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EditorCheckRecorded)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_EditorCheckLive)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace velmar
