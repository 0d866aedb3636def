#include "ax/FixtureDocument.hpp"

#include <gtest/gtest.h>

namespace velmar {
namespace {

const char* kValid = R"({
  "meta": {"surface": "chatgpt", "scenario": "s", "future": 1},
  "expect": {"turnCount": 2, "roles": ["user", "assistant"], "inProject": false},
  "tree": {"role": "AXWebArea", "url": "https://chatgpt.com/c/1", "unknown": [1, 2],
           "children": [{"description": "only description"}, {"role": "AXGroup", "domClassList": ["a", "b"]}]}
})";

TEST(FixtureDocument, DecodesWithDefaultsAndIgnoresUnknownKeys) {
    auto doc = FixtureDocument::decodeText(kValid);
    EXPECT_EQ(doc.meta.surface, "chatgpt");
    EXPECT_FALSE(doc.meta.recordedAt);
    EXPECT_EQ(doc.expect.turnCount, 2);
    EXPECT_EQ(doc.expect.inProject, false);
    EXPECT_FALSE(doc.expect.modelPresent);
    ASSERT_EQ(doc.tree->childList.size(), 2u);
    const auto& first = *doc.tree->childList[0];
    EXPECT_EQ(first.role(), "?");
    EXPECT_EQ(first.label(), "only description");
    EXPECT_TRUE(first.domClassList().empty());
    EXPECT_TRUE(first.children().empty());
    EXPECT_EQ(doc.tree->childList[1]->domClassList(), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(doc.tree->string("AXURL"), "https://chatgpt.com/c/1");
    EXPECT_FALSE(first.string("AXURL"));
}

TEST(FixtureDocument, RejectsWithThePlaceOfTheFirstProblem) {
    struct Case { const char* description; std::string json; std::string error; };
    const std::string meta = R"("meta": {"surface": "chatgpt", "scenario": "s"})";
    const std::string expect = R"("expect": {"turnCount": 1})";
    const Case cases[] = {
        {"not JSON", "{\"meta\": ", "invalid JSON"},
        {"top-level array", "[]", "expected object at (root)"},
        {"missing meta", "{" + expect + R"(, "tree": {}})", "missing key at meta"},
        {"missing scenario", R"({"meta": {"surface": "x"}, )" + expect + R"(, "tree": {}})",
         "missing key at meta.scenario"},
        {"surface not a string", R"({"meta": {"surface": 3, "scenario": "s"}, )" + expect + R"(, "tree": {}})",
         "expected string at meta.surface"},
        {"turnCount not an integer", "{" + meta + R"(, "expect": {"turnCount": "2"}, "tree": {}})",
         "expected integer at expect.turnCount"},
        {"fractional turnCount", "{" + meta + R"(, "expect": {"turnCount": 1.5}, "tree": {}})",
         "expected integer at expect.turnCount"},
        {"role list holds a number", "{" + meta + R"(, "expect": {"turnCount": 1, "roles": ["user", 2]}, "tree": {}})",
         "expected string at expect.roles[1]"},
        {"optional of wrong type", "{" + meta + R"(, "expect": {"turnCount": 1, "inProject": "yes"}, "tree": {}})",
         "expected boolean at expect.inProject"},
        {"deep node role", "{" + meta + ", " + expect +
                               R"(, "tree": {"children": [{}, {}, {}, {"role": 7}]}})",
         "expected string at tree.children[3].role"},
        {"children not a list", "{" + meta + ", " + expect + R"(, "tree": {"children": {}}})",
         "expected array at tree.children"},
        {"child not an object", "{" + meta + ", " + expect + R"(, "tree": {"children": [{"children": ["x"]}]}})",
         "expected object at tree.children[0].children[0]"},
        {"missing tree", "{" + meta + ", " + expect + "}", "missing key at tree"},
    };
    for (const auto& c : cases) {
        try {
            FixtureDocument::decodeText(c.json);
            ADD_FAILURE() << c.description << ": decoded";
        } catch (const jsondecode::DecodeError& e) {
            EXPECT_NE(std::string(e.what()).find(c.error), std::string::npos)
                << c.description << ": got \"" << e.what() << "\"";
        }
    }
}

TEST(FixtureDocument, HostileNestingIsRefusedWithoutOverflow) {
    std::string deep = R"({"meta": {"surface": "chatgpt", "scenario": "s"}, "expect": {"turnCount": 0}, "tree": )";
    for (int i = 0; i < 10000; ++i) deep += R"({"children": [)";
    deep += "{}";
    for (int i = 0; i < 10000; ++i) deep += "]}";
    deep += "}";
    EXPECT_THROW(FixtureDocument::decodeText(deep), jsondecode::DecodeError);
    std::string arrays(100000, '[');
    EXPECT_THROW(FixtureDocument::decodeText(arrays), jsondecode::DecodeError);
    // Brackets inside strings are text, not nesting.
    std::string text = std::string(R"({"meta": {"surface": "x", "scenario": ")") + std::string(5000, '[') +
                       R"("}, "expect": {"turnCount": 0}, "tree": {}})";
    EXPECT_NO_THROW(FixtureDocument::decodeText(text));
}

TEST(FixtureDocument, EncodesWhatItDecodes) {
    auto doc = FixtureDocument::decodeText(kValid);
    auto again = FixtureDocument::decode(doc.toJSON());
    EXPECT_EQ(again.toJSON(), doc.toJSON());
    EXPECT_FALSE(doc.toJSON()["tree"]["children"][0].contains("children"));
}

}  // namespace
}  // namespace velmar
