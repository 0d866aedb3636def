#include "tools/FixtureCheck.hpp"

#include "ax/FixtureDocument.hpp"
#include "support/TempFiles.hpp"
#include "support/Trees.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace velmar {
namespace {

namespace fs = std::filesystem;

class FixtureCheckTool : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(dir / "sub");
        fs::copy_file(fs::path(VELMAR_FIXTURE_DIR) / "chatgpt" / "20261201-web-streaming.json", dir / "a-good.json");
        write("sub/b-broken.json", R"({"meta": {"surface": "chatgpt", "scenario": "s"}, "expect": {"turnCount": 1},
            "tree": {"children": [{}, {"role": false}]}})");
        write("sub/c-mismatch.json", R"({"meta": {"surface": "chatgpt", "scenario": "s"}, "expect": {"turnCount": 5},
            "tree": {"subrole": "AXLandmarkMain", "children": [{"role": "AXHeading", "title": "You said:"}]}})");
        write("sub/notes.txt", "not a fixture");
    }

    void write(const std::string& name, const std::string& text) { testing::writeFile(dir / name, text); }

    int run(std::vector<std::string> args) {
        args.insert(args.begin(), "velmar-fixture-check");
        std::vector<const char*> argv;
        for (auto& a : args) argv.push_back(a.c_str());
        out.str("");
        err.str("");
        return FixtureCheck::run(static_cast<int>(argv.size()), argv.data(), out, err);
    }

    const testing::TempDir temp;
    const fs::path dir = temp.path();
    std::ostringstream out, err;
};

// Directories are searched recursively in path order; a missing path, or a
// file that does not decode or is too large, is reported and the others still checked.
TEST_F(FixtureCheckTool, HostileFilesAreReportedAndTheOthersStillChecked) {
    write("sub/e-huge.json", "[");
    fs::resize_file(dir / "sub/e-huge.json", (256u << 20) + 1);  // sparse
    EXPECT_EQ(run({dir.string(), (dir / "nope.json").string()}), 1) << "a missing path is one more failure";
    const std::string expected = "PASS " + (dir / "a-good.json").string() + "\n" +
        "FAIL " + (dir / "sub/b-broken.json").string() + ": fixture failed to decode: expected string at tree.children[1].role\n" +
        "FAIL " + (dir / "sub/c-mismatch.json").string() + ": turnCount: expected 5, got 1\n" +
        "FAIL " + (dir / "sub/e-huge.json").string() + ": cannot read file: larger than the 256 MiB input limit\n" +
        "1 passed, 4 failed\n";
    EXPECT_EQ(out.str(), expected);
}

TEST_F(FixtureCheckTool, UsageErrorsExitTwo) {
    for (const auto& args : std::vector<std::vector<std::string>>{{}, {"--bogus", dir.string()}, {"--key"}}) {
        EXPECT_EQ(run(args), 2) << ::testing::PrintToString(args);
        EXPECT_NE(err.str().find("usage: velmar-fixture-check"), std::string::npos);
    }
}

// One object a line: the snapshot of what parsed (with the key given), none
// for a file that did not decode or a surface without a parser.
TEST_F(FixtureCheckTool, JsonOutputIsOneObjectPerFixtureAndStillFails) {
    write("x.json", R"({"meta": {"surface": "nonesuch", "scenario": "s"}, "expect": {"turnCount": 0}, "tree": {}})");
    EXPECT_EQ(run({"--json", "--key", "K", (dir / "a-good.json").string(), (dir / "sub/b-broken.json").string(),
                   (dir / "x.json").string()}), 1);
    std::istringstream lines(out.str());
    std::vector<nlohmann::json> objects;
    for (std::string line; std::getline(lines, line);) objects.push_back(nlohmann::json::parse(line));
    ASSERT_EQ(objects.size(), 3u);
    EXPECT_EQ(objects[0]["result"], "pass");
    EXPECT_EQ(objects[0]["surface"], "chatgpt");
    EXPECT_EQ(objects[0]["snapshot"]["conversationKey"], "K");
    EXPECT_EQ(objects[0]["snapshot"]["turns"].size(), 2u);
    EXPECT_EQ(objects[1]["result"], "fail");
    EXPECT_TRUE(objects[1]["snapshot"].is_null());
    EXPECT_TRUE(objects[2]["snapshot"].is_null()) << "a surface without a parser";
}

using Opt = std::optional<std::string>;
const Opt none;

// A one-turn ChatGPT-shaped document; the root carries the address when given.
FixtureDocument document(const std::string& surface, const Opt& url) {
    using testing::N;
    auto tree = std::move(N("AXWebArea").subrole("AXLandmarkMain").kid(N("AXHeading").title("You said:")));
    if (url) tree.url(*url);
    FixtureDocument doc;
    doc.meta.surface = surface;
    doc.meta.scenario = "key";
    doc.expect.turnCount = 1;
    doc.expect.conversationKeyPresent = true;
    doc.tree = tree.build();
    return doc;
}

// A browser fixture's conversation key comes from the address recorded on
// its root, as live capture would derive it.
TEST(FixtureCheckKey, DerivesKeyFromRootAddress) {
    struct Case { const char* description; std::string surface; Opt url; Opt key; bool derivable; };
    const Case cases[] = {
        {"chatgpt conversation", "chatgpt", "https://chatgpt.com/c/abc-1?model=x#top", "abc-1", true},
        {"docs panel, account form", "gemini_docs", "https://docs.google.com/document/u/1/d/DOC/edit", "DOC", true},
        {"browser fixture without address", "chatgpt", none, none, false},
        {"browser fixture with empty address", "chatgpt", "", none, false},
        {"desktop surface keys itself, ignores an address", "chatgpt_desktop", "https://chatgpt.com/c/a", none, true},
        {"native surface that does not key itself", "claude_code_desktop", "https://claude.ai/epitaxy/s1", none, false},
    };
    for (const auto& c : cases) {
        bool derivable = !c.derivable;
        EXPECT_EQ(FixtureCheck::deriveKey(document(c.surface, c.url), derivable), c.key) << c.description;
        EXPECT_EQ(derivable, c.derivable) << c.description;
    }
}

TEST_F(FixtureCheckTool, KeyPresenceIsCheckedForBrowserFixtures) {
    struct Case { const char* description; Opt url; Opt given; Opt reason; Opt key; } cases[] = {
        {"a conversation address gives the key", "https://chatgpt.com/c/abc", none, none, "abc"},
        {"an address without a conversation fails", "https://chatgpt.com/", none,
         "conversationKeyPresent: expected true, got false", none},
        {"without an address nothing is derived, so presence is not checked", none, none, none, none},
        {"a key given on the command line wins over the derived one", "https://chatgpt.com/", "K", none, "K"},
    };
    for (const auto& c : cases) {
        write("doc.json", document("chatgpt", c.url).toJSON().dump(2));
        auto result = FixtureCheck::check(dir / "doc.json", c.given);
        EXPECT_EQ(result.reason, c.reason) << c.description;
        EXPECT_EQ(result.snapshot ? result.snapshot->conversationKey : none, c.key) << c.description;
    }
}

}  // namespace
}  // namespace velmar
