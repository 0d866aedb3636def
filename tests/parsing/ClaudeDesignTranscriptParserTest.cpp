#include "parsing/ClaudeDesignTranscriptParser.hpp"

#include "support/Trees.hpp"

#include <gtest/gtest.h>

namespace velmar {
namespace {

using testing::N;
using Parser = ClaudeDesignTranscriptParser;

N text(std::string s) { return std::move(N("AXStaticText").value(std::move(s))); }
N bubble(std::initializer_list<N> kids) {
    return std::move(N("AXGroup").classes({"select-text", "w-fit", "max-w-[85%]", "rounded"}).kids(kids));
}
N thumb(std::string name) {
    return std::move(N("AXGroup").classes({"om-attachment-thumb"}).kid(N("AXImage").description(std::move(name))));
}
N chat(std::initializer_list<N> kids) { return std::move(N("AXGroup").classes({"om-chat-messages"}).kids(kids)); }

std::vector<std::string> texts(const std::vector<RawTurn>& turns) {
    std::vector<std::string> out;
    for (const auto& t : turns) out.push_back(t.text);
    return out;
}

std::vector<std::string> roles(const std::vector<RawTurn>& turns) {
    std::vector<std::string> out;
    for (const auto& t : turns) out.push_back(t.role);
    return out;
}

// Interface text inside a bubble is not the prompt; a stop button means the reply is still coming.
TEST(ClaudeDesignTranscriptParser, BubbleTextsAndCompletion) {
    auto page = N("AXWebArea").kids({
        chat({N("AXGroup").kids({thumb("sketch.png"), bubble({text("Make the header blue"), text("<system-info>x"),
                                                              N("AXGroup").classes({"cursor-pointer"}).kid(text("chip")),
                                                              text("Pasted text (3 lines)"), text("  and bold  ")})}),
              N("AXGroup").kid(text("Sure, editing the header now.")),
              N("AXGroup").kid(bubble({text("Response stopped"), text("Undo that")}))}),
        N("AXButton").description("Stop response"),
    });
    auto snap = Parser().snapshot(*page.build(), "p1");
    ASSERT_TRUE(snap);
    EXPECT_EQ(texts(snap->turns),
              (std::vector<std::string>{"Make the header blue\n  and bold  \n[attached image: sketch.png]", "Undo that"}));
    EXPECT_EQ(snap->turns[1].index, 2);
    EXPECT_EQ(snap->turns[1].total, 2);
    EXPECT_FALSE(snap->responseComplete);
    EXPECT_FALSE(snap->model) << "no composer";
}

TEST(ClaudeDesignTranscriptParser, ChatContainerWithoutBubbles) {
    struct Case {
        const char* description;
        N container;
        std::vector<std::string> texts;
        std::vector<std::string> roles;
        bool fallback;
    } cases[] = {
        {"structural units under a single-child chain",
         chat({N("AXGroup").kid(N("AXGroup").kids({
             N("AXGroup").kids({text("Add a footer"), text("with links"), N("AXButton").description("x"), text("late")}),
             N("AXGroup").kids({N("AXGroup").kid(text("Here is the footer"))}),
             N("AXGroup").kids({text("x"), text("single letters do not start a prompt")}),
             N("AXGroup").kids({text("Now dark mode"), thumb("pasted-1.png")}),
         }))}),
         {"Add a footer\nwith links", "Now dark mode\n[pasted image]"},
         {"user", "user"},
         false},
        {"parity fallback keeps every child, empty ones too",
         chat({N("AXGroup").kids({text("A")}), N("AXGroup").kid(N("AXGroup").kid(text("reply"))),
               N("AXGroup").kids({N("AXGroup").kid(text("second prompt")), thumb("")}), N("AXGroup")}),
         {"A", "reply", "second prompt\n[attached image]", ""},
         {"user", "assistant", "user", "assistant"},
         true},
        {"empty container still gives a snapshot", chat({}), {}, {}, true},
    };
    for (auto& c : cases) {
        auto snap = Parser().snapshot(*N("AXWebArea").kid(c.container).build(), std::nullopt);
        ASSERT_TRUE(snap) << c.description;
        EXPECT_EQ(texts(snap->turns), c.texts) << c.description;
        EXPECT_EQ(roles(snap->turns), c.roles) << c.description;
        EXPECT_EQ(snap->usedParityFallback, c.fallback) << c.description;
    }
}

TEST(ClaudeDesignTranscriptParser, PagesWithoutTheChatContainer) {
    struct Case {
        const char* description;
        N scope;
        std::optional<std::vector<std::string>> texts;  // absent: no snapshot
    } cases[] = {
        {"flat bubbles collect the tiles before them",
         N("AXWebArea").kids({
             N("AXGroup").kids({thumb("a.png"), thumb("b.png"), bubble({text("Use these")})}),
             N("AXGroup").kids({thumb("stray.png")}),
             N("AXGroup").kid(bubble({text("Plain prompt")})),
             N("AXWebArea").kid(bubble({text("inside a nested document")})),
         }),
         std::vector<std::string>{"Use these\n[attached image: a.png]\n[attached image: b.png]", "Plain prompt"}},
        {"web-kit run: texts after separators, a short text does not use up the turn start",
         N("AXGroup").kids({
             N("AXGroup").kid(text("older run")),
             N("AXGroup").kids({
                 text("First prompt"), text("continued"), N("AXButton").description("Copy"), text("reply text"),
                 N("AXGroup").subrole("AXEmptyGroup"), thumb("mock.png"), text("Second prompt"),
                 N("AXGroup").subrole("AXEmptyGroup"), text("<system-info>only"),
                 N("AXGroup").subrole("AXEmptyGroup"), text("?"), text("after a short text"),
             }),
             N("AXGroup").subrole("AXEmptyGroup").kid(text("an empty group is never the run")),
             N("AXTextArea"),
             N("AXGroup").kid(text("after the composer")),
         }),
         std::vector<std::string>{"First prompt\ncontinued", "Second prompt\n[attached image: mock.png]",
                                  "after a short text"}},
        {"run without prompts gives no snapshot",
         N("AXGroup").kids({N("AXGroup").kids({N("AXGroup").kid(text("nested"))}), N("AXTextArea")}), std::nullopt},
    };
    for (auto& c : cases) {
        auto snap = Parser().snapshot(*c.scope.build(), std::nullopt);
        ASSERT_EQ(snap.has_value(), c.texts.has_value()) << c.description;
        if (!snap) continue;
        EXPECT_EQ(texts(snap->turns), *c.texts) << c.description;
        EXPECT_FALSE(snap->usedParityFallback) << c.description;
        EXPECT_TRUE(snap->responseComplete) << c.description;
    }
}

// The model picker sits near the composer; how near decides whether it is found.
TEST(ClaudeDesignTranscriptParser, ComposerModel) {
    auto picker = N("AXPopUpButton").title("Sonnet 4.5");
    auto nested = [](N inner, int levels) {
        for (int i = 0; i < levels; ++i) inner = N("AXGroup").kid(inner);
        return inner;
    };
    // The text area sits under `ancestors` groups; the picker hangs off the
    // topmost, `below` levels down.
    auto page = [&](int ancestors, int below) {
        N top = N("AXGroup").kids({nested(N("AXTextArea"), ancestors - 1), nested(picker, below - 1)});
        return N("AXWebArea").kids({chat({}), top});
    };
    struct Case {
        const char* description;
        int ancestors;
        int below;
        bool found;
    } cases[] = {
        {"beside the text area", 1, 1, true},
        {"eight levels below the fifth ancestor", 5, 8, true},
        {"nine levels below", 5, 9, false},
        {"only reachable from the sixth ancestor", 6, 1, false},
    };
    for (const auto& c : cases) {
        auto snap = Parser().snapshot(*page(c.ancestors, c.below).build(), std::nullopt);
        ASSERT_TRUE(snap) << c.description;
        EXPECT_EQ(snap->model.has_value(), c.found) << c.description;
    }
}

TEST(ClaudeDesignTranscriptParser, PopupAfterComposer) {
    auto filler = [](int n) {
        N group("AXGroup");
        for (int i = 0; i < n; ++i) group.kid(N("AXStaticText"));
        return group;
    };
    struct Case {
        const char* description;
        N scope;
        std::optional<std::string> model;
    } cases[] = {
        {"a picker before the composer is not taken",
         N("AXGroup").kids({N("AXPopUpButton").title("Early"), N("AXTextArea"), N("AXPopUpButton").title("Late")}),
         "Late"},
        {"the fortieth node after the composer is still examined",
         N("AXGroup").kids({N("AXTextArea"), filler(38), N("AXPopUpButton").title("Edge")}), "Edge"},
        {"the forty-first is not",
         N("AXGroup").kids({N("AXTextArea"), filler(39), N("AXPopUpButton").title("Far")}), std::nullopt},
        {"a nested document is not entered",
         N("AXGroup").kids({N("AXTextArea"), N("AXWebArea").kid(N("AXPopUpButton").title("Inner")),
                            N("AXPopUpButton").title("Outer")}),
         "Outer"},
        {"an unlabelled picker is passed over",
         N("AXGroup").kids({N("AXTextArea"), N("AXPopUpButton"), N("AXPopUpButton").value("Haiku")}), "Haiku"},
    };
    for (auto& c : cases) {
        EXPECT_EQ(Parser::popupAfterComposer(*c.scope.build()), c.model) << c.description;
    }
}

}  // namespace
}  // namespace velmar
