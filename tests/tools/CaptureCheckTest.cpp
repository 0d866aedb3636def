// capture-check driving a simulated browser on virtual time: open, judge, send,
// wait for the reply, close, and compare the report with the last one.
#include "tools/CaptureCheck.hpp"

#include "support/TempFiles.hpp"
#include "tools/AXDump.hpp"
#include "tools/ToolDesktop.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>

namespace velmar {
namespace {

using ::testing::HasSubstr;
using nlohmann::json;
using testing::Texts;
using testing::ToolDesktop;
using Kind = sim::SimInput::Event::Kind;
using namespace std::chrono_literals;

const std::string kURL = "https://claude.ai/chat/3f2a9c4e-1b2d-4e5f-8a9b-0c1d2e3f4a5b";
const std::string kPrompt = "Fernhollow capture baseline ping. Reply with the single word OK.";
const Texts kHistory = {"Fernhollow capture baseline: plan the offsite", "Here is a plan."};
const std::string kOtherURL = "https://claude.ai/chat/8d1f0e2a-4b6c-4e11-9a3d-5c7e2b9f1a04";

// A browser whose pages answer: an opened address shows `pageFor(url)` in a new
// window; Return sends the composer's text, and the reply streams for two seconds.
struct Harness {
    testing::TempDir dir;
    ToolDesktop d;
    std::function<std::optional<Texts>(const std::string& url)> pageFor = [](const std::string&) { return kHistory; };
    std::map<const PlatformElement*, std::pair<sim::SimElementPtr, std::string>> areas;  // by window
    bool replies = true;
    std::optional<std::string> landsOn;  // where every opened address lands instead
    bool focusRefused = false;           // the composer's focus cannot be read, so never set

    Harness() {
        d.launchBrowser();
        d.input.onEvent = [this](const sim::SimInput::Event& e) { return react(e); };
    }

    bool react(const sim::SimInput::Event& e) {
        if (e.kind == Kind::openURL) {
            const std::string url = landsOn.value_or(e.text);
            d.loop.postDelayed(1200ms, [this, url] {
                auto texts = pageFor(url);
                if (!texts) return;
                auto area = d.show(testing::claudePage(url, *texts, true));
                if (focusRefused) area->childElements().back()->failReads("AXFocused");
                areas[area->parentElement().get()] = {area, url};
            });
        } else if (e.kind == Kind::close) {
            for (const auto& w : d.desktop.windows(ToolDesktop::browserPid))
                if (w.get() == e.element.get()) d.desktop.closeWindow(ToolDesktop::browserPid, w);
        } else if (e.kind == Kind::key && e.text == "Return" && replies) {
            for (auto& [window, page] : areas) {
                auto& [area, url] = page;
                auto composer = area->childElements().back();
                auto typed = composer->copyAttribute("AXValue");
                if (!typed) continue;
                Texts texts = *pageFor(url);
                texts.push_back(std::get<std::string>(*typed));
                texts.push_back("O");
                ToolDesktop::replace(area, testing::claudePage(url, texts, false));
                texts.back() = "OK";
                d.loop.postDelayed(2s, [area = area, url = url, texts] {
                    ToolDesktop::replace(area, testing::claudePage(url, texts, true));
                });
            }
        }
        return true;
    }

    // A vector, not a json: a one-element braced list would make an object
    // of its only entry with some compilers rather than an array of one.
    std::filesystem::path manifest(const std::vector<json>& entries, const std::string& name = "manifest.json") {
        const json m = {{"timeouts", {{"openSec", 6}, {"sendSec", 8}}}, {"entries", json(entries)}};
        const auto path = dir.path() / name;
        std::ofstream(path) << m.dump();
        return path;
    }

    int run(std::vector<std::string> args) {
        d.out.str("");
        d.err.str("");
        return CaptureCheck::run(args, d.context);
    }

