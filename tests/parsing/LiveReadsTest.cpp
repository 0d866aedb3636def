// Every recorded tree parses as its file says; read live through capture's entry
// point, one parse reads each attribute once and finds what the recorded one does.
#include "ax/AXReadScope.hpp"
#include "capture/AIAppAllowlist.hpp"
#include "parsing/ChatGPTDesktopSegmenter.hpp"
#include "parsing/ClaudeSegmenter.hpp"
#include "parsing/FixtureParsing.hpp"
#include "support/BundledFixtures.hpp"
#include "support/ParserTrees.hpp"
#include "tools/FixtureCheck.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace velmar {
namespace {

using namespace testing;  // the shared tree builders and case tables

sim::SimElementPtr firstWithRole(const sim::SimElementPtr& e, const std::string& role) {
    auto value = e->copyAttribute("AXRole");
    if (value && std::get<std::string>(*value) == role) return e;
    for (const auto& child : e->childElements()) {
        if (auto hit = firstWithRole(child, role)) return hit;
    }
    return nullptr;
}

// An application whose focused window is `window`, as the native segmenters see it.
AXElement applicationOf(const sim::SimElementPtr& window) {
    auto app = sim::SimElement::make("AXApplication", window->readLog());
    app->set("AXFocusedWindow", AXElementRef(window));
    return AXElement(app);
}

class LiveReads : public ::testing::TestWithParam<std::string> {};

TEST_P(LiveReads, RecordedTreeParsesAsTheFileExpects) {
    auto result = FixtureCheck::check(std::filesystem::path(VELMAR_FIXTURE_DIR) / GetParam(), std::nullopt);
    EXPECT_TRUE(result.passed) << GetParam() << ": " << result.reason.value_or("");
}

// The entry point capture uses for the surface, on a live tree.
std::optional<SegmenterSnapshot> parseLive(const std::string& surface, const sim::SimElementPtr& live,
                                           const std::optional<std::string>& key) {
    if (auto web = AIAppAllowlist::browserSegmenterForSurface(surface)) return web->snapshot(AXElement(live), key);
    if (surface == "chatgpt_desktop") return ChatGPTDesktopSegmenter().snapshot(applicationOf(live));
    if (surface == "claude_desktop") return ClaudeSegmenter().snapshot(applicationOf(live));
    // Recordings only (the Claude Code view): no capture reads it live.
    AXReadScope scope;
    return FixtureParsing::parse(surface, scope.read(AXElement(live)), key);
}

TEST_P(LiveReads, OneParseReadsEachAttributeOnce) {
    std::ifstream in(std::filesystem::path(VELMAR_FIXTURE_DIR) / GetParam());
    const auto file = nlohmann::json::parse(in);
    const std::string surface = file["meta"]["surface"];
    const std::optional<std::string> key = "fixture";
    auto recorded = FixtureParsing::parse(surface, *testing::fixtureTree(file["tree"]), key);

    for (bool oneByOne : {false, true}) {
        auto live = testing::simTree(file["tree"]);
        if (surface == "claude_desktop") {
            // Recordings keep no address below the root; the desktop app's
            // segmenter reads the window only when its page is a Claude chat.
            firstWithRole(live, "AXWebArea")->set("AXURL", AXURLValue{"https://claude.ai/chat/fixture"});
        }
        live->answerOneByOne(oneByOne);
        auto log = live->readLog();
        log->reset();
        const auto mode = oneByOne ? "one attribute per request" : "several per request";
        EXPECT_EQ(parseLive(surface, live, key), recorded) << mode;
        for (const auto& r : log->repeats()) {
            ADD_FAILURE() << mode << ": " << r.attribute << " read " << r.reads << " times from a "
                          << AXElement(r.element->shared_from_this()).role();
        }
        if (!oneByOne) {
            EXPECT_LE(static_cast<double>(log->total()), 1.2 * static_cast<double>(log->elementsRead()))
                << log->total() << " round trips for " << log->elementsRead() << " elements";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, LiveReads, ::testing::ValuesIn(testing::bundledFixtures()),
                         testing::fixtureTestName);

}  // namespace
}  // namespace velmar
