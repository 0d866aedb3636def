// One snapshot of a long ChatGPT page in a real Chromium, read through
// AT-SPI: wall time and attribute reads through the port (each read is at
// least one round trip to the browser). Runs inside the private desktop:
//   bash tests/support/desktop-session.sh build/velmar_bench --benchmark_filter=RealChromium
// Elsewhere it reports itself skipped.
#include "ax/AXElement.hpp"
#include "parsing/ChatGPTTranscriptParser.hpp"
#include "platform/linux/AtspiAccessibility.hpp"

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

namespace velmar {
namespace {

// Counts the reads a walk makes, passing the count on to every element it hands out.
class CountingElement final : public PlatformElement {
public:
    CountingElement(AXElementRef inner, std::shared_ptr<std::atomic<std::size_t>> reads)
        : inner_(std::move(inner)), reads_(std::move(reads)) {}

    std::optional<AXAttributeValue> copyAttribute(std::string_view name) const override {
        ++*reads_;
        auto value = inner_->copyAttribute(name);
        if (!value) return value;
        if (auto* one = std::get_if<AXElementRef>(&*value)) return AXAttributeValue(wrap(*one));
        if (auto* many = std::get_if<std::vector<AXElementRef>>(&*value)) {
            for (auto& e : *many) e = wrap(e);
        }
        return value;
    }
    bool setBoolAttribute(std::string_view name, bool value) const override { return inner_->setBoolAttribute(name, value); }
    bool sameElement(const PlatformElement& other) const override {
        auto* o = dynamic_cast<const CountingElement*>(&other);
        return inner_->sameElement(o ? *o->inner_ : other);
    }
    std::size_t identityHash() const override { return inner_->identityHash(); }

private:
    AXElementRef wrap(const AXElementRef& e) const { return e ? std::make_shared<CountingElement>(e, reads_) : e; }
    AXElementRef inner_;
    std::shared_ptr<std::atomic<std::size_t>> reads_;
};

std::optional<AXElement> findWebArea(const AXElement& node, std::string_view prefix, int depth) {
    if (depth > 40) return std::nullopt;
    if (node.role() == "AXWebArea") {
        auto url = node.attribute("AXURL");
        auto* value = url ? std::get_if<AXURLValue>(&*url) : nullptr;
        if (value && value->absoluteString.starts_with(prefix)) return node;
        return std::nullopt;
    }
    for (const auto& c : node.children()) {
        if (auto found = findWebArea(static_cast<const AXElement&>(*c), prefix, depth + 1)) return found;
    }
    return std::nullopt;
}

std::size_t countNodes(const AXNode& node) {
    std::size_t n = 1;
    for (const auto& c : node.children()) n += countNodes(*c);
    return n;
}

void RealChromiumChatGPTSnapshot(benchmark::State& state) {
    if (!std::getenv("VELMAR_DESKTOP_SESSION")) {
        state.SkipWithError("needs the private desktop (tests/support/desktop-session.sh)");
        return;
    }
    std::ifstream in(std::string(std::getenv("VELMAR_SESSION_DIR")) + "/pages.json");
    const std::string url = nlohmann::json::parse(in).at("chatgpt").get<std::string>();
    const std::string page = url + "?history=" + std::to_string(state.range(0));
    const std::string window = std::getenv("VELMAR_CHROMIUM_WINDOW");
    std::system(("xdotool windowfocus --sync " + window + " && xdotool key --clearmodifiers ctrl+l && xdotool type --delay 2 '" +
                 page + "' && xdotool key Return")
                    .c_str());
    linux_backend::AtspiAccessibility accessibility;
    auto app = accessibility.applicationElement(std::atoi(std::getenv("VELMAR_CHROMIUM_PID")));
    std::optional<AXElement> area;
    for (int i = 0; i < 100 && !area; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        for (const auto& w : AXElement(app).windows()) {
            if ((area = findWebArea(w, page, 0))) break;
        }
    }
    if (!area) {
        state.SkipWithError("the page did not load");
        return;
    }
    auto reads = std::make_shared<std::atomic<std::size_t>>(0);
    AXElement counted(std::make_shared<CountingElement>(area->raw(), reads));
    const auto parser = ChatGPTTranscriptParser::web();
    std::size_t turns = 0;
    for (auto _ : state) {
        auto snap = parser.snapshot(counted, std::nullopt);
        turns = snap ? snap->turns.size() : 0;
        benchmark::DoNotOptimize(turns);
    }
    const std::size_t perSnapshot = reads->load() / static_cast<std::size_t>(state.iterations());
    state.counters["nodes"] = static_cast<double>(countNodes(*area));
    state.counters["turns"] = static_cast<double>(turns);
    state.counters["reads_per_snapshot"] = static_cast<double>(perSnapshot);
}
// About 3,000 accessible objects at 70 exchanges.
BENCHMARK(RealChromiumChatGPTSnapshot)->Arg(70)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
}  // namespace velmar
