#include "tools/FixtureScrub.hpp"

#include "support/TempFiles.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

namespace velmar {
namespace {

namespace fs = std::filesystem;

class FixtureScrubTest : public ::testing::Test {
protected:
    std::string path(const std::string& name) const { return (dir_ / name).string(); }
    void put(const std::string& name, const std::string& bytes) const { testing::writeFile(dir_ / name, bytes); }
    std::string get(const std::string& name) const { return testing::readFile(dir_ / name); }
    int run(const std::string& in, const std::string& out) {
        out_.str({});
        err_.str({});
        return FixtureScrub::run(path(in), path(out), out_, err_);
    }

    const testing::TempDir dir_;
    std::ostringstream out_, err_;
};

// Recorded with older tables: user text, a full address and free texts of
// meta and expect left in, and a key the fixture format does not know.
// A Linux browser's slug is no user word, nor is a version: they stay.
const char* const kOldFixture = R"({"meta":{"surface":"chatgpt","scenario":"Anna's talk","browser":"chromium",
  "recordedAt":"when Anna left","agentVersion":"1.4.2"},
 "expect":{"turnCount":1,"roles":["user","Anna"]},
 "tree":{"role":"AXWebArea","url":"https://chatgpt.com/c/abc?q=secret","note":"kept as it was",
  "children":[{"role":"AXHeading","title":"You said:"},
              {"role":"AXStaticText","value":"Meet Anna at 5","description":"Retry"},
              {"role":"AXTextArea","placeholder":"Ask Bob"}]}})";

TEST_F(FixtureScrubTest, RescrubsTextsAndAddressIntoTheSortedFormInPlaceToo) {
    auto expected = jsondecode::Json::parse(kOldFixture);
    expected["meta"]["scenario"] = "Xxxx'x xxxx";
    expected["meta"]["recordedAt"] = "xxxx Xxxx xxxx";
    expected["expect"]["roles"][1] = "Xxxx";
    auto& tree = expected["tree"];
    tree.erase("note");
    tree["url"] = "https://chatgpt.com/c/xxx";
    tree["children"][1]["value"] = "Xxxx Xxxx xx 0";
    tree["children"][2]["placeholder"] = "Xxx Xxx";
    put("in.json", kOldFixture);
    ASSERT_EQ(run("in.json", "out.json"), 0) << err_.str();
    const auto written = get("out.json");
    EXPECT_EQ(written, expected.dump(2) + "\n") << "sorted keys, indented by two";
    EXPECT_EQ(out_.str(), "scrubbed " + path("out.json") + " (" + std::to_string(written.size()) +
                              " bytes): 6 of 8 texts changed\n");
    EXPECT_EQ(err_.str(), "velmar-fixture-scrub: " + path("in.json") +
                              ": dropped what the fixture format does not know: tree.note\n");

    // A second pass, in place, finds nothing left to change.
    ASSERT_EQ(run("out.json", "out.json"), 0) << err_.str();
    EXPECT_EQ(get("out.json"), written);
    EXPECT_NE(out_.str().find("0 of 8 texts changed"), std::string::npos) << out_.str();
    EXPECT_EQ(err_.str(), "");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_.path()), fs::directory_iterator()), 2) << "no temporary file left";
}

TEST_F(FixtureScrubTest, AnotherBrowsersSlugIsAFreeText) {
    put("in.json", R"({"meta": {"surface": "chatgpt", "scenario": "s", "browser": "my-bank"},
        "expect": {"turnCount": 0}, "tree": {"role": "AXGroup"}})");
    ASSERT_EQ(run("in.json", "out.json"), 0) << err_.str();
    EXPECT_EQ(jsondecode::Json::parse(get("out.json"))["meta"]["browser"], "xx-xxxx");
}

TEST_F(FixtureScrubTest, NeverWritesThroughALinkAndLeavesNothingBehindOnFailure) {
    put("in.json", kOldFixture);
    put("victim.txt", "untouched");
    fs::create_symlink(dir_ / "victim.txt", dir_ / "link.json");
    ASSERT_EQ(run("in.json", "link.json"), 0) << err_.str();
    EXPECT_EQ(get("victim.txt"), "untouched");
    EXPECT_FALSE(fs::is_symlink(dir_ / "link.json")) << "the link is replaced, not followed";

    fs::create_directory(dir_ / "taken.json");  // renaming over a folder fails
    EXPECT_EQ(run("in.json", "taken.json"), 1);
    EXPECT_NE(err_.str().find("cannot write " + path("taken.json")), std::string::npos) << err_.str();
    for (const auto& entry : fs::directory_iterator(dir_.path())) {
        EXPECT_NE(entry.path().filename().string().front(), '.') << "left behind: " << entry.path();
    }
}

TEST_F(FixtureScrubTest, RefusesWhatItCannotReadOrWriteAndWritesNothing) {
    put("in.json", kOldFixture);
    put("malformed.json", R"({"meta":{"surface":"chatgpt","scenario":"x"},"expect":{"turnCount":0},)");
    const struct {
        const char *in, *out;
        std::string error;
    } cases[] = {
        {"absent.json", "out.json", "cannot read " + path("absent.json") + ": No such file or directory"},
        {"malformed.json", "out.json", "fixture failed to decode: invalid JSON"},
        {"in.json", "no-such-dir/out.json", "cannot write " + path("no-such-dir/out.json")},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(run(c.in, c.out), 1) << c.in;
        EXPECT_NE(err_.str().find(c.error), std::string::npos) << err_.str();
        EXPECT_FALSE(fs::exists(path("out.json"))) << c.in << ": nothing written";
    }
}

}  // namespace
}  // namespace velmar