    const std::string reportPath = (dir.path() / "report.json").string();
    json report() const { return json::parse(std::ifstream(reportPath)); }
};

json claudeEntry(std::string id = "claude", std::string url = kURL) {
    return {{"id", id}, {"surface", "claude_ai"}, {"browser", "chromium"}, {"url", url}};
}

// One entry opened, checked, sent to and closed; then a second run of two
// entries compared with the report the first one left.
TEST(CaptureCheck, OpensChecksSendsClosesAndComparesWithTheLastRun) {
    Harness h;
    ASSERT_EQ(h.run({"--manifest", h.manifest({claudeEntry("a")}).string(), "--out", h.reportPath, "--send"}), 0)
        << h.d.output() << h.d.err.str();
    std::vector<Kind> kinds;
    for (const auto& e : h.d.input.events()) kinds.push_back(e.kind);
    EXPECT_EQ(kinds, (std::vector<Kind>{Kind::openURL, Kind::raise, Kind::click, Kind::type, Kind::key, Kind::close}));
    EXPECT_EQ(h.d.input.events()[3].text, kPrompt);
    EXPECT_TRUE(h.d.desktop.windows(ToolDesktop::browserPid).empty()) << "the window it opened is closed";
    auto r = h.report();
    const auto& e = r["entries"][0];
    EXPECT_EQ(e["parse"]["roles"], (json{"user", "assistant"}));
    EXPECT_EQ(e["status"], "PASS");
    EXPECT_EQ(e["conversationKey"], "3f2a9c4e-1b2d-4e5f-8a9b-0c1d2e3f4a5b");
    EXPECT_EQ(e["cleanup"], "closed");
    EXPECT_EQ(e["send"]["turnsAfter"], 4);
    EXPECT_GE(e["send"]["waitedMs"].get<long long>(), 2000) << "waited for the streamed reply to complete";

    // a passed before and its conversation has since lost the baseline prompt; b is new.
    h.pageFor = [&](const std::string& url) -> std::optional<Texts> {
        if (url == kOtherURL) return kHistory;
        return Texts{"Something else", "Sure."};
    };
    const auto two = h.manifest({claudeEntry("a"), claudeEntry("b", kOtherURL)});
    EXPECT_EQ(h.run({"--manifest", two.string(), "--out", h.reportPath, "--close", "0"}), 1);
    EXPECT_THAT(h.d.output(), HasSubstr("  FAIL  a  text: no user turn carries the sentinel\n"));
    r = h.report();
    EXPECT_EQ(r["summary"]["newlyFailing"], json{"a"});
    EXPECT_FALSE(r["entries"][0].contains("cleanup")) << "nothing closed with --close 0";
}

// What stops an entry, in its report's words: a target that never shows, a
// tab on another conversation, and each way a send goes wrong.
TEST(CaptureCheck, AnEntryThatCannotBeCheckedSaysWhy) {
    struct Case { const char* description; std::function<void(Harness&)> arrange; bool send; std::string status;
                  std::string reason; };
    const Case cases[] = {
        {"no target within the open time",
         [](Harness& h) { h.pageFor = [](const std::string&) -> std::optional<Texts> { return std::nullopt; }; }, false,
         "SKIP", "not reachable: no live claude_ai target within 6 s"},
        {"the browser lands on another conversation", [](Harness& h) { h.landsOn = kOtherURL; }, false, "FAIL",
         "tab found but on a different conversation"},
        {"the click does not focus the composer and the tree cannot either",
         [](Harness& h) { h.d.input.clicksMissFocus = h.focusRefused = true; }, true, "FAIL",
         "send: composer did not take focus (nothing typed; focus is on something outside the page)"},
        {"typed text that never lands", [](Harness& h) { h.d.input.typingMisses = true; }, true, "FAIL",
         "send: composer read-back mismatch"},
        {"a prompt that lands but gets no reply", [](Harness& h) { h.replies = false; }, true, "FAIL",
         "send: no new pair (+0 turn(s))"},
    };
    for (const auto& c : cases) {
        Harness h;
        c.arrange(h);
        std::vector<std::string> args = {"--manifest", h.manifest({claudeEntry()}).string(), "--out", h.reportPath};
        if (c.send) args.push_back("--send");
        EXPECT_EQ(h.run(args), c.status == "SKIP" ? 0 : 1) << c.description;
        const auto report = h.report();
        EXPECT_EQ(report["summary"]["pass"], 0) << c.description << ": a skip is no pass";
        const auto entry = report["entries"][0];
        EXPECT_EQ(entry["status"], c.status) << c.description;
        EXPECT_THAT(entry["reason"].get<std::string>(), HasSubstr(c.reason)) << c.description << "\n" << h.d.output();
    }
}

TEST(CaptureCheck, ArgumentAndManifestProblemsStopBeforeAnythingOpens) {
    Harness h;
    const auto bad = h.manifest({claudeEntry("x"), claudeEntry("x")}, "bad.json");
    const auto good = h.manifest({claudeEntry("x")});
    std::ofstream(h.dir.path() / "broken.json") << R"({"entries": [{"id": 1}]})";
    struct Case { const char* description; std::vector<std::string> args; int status; std::string err; } cases[] = {
        {"no manifest", {}, 2, "--manifest is required\nusage: capture-check"},
        {"an unknown argument", {"--manifest", "m.json", "--fast"}, 2, "--fast\nusage: capture-check"},
        {"a bad close value", {"--manifest", "m.json", "--close", "yes"}, 2, "--close: Value yes not in range 0 to 1"},
        {"a missing manifest", {"--manifest", (h.dir.path() / "none.json").string()}, 2, "manifest not found: "},
        {"an invalid manifest", {"--manifest", bad.string()}, 2, "manifest invalid:\n  x: duplicate entry id\n"},
        {"an undecodable manifest", {"--manifest", (h.dir.path() / "broken.json").string()}, 2,
         "manifest invalid:\n  expected string at entries[0].id\n"},
        {"an empty selection", {"--manifest", good.string(), "--browsers", "chrome"}, 1,
         "no manifest entries match the selection\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(h.run(c.args), c.status) << c.description;
        EXPECT_THAT(h.d.err.str(), HasSubstr(c.err)) << c.description;
    }
    EXPECT_TRUE(h.d.input.events().empty());
}

}  // namespace
}  // namespace velmar
