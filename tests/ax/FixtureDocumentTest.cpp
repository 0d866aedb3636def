#include "ax/FixtureDocument.hpp"

#include "support/BundledFixtures.hpp"
#include "support/DecodeErrors.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace velmar {
namespace {

const char* kValid = R"({
  "meta": {"surface": "chatgpt", "scenario": "s", "future": 1},
  "expect": {"turnCount": 2, "roles": ["user", "assistant"], "inProject": false},
  "tree": {"role": "AXWebArea", "url": "https://chatgpt.com/c/1", "unknown": [1, 2],
           "children": [{"description": "only description"}, {"role": "AXGroup", "domClassList": ["a", "b"]}]}
})";

TEST(FixtureDocument, DecodesIgnoringUnknownKeysAndEncodesBack) {
    auto doc = FixtureDocument::decodeText(kValid);
    EXPECT_EQ(doc.meta.surface, "chatgpt");
    EXPECT_EQ(doc.expect.turnCount, 2);
    EXPECT_EQ(doc.expect.inProject, false);
    ASSERT_EQ(doc.tree->childList.size(), 2u);
    const auto& first = *doc.tree->childList[0];
    EXPECT_EQ(first.role(), "?");
    EXPECT_EQ(first.label(), "only description");
    EXPECT_TRUE(first.children().empty());
    EXPECT_EQ(doc.tree->childList[1]->domClassList(), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(doc.tree->string("AXURL"), "https://chatgpt.com/c/1");
    EXPECT_EQ(FixtureDocument::decode(doc.toJSON()).toJSON(), doc.toJSON());
    EXPECT_FALSE(doc.toJSON()["tree"]["children"][0].contains("children"));
}

// A problem is reported with its place: the first one a field-by-field
// decoding meets, whatever the key order of the text (recorded files sort
// their keys, "children" before "role", "expect" before "meta").
TEST(FixtureDocument, RejectsWithThePlaceOfTheFirstProblem) {
    struct Case { const char* description; std::string json; std::string error; };
    const std::string expect = R"("expect": {"turnCount": 1})";
    const std::string head = R"({"meta": {"surface": "chatgpt", "scenario": "s"}, )";
    const Case cases[] = {
        {"not JSON", "{\"meta\": ", "invalid JSON"},
        {"top-level array", "[]", "expected object at (root)"},
        {"surface not a string", R"({"meta": {"surface": 3, "scenario": "s"}, )" + expect + R"(, "tree": {}})",
         "expected string at meta.surface"},
        {"turnCount not an integer", head + R"("expect": {"turnCount": "2"}, "tree": {}})",
         "expected integer at expect.turnCount"},
        {"fractional turnCount", head + R"("expect": {"turnCount": 1.5}, "tree": {}})",
         "expected integer at expect.turnCount"},
        {"optional of wrong type", head + R"("expect": {"turnCount": 1, "inProject": "yes"}, "tree": {}})",
         "expected boolean at expect.inProject"},
        {"children not a list", head + expect + R"(, "tree": {"children": {}}})",
         "expected array at tree.children"},
        {"child not an object", head + expect + R"(, "tree": {"children": [{"children": ["x"]}]}})",
         "expected object at tree.children[0].children[0]"},
        {"missing tree", head + expect + "}", "missing key at tree"},
        {"meta before expect", R"({"expect": {"turnCount": "x"}, "meta": {"surface": 1, "scenario": "s"}, "tree": {}})",
         "expected string at meta.surface"},
        {"missing meta before a bad tree", R"({"expect": {"turnCount": 1}, "tree": {"role": 1}})",
         "missing key at meta"},
        {"a node's own fields before its children",
         R"({"expect": {"turnCount": 1}, "meta": {"surface": "s", "scenario": "s"},
             "tree": {"children": [{"role": 1}], "title": 2}})",
         "expected string at tree.title"},
        {"earlier sibling first", R"({"meta": {"surface": "s", "scenario": "s"}, "expect": {"turnCount": 1},
             "tree": {"children": [{"children": [{"role": []}]}, {"role": {}}]}})",
         "expected string at tree.children[0].children[0].role"},
        {"roles before flags", R"({"meta": {"surface": "s", "scenario": "s"},
             "expect": {"turnCount": 1, "modelPresent": 1, "roles": ["user", 2]}, "tree": {}})",
         "expected string at expect.roles[1]"},
        {"turn count past 64 bits", head + R"("expect": {"turnCount": 18446744073709551615}, "tree": {}})",
         "expected integer from -9223372036854775808 to 9223372036854775807 at expect.turnCount"},
        {"repeated known key", head + R"("expect": {"turnCount": 1}, "tree": {"children": [{"role": "a", "role": "b"}]}})",
         "duplicate key at tree.children[0].role"},
    };
    for (const auto& c : cases) {
        const auto error = testing::decodeError([&] { FixtureDocument::decodeText(c.json); });
        EXPECT_NE(error.value_or("decoded").find(c.error), std::string::npos)
            << c.description << ": got " << error.value_or("no error");
        // What only the text shows (its syntax, repeated keys, numbers past 64 bits) a tree cannot hold.
        if (!c.error.starts_with("invalid") && !c.error.starts_with("duplicate") &&
            c.error.find(" from ") == std::string::npos) {
            EXPECT_EQ(testing::decodeError([&] { FixtureDocument::decode(nlohmann::json::parse(c.json)); }), error)
                << c.description << ", from a tree";
        }
    }
}

// The file is read in chunks; every bundled fixture must come out as the
// whole-text decoding of the library's tree does.
TEST(FixtureDocument, ReadingAFileInChunksGivesTheSameTree) {
    for (const auto& name : testing::bundledFixtures()) {
        const auto path = std::filesystem::path(VELMAR_FIXTURE_DIR) / name;
        std::ifstream in(path, std::ios::binary);
        const auto whole = FixtureDocument::decode(nlohmann::json::parse(in));
        EXPECT_EQ(FixtureDocument::readFile(path).toJSON(), whole.toJSON()) << name;
    }
}

}  // namespace
}  // namespace velmar
