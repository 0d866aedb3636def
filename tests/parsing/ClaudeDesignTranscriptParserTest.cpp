#include "parsing/ClaudeDesignTranscriptParser.hpp"

#include "support/ParserCases.hpp"

#include <gtest/gtest.h>

namespace velmar {
namespace {

using namespace testing;  // the shared tree builders and case tables
using testing::text;      // the builder, not the text namespace
using Parser = ClaudeDesignTranscriptParser;

N bubble(std::initializer_list<N> kids) {
    return std::move(N("AXGroup").classes({"select-text", "w-fit", "max-w-[85%]", "rounded"}).kids(kids));
}
N thumb(std::string name) {
    return std::move(N("AXGroup").classes({"om-attachment-thumb"}).kid(N("AXImage").description(std::move(name))));
}
N chat(std::initializer_list<N> kids) { return std::move(N("AXGroup").classes({"om-chat-messages"}).kids(kids)); }
N page(std::initializer_list<N> kids) { return std::move(N("AXWebArea").kids(kids)); }
N empty() { return std::move(N("AXGroup").subrole("AXEmptyGroup")); }

// The page has been seen in several shapes; each is read into the user's prompts.
TEST(ClaudeDesignTranscriptParser, ReadsEachShape) {
    const ParserCase cases[] = {
        {"bubbles: interface text and chips are not the prompt, tiles sit in the bubble's row; Stop: still answering",
         page({chat({group({thumb("sketch.png"), bubble({text("Make the header blue"), text("<system-info>x"),
                                                         group({text("chip")}, {"cursor-pointer"}),
                                                         text("Pasted text (3 lines)"), text("  and bold  ")})}),
                     group({text("Sure, editing the header now.")}),
                     group({bubble({text("Response stopped"), text("Undo that")})})}),
               N("AXButton").description("Stop response")}),
         inOrder({{"user", "Make the header blue and bold\n[attached image: sketch.png]"}, {"user", "Undo that"}}), false},
        {"structural units under a single-child chain; single letters do not start a prompt",
         page({chat({group({group({
             group({text("Add a footer"), text("with links"), N("AXButton").description("x"), text("late")}),
             group({group({text("Here is the footer")})}),
             group({text("x"), text("single letters do not start a prompt")}),
             group({text("Now dark mode"), thumb("pasted-1.png")}),
         })})})}),
         inOrder({{"user", "Add a footer\nwith links"}, {"user", "Now dark mode\n[pasted image]"}})},
        {"parity fallback keeps every child, empty ones too; markers only on prompts",
         page({chat({group({text("A")}), group({group({text("reply"), thumb("r.png")})}),
                     group({group({text("second prompt")}), thumb("")}), group()})}),
         inOrder({{"user", "A"}, {"assistant", "reply"}, {"user", "second prompt\n[attached image]"}, {"assistant", ""}}),
         true, true},
        {"an empty container still gives a snapshot", page({chat({})}), Turns{}, true, true},
        {"flat bubbles collect the tiles before them, not inside a nested document",
         page({group({thumb("a.png"), thumb("b.png"), bubble({text("Use these")})}), group({thumb("stray.png")}),
               group({bubble({text("Plain prompt")})}),
               N("AXWebArea").kid(bubble({text("inside a nested document")}))}),
         inOrder({{"user", "Use these\n[attached image: a.png]\n[attached image: b.png]"}, {"user", "Plain prompt"}})},
        {"web-kit run: texts after separators, a tile before one is dropped, a short text keeps the turn start",
         group({group({text("older run")}),
                group({text("First prompt"), text("continued"), N("AXButton").description("Copy"), text("reply text"),
                       thumb("reply.png"), empty(), thumb("mock.png"), text("Second prompt"), empty(),
                       text("<system-info>only"), empty(), text("?"), text("after a short text")}),
                std::move(empty().kid(text("an empty group is never the run"))), N("AXTextArea"),
                group({text("after the composer")})}),
         inOrder({{"user", "First prompt\ncontinued"}, {"user", "Second prompt\n[attached image: mock.png]"},
                  {"user", "after a short text"}})},
        {"a run without prompts gives no snapshot", group({group({group({text("nested")})}), N("AXTextArea")}),
         std::nullopt},
    };
    expectParses(cases, Parser());
}

// With the chat container the picker is looked for near the composer; without
// it, the first labelled picker after the composer is taken.
TEST(ClaudeDesignTranscriptParser, ModelPicker) {
    // The text area sits under `ancestors` groups; the picker hangs off the topmost, `below` levels down.
    auto composed = [](int ancestors, int below) {
        return page({chat({}), group({nested(N("AXTextArea"), ancestors - 1),
                                      nested(N("AXPopUpButton").title("Sonnet 4.5"), below - 1)})});
    };
    auto flat = [](std::initializer_list<N> kids) { return std::move(group({bubble({text("p")})}).kids(kids)); };
    auto picker = [](std::string label) { return std::move(N("AXPopUpButton").title(std::move(label))); };
    auto filler = [](int n) { return group(std::vector<N>(static_cast<std::size_t>(n), N("AXStaticText"))); };
    struct Case { const char* description; N scope; std::optional<std::string> expected; } cases[] = {
        {"eight levels below the fifth ancestor", composed(5, 8), "Sonnet 4.5"},
        {"nine levels below", composed(5, 9), std::nullopt},
        {"only reachable from the sixth ancestor", composed(6, 1), std::nullopt},
        {"a picker before the composer is not taken", flat({picker("Early"), N("AXTextArea"), picker("Late")}), "Late"},
        {"the fortieth node after the composer is read", flat({N("AXTextArea"), filler(38), picker("Edge")}), "Edge"},
        {"the forty-first is not", flat({N("AXTextArea"), filler(39), picker("Far")}), std::nullopt},
        {"a nested document is not entered",
         flat({N("AXTextArea"), N("AXWebArea").kid(picker("Inner")), picker("Outer")}), "Outer"},
        {"an unlabelled picker is passed over",
         flat({N("AXTextArea"), N("AXPopUpButton"), N("AXPopUpButton").value("Haiku")}), "Haiku"},
    };
    expectEach(cases, [](const Case& c) { return Parser().snapshot(*c.scope.build(), std::nullopt).value().model; });
}

}  // namespace
}  // namespace velmar
