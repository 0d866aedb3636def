#include "tools/FixtureScrub.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace velmar {
namespace {

namespace fs = std::filesystem;

class FixtureScrubTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string path(const std::string& name) const { return (dir_ / name).string(); }
    void put(const std::string& name, const std::string& bytes) const { std::ofstream(dir_ / name) << bytes; }
    std::string get(const std::string& name) const {
        std::stringstream s;
        s << std::ifstream(dir_ / name).rdbuf();
        return s.str();
    }
    int run(const std::string& in, const std::string& out) {
        out_.str({});
        err_.str({});
        return FixtureScrub::run(path(in), path(out), out_, err_);
    }

    const fs::path dir_ = fs::temp_directory_path() /
        ("velmar-fixture-scrub-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::ostringstream out_, err_;
};

// Recorded with older tables: user text and a full address left in, and a key
// this version does not know about.
const char* const kOldFixture = R"({"meta":{"surface":"chatgpt","scenario":"old","browser":"chrome"},
 "expect":{"turnCount":1,"roles":["user"]},
 "tree":{"role":"AXWebArea","url":"https://chatgpt.com/c/abc?q=secret","note":"kept as it was",
  "children":[{"role":"AXHeading","title":"You said:"},
              {"role":"AXStaticText","value":"Meet Anna at 5","description":"Retry"},
              {"role":"AXTextArea","placeholder":"Ask Bob"}]}})";

TEST_F(FixtureScrubTest, RescrubsTextsAndAddressIntoTheSortedFormInPlaceToo) {
    auto expected = jsondecode::Json::parse(kOldFixture);
    auto& tree = expected["tree"];
    tree["url"] = "https://chatgpt.com/c/xxx";
    tree["children"][1]["value"] = "Xxxx Xxxx xx 0";
    tree["children"][2]["placeholder"] = "Xxx Xxx";
    put("in.json", kOldFixture);
    ASSERT_EQ(run("in.json", "out.json"), 0) << err_.str();
    const auto written = get("out.json");
    EXPECT_EQ(written, expected.dump(2) + "\n") << "sorted keys, indented by two";
    EXPECT_EQ(out_.str(), "scrubbed " + path("out.json") + " (" + std::to_string(written.size()) +
                              " bytes): 3 of 5 texts changed\n");

    // A second pass, in place, finds nothing left to change.
    ASSERT_EQ(run("out.json", "out.json"), 0) << err_.str();
    EXPECT_EQ(get("out.json"), written);
    EXPECT_NE(out_.str().find("0 of 5 texts changed"), std::string::npos) << out_.str();
    EXPECT_FALSE(fs::exists(path("out.json.scrub-tmp")));
}

TEST_F(FixtureScrubTest, RefusesWhatItCannotReadOrWriteAndWritesNothing) {
    put("in.json", kOldFixture);
    put("malformed.json", R"({"meta":{"surface":"chatgpt","scenario":"x"},"expect":{"turnCount":0},)");
    put("wrong-type.json", R"({"meta":{"surface":"chatgpt","scenario":"x"},"expect":{"turnCount":0},
        "tree":{"role":"AXGroup","children":[{"role":"AXButton"},{"role":7}]}})");
    const struct {
        const char *in, *out;
        std::string error;
    } cases[] = {
        {"absent.json", "out.json", "cannot read " + path("absent.json")},
        {"malformed.json", "out.json", "fixture failed to decode: invalid JSON"},
        {"wrong-type.json", "out.json", "expected string at tree.children[1].role"},
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
