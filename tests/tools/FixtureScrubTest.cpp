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
        dir_ = fs::temp_directory_path() /
               ("velmar-fixture-scrub-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string path(const std::string& name) const { return (dir_ / name).string(); }

    void put(const std::string& name, const std::string& bytes) const {
        std::ofstream(dir_ / name, std::ios::binary) << bytes;
    }

    std::string get(const std::string& name) const {
        std::ifstream in(dir_ / name, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    int run(std::vector<std::string> args) {
        args.insert(args.begin(), "velmar-fixture-scrub");
        std::vector<const char*> argv;
        for (const auto& a : args) argv.push_back(a.c_str());
        out_.str({});
        err_.str({});
        return FixtureScrub::run(static_cast<int>(argv.size()), argv.data(), out_, err_);
    }

    fs::path dir_;
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

const char* const kRescrubbed = R"({"meta":{"surface":"chatgpt","scenario":"old","browser":"chrome"},
 "expect":{"turnCount":1,"roles":["user"]},
 "tree":{"role":"AXWebArea","url":"https://chatgpt.com/c/xxx","note":"kept as it was",
  "children":[{"role":"AXHeading","title":"You said:"},
              {"role":"AXStaticText","value":"Xxxx Xxxx xx 0","description":"Retry"},
              {"role":"AXTextArea","placeholder":"Xxx Xxx"}]}})";

TEST_F(FixtureScrubTest, RescrubsTextsAndAddressIntoTheSortedForm) {
    put("in.json", kOldFixture);
    ASSERT_EQ(run({path("in.json"), path("out.json")}), 0) << err_.str();
    const auto written = get("out.json");
    EXPECT_EQ(jsondecode::Json::parse(written), jsondecode::Json::parse(kRescrubbed));
    EXPECT_EQ(written, jsondecode::Json::parse(kRescrubbed).dump(2) + "\n") << "sorted keys, indented by two";
    EXPECT_EQ(out_.str(), "scrubbed " + path("out.json") + " (" + std::to_string(written.size()) +
                              " bytes): 3 of 5 texts changed\n");

    // In place, and a second pass finds nothing left to change.
    ASSERT_EQ(run({path("out.json"), path("out.json")}), 0) << err_.str();
    EXPECT_EQ(get("out.json"), written);
    EXPECT_NE(out_.str().find("0 of 5 texts changed"), std::string::npos) << out_.str();
    EXPECT_FALSE(fs::exists(path("out.json.scrub-tmp")));
}

TEST_F(FixtureScrubTest, RefusesWhatItCannotReadOrWrite) {
    put("in.json", kOldFixture);
    put("malformed.json", R"({"meta":{"surface":"chatgpt","scenario":"x"},"expect":{"turnCount":0},)");
    put("wrong-type.json", R"({"meta":{"surface":"chatgpt","scenario":"x"},"expect":{"turnCount":0},
        "tree":{"role":"AXGroup","children":[{"role":"AXButton"},{"role":7}]}})");
    struct Case {
        const char* description;
        std::vector<std::string> args;
        int status;
        std::string error;
    };
    const Case cases[] = {
        {"one argument", {path("in.json")}, 2, "usage: velmar-fixture-scrub IN OUT"},
        {"unreadable input", {path("absent.json"), path("out.json")}, 1, "cannot read " + path("absent.json")},
        {"malformed JSON", {path("malformed.json"), path("out.json")}, 1, "fixture failed to decode: invalid JSON"},
        {"wrong type, named by its path", {path("wrong-type.json"), path("out.json")}, 1,
         "expected string at tree.children[1].role"},
        {"unwritable output", {path("in.json"), path("no-such-dir/out.json")}, 1,
         "cannot write " + path("no-such-dir/out.json")},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(run(c.args), c.status) << c.description;
        EXPECT_NE(err_.str().find(c.error), std::string::npos) << c.description << ": " << err_.str();
        EXPECT_FALSE(fs::exists(path("out.json"))) << c.description << ": nothing written";
    }
}

}  // namespace
}  // namespace velmar
