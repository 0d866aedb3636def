#include "parsing/GeminiTranscriptParser.hpp"
#include "support/ParserCases.hpp"

#include <gtest/gtest.h>

namespace velmar {
namespace {

using namespace testing;  // the shared tree builders and case tables
using testing::text;      // the builder, not the text namespace

N userHalf(std::string query, std::string headingLabel = "You said ") {
    N half = group({N("AXHeading").classes({"screen-reader-user-query-label"}).title(headingLabel + query)});
    if (!query.empty()) half.kid(group({group({text(query)})}, {"query-content"}));
    return half;
}
N modelHalf(std::vector<N> paragraphs, bool markdown = true) {
    std::vector<std::string> bodyClasses;
    if (markdown) bodyClasses.push_back("markdown");
    return group({N("AXHeading").classes({"screen-reader-model-response-label"}).title("Gemini said"),
                  group({group({text("Show thinking")}), group(std::move(paragraphs), bodyClasses)},
                        {"response-container"})});
}
N exchange(std::vector<N> halves) { return group(std::move(halves), {"conversation-container"}); }
N page(std::vector<N> exchanges, std::vector<N> chrome = {}, std::vector<std::string> listClasses = {"chat-history"}) {
    N main = std::move(N("AXGroup").subrole("AXLandmarkMain").kid(group(std::move(exchanges), std::move(listClasses))));
    for (auto& c : chrome) main.kid(c);
    return std::move(N("AXWebArea").kid(main));
}

TEST(GeminiTranscriptParser, Turns) {
    const ParserCase cases[] = {
        {"a missing model heading leaves its slot unused",
         page({exchange({userHalf("one")}), exchange({userHalf("two"), modelHalf({text("A2")})})}),
         Turns{turn(1, 4, "user", "one"), turn(3, 4, "user", "two"), turn(4, 4, "assistant", "A2")}},
        {"query text falls back to the heading label, trimmed",
         page({exchange({userHalf("", "You said   what is rust?\n"), modelHalf({text("A")})})}),
         Turns{turn(1, 2, "user", "what is rust?"), turn(2, 2, "assistant", "A")}},
        {"hidden headings inside the answer are not text; pieces join as one run",
         page({exchange({userHalf("q"), modelHalf({N("AXHeading").classes({"cdk-visually-hidden"}).kids({text("Code")}),
                                                    group({text("Use "), text("cargo"), text("  ")}),
                                                    N("AXHeading").kids({text("Steps")})})})}),
         Turns{turn(1, 2, "user", "q"), turn(2, 2, "assistant", "Use cargo\nSteps")}},
        {"without a markdown node the whole response container is text",
         page({exchange({userHalf("q"), modelHalf({text("A")}, false)})}),
         Turns{turn(1, 2, "user", "q"), turn(2, 2, "assistant", "Show thinking\nA")}},
        {"an answer that has not started is an empty turn; Stop means still answering",
         page({exchange({userHalf("q"), N("AXHeading").classes({"screen-reader-model-response-label"})})},
              {group({N("AXButton").title("Stop")})}),
         Turns{turn(1, 2, "user", "q"), turn(2, 2, "assistant", "")}, false},
        {"exchanges without either heading or answer panel",
         page({exchange({group({text("q")}, {"query-something"})})}), std::nullopt},
        // As Chromium on Linux exposes the page: the scroller and the class-only
        // wrappers are gone; the heading sits in the prompt's content.
        {"exchanges in the scroll container; prompt content holds its heading; the answer is the markdown panel",
         page({exchange({group({N("AXHeading").classes({"cdk-visually-hidden", "screen-reader-user-query-label"})
                                    .kids({text("You said q")}),
                                group({text("q")}, {"query-text-line"})}, {"query-content"}),
                         button("Copy prompt"),
                         N("AXHeading").classes({"cdk-visually-hidden", "screen-reader-model-response-label"}),
                         group({group({text("A")}, {"markdown", "markdown-main-panel"})}), button("Copy")})},
              {}, {"chat-history-scroll-container"}),
         Turns{turn(1, 2, "user", "q"), turn(2, 2, "assistant", "A")}},
        {"exchanges under an unnamed parent; a prompt of lines without its content node",
         page({exchange({group({group({text("one")}, {"query-text-line"}),
                                group({text("two")}, {"query-text-line"})}),
                         group({text("A")}, {"markdown"})})},
              {}, {}),
         Turns{turn(1, 2, "user", "one\ntwo"), turn(2, 2, "assistant", "A")}},
        {"a renamed exchange class gives no turns",
         page({group({userHalf("q"), modelHalf({text("A")})}, {"conversation-box"})}), std::nullopt},
    };
    expectParses(cases, GeminiTranscriptParser{}, &GeminiTranscriptParser::anchors());
}

TEST(GeminiTranscriptParser, ModelLabel) {
    struct Case { const char* description; std::string label; std::optional<std::string> model; };
    const Case cases[] = {
        {"leading 'currently' is dropped", "Open mode picker, currently Gemini 2.5 Flash", "Gemini 2.5 Flash"},
        {"'currently' in any case, blanks collapsed", "Mode,  Currently  2.5   Pro ", "2.5 Pro"},
        {"other text after the last comma is kept as it was", "Mode, picker, Deep  Think", "Deep  Think"},
        {"no comma", "Gemini 2.5 Pro", std::nullopt},
        {"only 'currently'", "Mode, currently", std::nullopt},
    };
    for (const auto& c : cases) {
        auto picker = group({N("AXPopUpButton").description(c.label)}, {"with-model-picker"});
        EXPECT_EQ(GeminiTranscriptParser::modelLabel(*N("AXWebArea").kid(picker).build()), c.model) << c.description;
        // Without its wrapper, the mode switch button alone.
        auto bare = N("AXButton").classes({"input-area-switch"}).description(c.label);
        EXPECT_EQ(GeminiTranscriptParser::modelLabel(*N("AXWebArea").kid(bare).build()), c.model) << c.description;
    }
}

}  // namespace
}  // namespace velmar
