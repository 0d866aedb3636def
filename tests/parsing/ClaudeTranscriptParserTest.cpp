#include "parsing/ClaudeTranscriptParser.hpp"

#include "capture/PasteboardCapture.hpp"
#include "platform/sim/SimClipboard.hpp"
#include "support/Trees.hpp"

#include <gtest/gtest.h>

#include <map>

namespace velmar {
namespace {

using testing::N;
using Parser = ClaudeTranscriptParser;

N text(std::string s) { return std::move(N("AXStaticText").value(std::move(s))); }

N message(int index, int total, std::initializer_list<N> kids) {
    return std::move(N("AXGroup")
                         .description("Message " + std::to_string(index) + " of " + std::to_string(total))
                         .kids(kids));
}

N transcript(std::initializer_list<N> messages) {
    return std::move(N("AXWindow").kid(N("AXWebArea").kid(N("AXGroup").description("Chat messages").kids(messages))));
}

N pasteChip(std::string label, std::string preview) {
    return std::move(N("AXButton").description(std::move(label)).kids({text("PASTED"), text(std::move(preview))}));
}

Parser withBodies(std::map<int, std::string> bodies) {
    Parser p;
    p.resolvePaste = [bodies](int lines, const std::string&) -> std::optional<std::string> {
        auto it = bodies.find(lines);
        if (it == bodies.end()) return std::nullopt;
        return it->second;
    };
    return p;
}

Parser offline() {
    Parser p;
    p.resolvePaste = Parser::noPasteBodies();
    return p;
}

RawTurn onlyTurn(const Parser& parser, const N& tree) {
    auto snap = parser.snapshot(*tree.build(), std::nullopt);
    EXPECT_TRUE(snap.has_value());
    if (!snap || snap->turns.size() != 1) {
        ADD_FAILURE() << "expected exactly one turn";
        return {};
    }
    return snap->turns.front();
}

TEST(ClaudeTranscriptParser, HeaderParsing) {
    struct Case {
        const char* description;
        std::string label;
        std::optional<std::pair<int, int>> expected;
    } cases[] = {
        {"plain header", "Message 3 of 7", std::pair{3, 7}},
        {"words around the header", "Your Message 12 of 40, sent today", std::pair{12, 40}},
        {"numbers spelled out", "Message three of seven", std::nullopt},
        {"digits of another script match the pattern but do not parse", "Message \u0663 of 7", std::nullopt},
        {"number too large for a turn index", "Message 99999999999 of 2", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Parser::parseHeader(c.label), c.expected) << c.description;
    }
}

TEST(ClaudeTranscriptParser, StaticTextsThatAreNotMessageText) {
    struct Case {
        const char* description;
        std::string label;
        bool kept;
    } cases[] = {
        {"ordinary text", "Explain the diff", true},
        {"white space only", " \n\t", false},
        {"surrounding spaces are kept", "  padded  ", true},
        {"reasoning toggle", "Thought process", false},
        {"relative time", "5 minutes ago", false},
        {"relative time with a leading space is not a timestamp", " 5 minutes ago", true},
        {"clock time", "9:41 AM", false},
        {"clock time with seconds, no meridiem", "14:05:09", false},
        {"month and day", "March 4", false},
        {"month, day and year", "December 25, 2024", false},
        {"today", "Today", false},
        {"yesterday in lower case", "yesterday", false},
        {"a sentence starting with Yesterday", "Yesterday I wrote a parser", true},
        {"hidden heading", "You said: hello", false},
    };
    for (const auto& c : cases) {
        auto tree = transcript({message(1, 1, {text("You said: prompt"), text(c.label)})});
        auto turn = onlyTurn(offline(), tree);
        EXPECT_EQ(turn.text, c.kept ? c.label : "") << c.description;
    }
}

// Turns are kept whatever their role; a group whose label has no header is not a turn.
TEST(ClaudeTranscriptParser, HeadingsAndHeaders) {
    auto tree = transcript({
        message(6, 8, {text("Claude responded: 4."), text("4."), N("AXToolbar").kid(text("Copy")),
                       N("AXGroup").classes({"line-clamp-1", "text-[11px]"}).kid(text("caption")),
                       N("AXGroup").classes({"line-clamp-1"}).kid(text("not a caption"))}),
        message(7, 8, {text("heading lost")}),
        N("AXGroup").description("Message seven of eight").kid(text("You said: dropped")),
    });
    Parser bare = offline();
    bare.detectFields = false;
    auto snap = bare.snapshot(*tree.build(), "conv-1");
    ASSERT_TRUE(snap);
    EXPECT_EQ(snap->turns, (std::vector<RawTurn>{{6, 8, "assistant", "4.\nnot a caption"}, {7, 8, "unknown", "heading lost"}}));
    EXPECT_FALSE(snap->inProject) << "field detection off";
    EXPECT_FALSE(snap->responseComplete) << "no completion notice";
}

TEST(ClaudeTranscriptParser, ContainerDecidesWhetherThereIsASnapshot) {
    EXPECT_FALSE(offline().snapshot(*N("AXWindow").kid(text("Chat messages")).build(), std::nullopt))
        << "the label must be on a group";
    auto empty = offline().snapshot(*N("AXWindow").kid(N("AXGroup").description("Chat messages")).build(), "k");
    ASSERT_TRUE(empty) << "a found container with no messages is a valid, empty snapshot";
    EXPECT_TRUE(empty->turns.empty());
}

TEST(ClaudeTranscriptParser, PasteChips) {
    struct Case {
        const char* description;
        std::string label;
        std::map<int, std::string> bodies;
        std::string expected;
    } cases[] = {
        {"any letter case, no body", "PASTED content · 12 LINES", {},
         "Please review\n[pasted text: 12 lines, content not captured]"},
        {"one line says line", "Pasted 1 line", {}, "Please review\n[pasted text: 1 line, content not captured]"},
        {"body resolved", "pasted text 2 lines", {{2, "a\nb"}},
         "Please review\n[pasted text: 2 lines]\na\nb\n[end pasted text]"},
        {"word pasted must stand alone", "copypasted 3 lines", {}, "Please review"},
        {"count must end the label", "Pasted 3 lines ago", {}, "Please review"},
    };
    for (const auto& c : cases) {
        auto tree = transcript({message(1, 2, {text("You said: Please review"), text("Please review"),
                                               pasteChip(c.label, "preview text")})});
        EXPECT_EQ(onlyTurn(withBodies(c.bodies), tree).text, c.expected) << c.description;
    }

    auto chipOnly = transcript({message(1, 1, {text("You said:"), pasteChip("Pasted 4 lines", "x"),
                                               pasteChip("Pasted 5 lines", "y")})});
    EXPECT_EQ(onlyTurn(withBodies({{5, "body"}}), chipOnly).text,
              "[pasted text: 4 lines, content not captured]\n[pasted text: 5 lines]\nbody\n[end pasted text]")
        << "a message that is only chips has no leading empty line";
}

TEST(ClaudeTranscriptParser, ChipPreviewIsTheLongestText) {
    auto chip = N("AXButton").description("Pasted 3 lines").kids({
        text("PASTED"),
        text("abcd"),
        N("AXGroup").kid(text("éééé")),  // same length in characters, later: loses the tie
        N("AXImage").description("a much longer image description"),
    });
    EXPECT_EQ(Parser::chipPreview(*chip.build()), "abcd");
    EXPECT_EQ(Parser::chipPreview(*N("AXButton").kid(text("PASTED")).build()), "");
}

// The body is captured from the clipboard while the chip is still in the
// composer, and still found after the clipboard has moved on.
TEST(ClaudeTranscriptParser, ComposerChipsAreResolvedBeforeTheClipboardChanges) {
    PasteboardCapture::resetForTesting();
    const std::string body = "first line of the pasted document, long enough to prove it\nsecond\nthird";
    const std::string preview = "first line of the pasted document, long enough to prove it";
    sim::SimClipboard clipboard;
    clipboard.setText(body);
    Parser parser;
    parser.resolvePaste = Parser::pasteboardResolver(&clipboard);

    auto composing = N("AXWindow").kids({
        N("AXGroup").description("Chat messages"),
        N("AXGroup").kid(pasteChip("Pasted 3 lines", preview)),
    });
    ASSERT_TRUE(parser.snapshot(*composing.build(), std::nullopt));

    clipboard.setText("something else entirely");
    auto sent = transcript({message(1, 1, {text("You said:"), pasteChip("Pasted 3 lines", preview)})});
    EXPECT_EQ(onlyTurn(parser, sent).text, "[pasted text: 3 lines]\n" + body + "\n[end pasted text]");
    PasteboardCapture::resetForTesting();
}

TEST(ClaudeTranscriptParser, CollapsedMessages) {
    struct Case {
        const char* description;
        std::string body;
        std::vector<std::string> nodeTexts;
        std::optional<std::string> expected;
    } cases[] = {
        {"not collapsed", "Hello", {"You said: Hello"}, std::nullopt},
        {"user heading", " Message collapsed\n", {"x", "You said:   the prompt  "}, "the prompt"},
        {"assistant heading", "Message collapsed", {"Claude responded: reply"}, "reply"},
        {"heading without its space does not count", "Message collapsed", {"You said:x"}, ""},
        {"no heading at all", "Message collapsed", {}, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Parser::collapsedRecovery(c.body, c.nodeTexts), c.expected) << c.description;
    }

    auto tree = transcript({message(2, 2, {text("You said: the long prompt"), text("Message collapsed"),
                                           pasteChip("Pasted 3 lines", "p"),
                                           N("AXGroup").classes({"group/thumbnail"}).kid(N("AXImage").description("a.png"))})});
    auto turn = onlyTurn(offline(), tree);
    EXPECT_TRUE(turn.collapsed);
    EXPECT_EQ(turn.text, "the long prompt") << "no paste blocks or image markers on a collapsed message";
}

TEST(ClaudeTranscriptParser, Artifacts) {
    const std::string longTitle(300, 'x');
    auto block = [](std::initializer_list<N> kids) {
        return std::move(N("AXGroup").classes({"artifact-block-cell", "group"}).kids(kids));
    };
    struct Case {
        const char* description;
        N content;
        std::optional<Parser::Artifact> expected;
    } cases[] = {
        {"card with title and type", block({text(" Budget sheet "), text("Code · CSV"), text("third")}),
         Parser::Artifact{"Budget sheet", "Code · CSV"}},
        {"card text skips buttons", block({N("AXButton").description("Download"), text("Only title")}),
         Parser::Artifact{"Only title", std::nullopt}},
        {"card without text, view button inside", block({N("AXButton").description("View  Plan ")}),
         Parser::Artifact{"Plan", std::nullopt}},
        {"card with nothing readable", block({N("AXImage")}), Parser::Artifact{}},
        {"view button outside a card", N("AXGroup").kid(N("AXButton").description("View " + longTitle)),
         Parser::Artifact{std::string(256, 'x'), std::nullopt}},
        {"view label with only spaces is no title", N("AXButton").description("View    "), std::nullopt},
        {"interactive artifact label", text("Interactive artifact"),
         Parser::Artifact{std::nullopt, "Interactive artifact"}},
        {"plain message", text("nothing here"), std::nullopt},
    };
    for (auto& c : cases) {
        auto turn = onlyTurn(offline(), transcript({message(1, 1, {text("Claude responded: done"), c.content})}));
        EXPECT_EQ(turn.producedArtifact, c.expected.has_value()) << c.description;
        EXPECT_EQ((Parser::Artifact{turn.artifactTitle, turn.artifactType}), c.expected.value_or(Parser::Artifact{}))
            << c.description;
        EXPECT_EQ(turn.text.find("Budget sheet"), std::string::npos) << "card text is not message text";
    }
}

TEST(ClaudeTranscriptParser, CardFromLeavesCutsTitlesByCharacter) {
    std::string title;
    for (int i = 0; i < 300; ++i) title += "\u00e9";  // two bytes each
    auto card = Parser::cardFromLeaves({"  ", title, std::string(300, 't')});
    ASSERT_TRUE(card);
    EXPECT_EQ(card->title.size(), 512u);
    EXPECT_EQ(card->type, std::string(300, 't')) << "the type is not cut";
    EXPECT_FALSE(Parser::cardFromLeaves({" ", "\n"}));
}

TEST(ClaudeTranscriptParser, ComposerDraft) {
    struct Case {
        const char* description;
        N composer;
        std::optional<std::string> expected;
    } cases[] = {
        {"typed text, trimmed", N("AXTextArea").classes({"ProseMirror"}).value("\n draft \n"), "draft"},
        {"class must mark the editor", N("AXTextArea").classes({"plain"}).value("draft"), std::nullopt},
        {"value equals the placeholder", N("AXTextArea").classes({"ProseMirror"}).value("Reply to Claude").placeholder(" Reply to Claude "),
         std::nullopt},
        {"greeting placeholder as value", N("AXTextArea").classes({"ProseMirror"}).value("How can I help you today?"),
         std::nullopt},
        {"prompt placeholder as value", N("AXTextArea").classes({"ProseMirror"}).value("Write a message\u2026"), std::nullopt},
        {"same words with three dots are a draft", N("AXTextArea").classes({"ProseMirror"}).value("Write a message..."),
         "Write a message..."},
    };
    for (auto& c : cases) {
        auto root = N("AXWindow").kid(N("AXGroup").kid(c.composer)).build();
        EXPECT_EQ(Parser::readComposerDraft(*root), c.expected) << c.description;
    }
}

}  // namespace
}  // namespace velmar
