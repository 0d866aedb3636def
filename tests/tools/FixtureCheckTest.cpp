#include "tools/FixtureCheck.hpp"

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
        dir = fs::temp_directory_path() / ("velmar-fixture-check-" + std::to_string(::getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir / "sub");
        fs::copy_file(fs::path(VELMAR_FIXTURE_DIR) / "chatgpt" / "20261201-web-streaming.json", dir / "a-good.json");
        write("sub/b-broken.json", R"({"meta": {"surface": "chatgpt", "scenario": "s"}, "expect": {"turnCount": 1},
            "tree": {"children": [{}, {"role": false}]}})");
        write("sub/c-mismatch.json", R"({"meta": {"surface": "chatgpt", "scenario": "s"}, "expect": {"turnCount": 5},
            "tree": {"subrole": "AXLandmarkMain", "children": [{"role": "AXHeading", "title": "You said:"}]}})");
        write("sub/notes.txt", "not a fixture");
    }
    void TearDown() override { fs::remove_all(dir); }

    void write(const std::string& name, const std::string& text) { std::ofstream(dir / name) << text; }

    int run(std::vector<std::string> args) {
        args.insert(args.begin(), "velmar-fixture-check");
        std::vector<const char*> argv;
        for (auto& a : args) argv.push_back(a.c_str());
        out.str("");
        err.str("");
        return FixtureCheck::run(static_cast<int>(argv.size()), argv.data(), out, err);
    }

    fs::path dir;
    std::ostringstream out, err;
};

TEST_F(FixtureCheckTool, ValidFixturePasses) {
    EXPECT_EQ(run({(dir / "a-good.json").string()}), 0);
    EXPECT_EQ(out.str(), "PASS " + (dir / "a-good.json").string() + "\n1 passed, 0 failed\n");
}

TEST_F(FixtureCheckTool, DirectoryIsSearchedRecursivelyInPathOrder) {
    EXPECT_EQ(run({dir.string()}), 1);
    std::istringstream lines(out.str());
    std::string l1, l2, l3, l4;
    std::getline(lines, l1), std::getline(lines, l2), std::getline(lines, l3), std::getline(lines, l4);
    EXPECT_EQ(l1, "PASS " + (dir / "a-good.json").string());
    EXPECT_EQ(l2, "FAIL " + (dir / "sub/b-broken.json").string() +
                      ": fixture failed to decode: expected string at tree.children[1].role");
    EXPECT_EQ(l3, "FAIL " + (dir / "sub/c-mismatch.json").string() + ": turnCount: expected 5, got 1");
    EXPECT_EQ(l4, "1 passed, 2 failed");
}

TEST_F(FixtureCheckTool, HostileFilesAreReportedAndTheOthersStillChecked) {
    write("sub/d-overflow.json", R"({"meta": {"surface": "chatgpt", "scenario": "s"}, "expect": {"turnCount": 1},
        "tree": {"children": [{"x": 1e400}]}})");
    write("sub/e-huge.json", "[");
    fs::resize_file(dir / "sub/e-huge.json", (256u << 20) + 1);  // sparse
    EXPECT_EQ(run({dir.string()}), 1);
    const std::string expected = "PASS " + (dir / "a-good.json").string() + "\n" +
        "FAIL " + (dir / "sub/b-broken.json").string() + ": fixture failed to decode: expected string at tree.children[1].role\n" +
        "FAIL " + (dir / "sub/c-mismatch.json").string() + ": turnCount: expected 5, got 1\n" +
        "FAIL " + (dir / "sub/d-overflow.json").string() + ": fixture failed to decode: number out of range at tree.children[0].x\n" +
        "FAIL " + (dir / "sub/e-huge.json").string() + ": cannot read file: larger than the 256 MiB input limit\n" +
        "1 passed, 4 failed\n";
    EXPECT_EQ(out.str(), expected);
}

TEST_F(FixtureCheckTool, UsageErrorsExitTwo) {
    EXPECT_EQ(run({}), 2);
    EXPECT_EQ(run({"--bogus", dir.string()}), 2);
    EXPECT_EQ(run({"--key"}), 2);
    EXPECT_NE(err.str().find("usage: velmar-fixture-check"), std::string::npos);
}

TEST_F(FixtureCheckTool, MissingPathFails) {
    EXPECT_EQ(run({(dir / "nope.json").string()}), 1);
    EXPECT_NE(out.str().find("0 passed, 1 failed"), std::string::npos);
}

TEST_F(FixtureCheckTool, JsonOutputIsOneObjectPerFixture) {
    EXPECT_EQ(run({"--json", "--key", "K", (dir / "a-good.json").string(), (dir / "sub/b-broken.json").string()}), 1);
    std::istringstream lines(out.str());
    std::string line;
    std::vector<nlohmann::json> objects;
    while (std::getline(lines, line)) objects.push_back(nlohmann::json::parse(line));
    ASSERT_EQ(objects.size(), 2u);
    EXPECT_EQ(objects[0]["result"], "pass");
    EXPECT_TRUE(objects[0]["reason"].is_null());
    EXPECT_EQ(objects[0]["surface"], "chatgpt");
    const auto& snap = objects[0]["snapshot"];
    EXPECT_EQ(snap["conversationKey"], "K");
    EXPECT_EQ(snap["responseComplete"], false);
    EXPECT_TRUE(snap["model"].is_null());
    ASSERT_EQ(snap["turns"].size(), 2u);
    EXPECT_EQ(snap["turns"][0]["role"], "user");
    EXPECT_TRUE(snap["turns"][0]["producedArtifact"].is_null());
    for (const char* key : {"index", "total", "text", "collapsed", "artifactTitle", "artifactType"}) {
        EXPECT_TRUE(snap["turns"][0].contains(key)) << key;
    }
    EXPECT_EQ(objects[1]["result"], "fail");
    EXPECT_TRUE(objects[1]["snapshot"].is_null());
    EXPECT_TRUE(objects[1]["surface"].is_null());
}

TEST_F(FixtureCheckTool, SurfaceWithoutParserFailsWithNullSnapshot) {
    write("x.json", R"({"meta": {"surface": "nonesuch", "scenario": "s"}, "expect": {"turnCount": 0}, "tree": {}})");
    EXPECT_EQ(run({"--json", (dir / "x.json").string()}), 1);
    auto obj = nlohmann::json::parse(out.str());
    EXPECT_TRUE(obj["snapshot"].is_null());
    EXPECT_EQ(obj["surface"], "nonesuch");
}

}  // namespace
}  // namespace velmar
