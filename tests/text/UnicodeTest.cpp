#include "text/Regex.hpp"
#include "text/Unicode.hpp"

#include <gtest/gtest.h>

namespace velmar::text {
namespace {

TEST(Unicode, TrimRemovesUnicodeWhitespaceOnly) {
    struct Case { const char* description; std::string input; std::string expected; };
    const Case cases[] = {
        {"ascii blanks and newlines", " \t\nHi there\r\n ", "Hi there"},
        {"no-break and ideographic spaces", "\u00A0\u3000Hi\u2003", "Hi"},
        {"line and paragraph separators", "\u2028Hi\u2029", "Hi"},
        {"inner whitespace kept", "  a  b  ", "a  b"},
        {"zero width space is not whitespace", "\u200BHi", "\u200BHi"},
        {"all blank", " \u00A0\n", ""},
        {"empty", "", ""},
        {"broken bytes at the ends are text, repaired", " \xFF a \xE2\x80 ", "\uFFFD a \uFFFD"},
        {"a separator after a broken byte", "x\xFF\u2029", "x\uFFFD"},
    };
    for (const auto& c : cases) EXPECT_EQ(trim(c.input), c.expected) << c.description;
}

TEST(Unicode, GraphemesAreUserPerceivedCharacters) {
    struct Case { const char* description; std::string input; std::size_t count; };
    const Case cases[] = {
        {"ascii", "abc", 3},
        {"combining accent joins its base", "e\u0301a", 2},
        {"family emoji is one character", "\U0001F468\u200D\U0001F469\u200D\U0001F467", 1},
        {"flag is one character", "\U0001F1E9\U0001F1EA", 1},
        {"CJK", "\u4E2D\u6587", 2},
        {"crlf is one character", "\r\n", 1},
    };
    for (const auto& c : cases) EXPECT_EQ(graphemeCount(c.input), c.count) << c.description;
    EXPECT_EQ(graphemePrefix("e\u0301e\u0301e", 2), "e\u0301e\u0301");
    EXPECT_EQ(graphemePrefix("ab", 5), "ab");
    EXPECT_EQ(graphemePrefix("\U0001F468\u200D\U0001F469x", 1), "\U0001F468\u200D\U0001F469");
}

TEST(Unicode, BrokenUtf8IsRepairedAndWhitespaceRunsCollapse) {
    EXPECT_FALSE(isValidUtf8("a\xFF" "b"));
    EXPECT_EQ(repairUtf8("a\xFF" "b"), "a\uFFFD" "b");
    EXPECT_EQ(repairUtf8("\xE2\x82"), "\uFFFD");  // truncated sequence
    EXPECT_EQ(repairUtf8("ok \u00E9"), "ok \u00E9");
    EXPECT_EQ(normalizeWhitespace("  a \n\t b\u00A0\u00A0c  "), "a b c");
    EXPECT_EQ(normalizeWhitespace(" \n "), "");
}

TEST(Regex, UsesIcuDialectAndReportsGroupsInUtf8) {
    Regex re(R"(^Message (\d+) of (\d+)$)");
    auto m = re.firstMatch("Message 3 of 12");
    ASSERT_TRUE(m);
    EXPECT_EQ(m->group(1), "3");
    EXPECT_EQ(m->group(2), "12");
    EXPECT_FALSE(re.search("xMessage 3 of 12"));

    Regex word(R"(\p{L}+)");
    auto all = word.allMatches("\u00E9t\u00E9 \u4E2D");
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[1].begin, std::string("\u00E9t\u00E9 ").size());
    EXPECT_EQ(*all[1].group(0), "\u4E2D");

    Regex optional("(a)|(b)");
    auto b = optional.firstMatch("b");
    ASSERT_TRUE(b);
    EXPECT_FALSE(b->group(1).has_value());
    EXPECT_EQ(Regex("o").replaceAll("foo", "0"), "f00");
    EXPECT_THROW(Regex("("), std::invalid_argument);
}

}  // namespace
}  // namespace velmar::text
