#include "parsing/ClaudeTranscriptParser.hpp"
#include "ax/AXMirror.hpp"
#include "platform/Accessibility.hpp"
#include "parsing/ClaudeMessageRows.hpp"
#include "parsing/WebSegmenter.hpp"
#include "platform/sim/SimElement.hpp"
#include "support/ParserCases.hpp"

#include <gtest/gtest.h>

#include <map>

namespace velmar {
namespace {

using namespace testing;  // the shared tree builders and case tables
using testing::text;      // the builder, not the text namespace
using Parser = ClaudeTranscriptParser;

N message(int index, int total, std::vector<N> kids) {
    auto header = "Message " + std::to_string(index) + " of " + std::to_string(total);
    return std::move(group(std::move(kids)).description(header));
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
Parser offline() { return withBodies({}); }

RawTurn onlyTurn(const Parser& parser, const N& tree) {
    auto snap = parser.snapshot(*tree.build(), std::nullopt);
    EXPECT_TRUE(snap && snap->turns.size() == 1) << "expected exactly one turn";
    return snap && !snap->turns.empty() ? snap->turns.front() : RawTurn{};
}

// A message's text: its texts less the page's own labels, its paste chips as
// blocks (the body when the clipboard still holds it).
TEST(ClaudeTranscriptParser, MessageText) {
    auto said = [](std::string label) { return std::vector<N>{text("You said: prompt"), text(std::move(label))}; };
    auto review = [](std::string label) {
        return std::vector<N>{text("You said: Please review"), text("Please review"), pasteChip(std::move(label), "preview")};
    };
    const std::string notCaptured = "Please review\n[pasted text: 12 lines, content not captured]";
    struct Case { const char* description; std::vector<N> kids; std::string expected;
                  std::map<int, std::string> bodies = {}; bool collapsed = false; };
    const Case cases[] = {
        {"a message's text is trimmed", said("  padded  "), "padded"},
        {"the page's labels: reasoning toggle, relative time, clock time, date, hidden heading",
         {text("You said: prompt"), text("Thought process"), text("5 minutes ago"), text("9:41 AM"),
          text("December 25, 2024"), text("You said: hello")}, ""},
        {"relative time with a leading space is not a timestamp", said(" 5 minutes ago"), "5 minutes ago"},
        {"a sentence starting with Yesterday", said("Yesterday I wrote a parser"), "Yesterday I wrote a parser"},
        {"paste chip in any letter case, no body", review("PASTED content · 12 LINES"), notCaptured},
        {"one line says line", review("Pasted 1 line"), "Please review\n[pasted text: 1 line, content not captured]"},
        {"body resolved", review("pasted text 2 lines"), "Please review\n[pasted text: 2 lines]\na\nb\n[end pasted text]",
         {{2, "a\nb"}}},
        {"word pasted must stand alone", review("copypasted 3 lines"), "Please review"},
        {"count must end the label", review("Pasted 3 lines ago"), "Please review"},
        {"a message that is only chips has no leading empty line",
         {text("You said:"), pasteChip("Pasted 4 lines", "x"), pasteChip("Pasted 5 lines", "y")},
         "[pasted text: 4 lines, content not captured]\n[pasted text: 5 lines]\nbody\n[end pasted text]",
         {{5, "body"}}},
        {"no paste blocks or image markers on a collapsed message",
         {text("Claude responded: the long reply"), text("Message collapsed"), pasteChip("Pasted 3 lines", "p"),
          group({N("AXImage").description("a.png")}, {"group/thumbnail"})},
         "the long reply", {{3, "body"}}, true},
    };
    for (const auto& c : cases) {
        auto turn = onlyTurn(withBodies(c.bodies), transcript({message(1, 1, c.kids)}));
        EXPECT_EQ(turn.text, c.expected) << c.description;
        EXPECT_EQ(turn.collapsed, c.collapsed) << c.description;
    }
    EXPECT_EQ(Parser::collapsedRecovery(" Message collapsed\n", {"x", "You said:   the prompt  "}), "the prompt");
    EXPECT_EQ(Parser::collapsedRecovery("Message collapsed", {"You said:x"}), "") << "a heading needs its space";

    auto chip = N("AXButton").description("Pasted 3 lines").kids({
        text("PASTED"), text("abcd"),
        group({text("éééé")}),  // same length in characters, later: loses the tie
        N("AXImage").description("a much longer image description"),
    });
    EXPECT_EQ(Parser::chipPreview(*chip.build()), "abcd") << "the preview is the longest text";
}

// The Linux page: the main landmark, the message run between its header and composer.
N linuxPage(std::vector<N> run) {
    N main = std::move(N("AXGroup").subrole("AXLandmarkMain").kid(
        N("AXGroup").subrole("AXLandmarkBanner").kids({testing::button("Tenancy deposit"), testing::button("Share")})));
    for (auto& n : run) main.kid(n);
    main.kid(group({group({N("AXTextArea").classes({"tiptap", "ProseMirror"})}), testing::button("Send message")}));
    main.kid(N("AXGroup").subrole("AXApplicationStatus").kid(text("Claude finished the response")));
    return std::move(N("AXWebArea").kids({N("AXGroup").subrole("AXLandmarkNavigation").kid(text("Recents")), main}));
}
N heading(std::string s) { return std::move(N("AXHeading").kid(text(std::move(s)))); }
N paragraph(std::string s) { return group({text(std::move(s))}, {"whitespace-pre-wrap"}); }
N replyActions(std::string role = "AXGroup") {
    return std::move(N(std::move(role)).description("Message actions").kids({testing::button("Copy"), testing::button("Retry")}));
}

// Turns are kept whatever their role; a group whose label has no readable
// "Message N of M" is not a turn; where Chromium on Linux drops the page's
// plain message containers, a message is a run of siblings.
TEST(ClaudeTranscriptParser, MessagesFromTheirHeadersOrAsRunsOfSiblings) {
    using testing::button;
    const ParserCase cases[] = {
        {"any role is kept; captions, toolbars and unreadable headers are not",
         transcript({
             std::move(N("AXGroup").description("Your Message 6 of 8, sent").kids(
                 {text("Claude responded: 4."), text("4."), N("AXToolbar").kid(text("Copy")),
                  group({text("caption")}, {"line-clamp-1", "text-[11px]"}),
                  group({text("not a caption")}, {"line-clamp-1"})})),
             message(7, 8, {text("heading lost")}),
             N("AXGroup").description("Message 1\u0663 of 8").kid(text("You said: digits of another script")),
             N("AXGroup").description("Message 99999999999 of 8").kid(text("You said: too large for an index")),
         }),
         Turns{turn(6, 8, "assistant", "4.\nnot a caption"), turn(7, 8, "unknown", "heading lost")}, false},
        {"the label must be on a group", N("AXWindow").kid(text("Chat messages")), std::nullopt},
        {"a found container with no messages is a valid, empty snapshot",
         N("AXWindow").kid(N("AXGroup").description("Chat messages")), Turns{}, false, false, {false}},
        {"hidden headings open runs, through the reply's action bar",
         linuxPage({heading("You said: Why?"), paragraph("Why?"), text("4:48 PM"), button("Edit"), button("Copy"),
                    heading("Claude responded: Because."), paragraph("Because."), replyActions(),
                    heading("You said: And?"), paragraph("And?")}),
         Turns{turn(1, 3, "user", "Why?"), turn(2, 3, "assistant", "Because."), turn(3, 3, "user", "And?")}},
        {"a streaming reply runs up to the composer",
         linuxPage({heading("You said: Why?"), paragraph("Why?"), heading("Claude responded: Bec"), paragraph("Bec")}),
         Turns{turn(1, 2, "user", "Why?"), turn(2, 2, "assistant", "Bec")}},
        {"no headings: a reply's action bar or a prompt's Edit closes each run",
         linuxPage({paragraph("Why?"), text("4:48 PM"), button("Edit"), button("Copy"), paragraph("Because."),
                    group({text("Line two")}), replyActions("AXToolbar"), paragraph("And?"), button("Edit"),
                    paragraph("Still stream")}),
         Turns{turn(1, 3, "user", "Why?"), turn(2, 3, "assistant", "Because.\nLine two"), turn(3, 3, "user", "And?")}},
        {"renamed headings and action bars give no snapshot",
         linuxPage({heading("Du sagtest: Warum?"), paragraph("Warum?"), heading("Claude antwortete: Darum."),
                    paragraph("Darum."), N("AXGroup").description("Nachrichtenaktionen")}),
         std::nullopt},
    };
    Parser bare = offline();
    bare.detectFields = false;
    expectParses(cases, bare, &ClaudeMessageRows::anchors());
}

// Read through a mirror kept between reads (a browser tab), the page is
// surveyed along what changed: a completion notice that comes, goes or moves
// under parts already surveyed is seen at once, and so is a message growing.
TEST(ClaudeTranscriptParser, APageKeptBetweenReadsIsSurveyedAlongWhatChanged) {
    struct Platform final : Accessibility {
        bool isProcessTrusted() const override { return true; }
        AXElementRef applicationElement(int) const override { return nullptr; }
        std::unique_ptr<AccessibilityObserver> createObserver(int, AXNotificationHandler) override { return nullptr; }
    } platform;
    auto root = linuxPage({heading("You said: Why?"), paragraph("Why?"), heading("Claude responded: Bec"),
                           paragraph("Bec")})
                    .buildSim();
    auto main = root->childElements()[1];
    auto status = main->childElements().back();
    auto notice = status->childElements()[0];
    status->removeChild(notice);
    AXMirror mirror;
    const Parser parser = offline();
    auto read = [&] {
        EXPECT_TRUE(mirror.prefetch(root, platform, [] { return false; }));
        auto snap = parser.snapshot(mirror.read(AXElement(root)), std::nullopt);
        mirror.endPass();
        return snap;
    };
    ASSERT_TRUE(read().has_value());
    EXPECT_FALSE(read()->responseComplete) << "read twice, nothing changed";
    auto reply = main->childElements()[4];
    reply->childElements()[0]->setString("AXValue", "Because.");
    mirror.changed(reply->childElements()[0], AXMirror::Change::attributes);
    auto grown = read();
    ASSERT_TRUE(grown && grown->turns.size() == 2u);
    EXPECT_EQ(grown->turns[1].text, "Because.");
    EXPECT_FALSE(grown->responseComplete);
    status->append(notice);
    mirror.changed(status, AXMirror::Change::children);
    EXPECT_TRUE(read()->responseComplete) << "the notice came";
    notice->setString("AXValue", "Claude is typing");
    mirror.changed(notice, AXMirror::Change::attributes);
    EXPECT_FALSE(read()->responseComplete) << "the notice renamed";
    notice->setString("AXValue", "Claude finished the response");
    mirror.changed(notice, AXMirror::Change::attributes);
    EXPECT_TRUE(read()->responseComplete) << "and back";
}

// A chip still in the composer is resolved then, while the clipboard still
// holds its body; the resolver keeps what it found for the sent message.
TEST(ClaudeTranscriptParser, ComposerChipsAreResolvedBeforeTheMessageIsSent) {
    const std::string preview = "first line of the pasted document";
    std::vector<std::pair<int, std::string>> asked;
    Parser parser;
    parser.resolvePaste = [&asked](int lines, const std::string& shown) -> std::optional<std::string> {
        asked.emplace_back(lines, shown);
        return std::nullopt;
    };
    auto composing =
        N("AXWindow").kids({N("AXGroup").description("Chat messages"), group({pasteChip("Pasted 3 lines", preview)})});
    ASSERT_TRUE(parser.snapshot(*composing.build(), std::nullopt));
    EXPECT_EQ(asked, (std::vector<std::pair<int, std::string>>{{3, preview}}));

    // Off the main thread the clipboard is not read: the parse says it needs the loop.
    const WebSegmenter<Parser> web("claude", parser);
    asked.clear();
    bool needsLoop = false;
    web.snapshotAside(AXElement(composing.buildSim()), std::nullopt, needsLoop);
    EXPECT_TRUE(needsLoop);
    EXPECT_TRUE(asked.empty());
    web.snapshotAside(AXElement(N("AXWindow").kid(N("AXGroup").description("Chat messages")).buildSim()), std::nullopt,
                      needsLoop);
    EXPECT_FALSE(needsLoop);
}

TEST(ClaudeTranscriptParser, Artifacts) {
    std::string longTitle;
    for (int i = 0; i < 300; ++i) longTitle += "\u00e9";  // two bytes each: the cut counts characters
    auto block = [](std::vector<N> kids) { return group(std::move(kids), {"artifact-block-cell", "group"}); };
    struct Case { const char* description; N content; std::optional<Parser::Artifact> expected; } cases[] = {
        {"card with title and type", block({text(" Budget sheet "), text("Code · CSV"), text("third")}),
         Parser::Artifact{"Budget sheet", "Code · CSV"}},
        {"card text skips buttons; long titles are cut", block({N("AXButton").description("Get"), text(longTitle)}),
         Parser::Artifact{longTitle.substr(0, 512), std::nullopt}},
        {"card without text, view button inside", block({N("AXButton").description("View  Plan ")}),
         Parser::Artifact{"Plan", std::nullopt}},
        {"card with nothing readable", block({N("AXImage")}), Parser::Artifact{}},
        {"view button outside a card", group({N("AXButton").description("View Budget sheet")}),
         Parser::Artifact{"Budget sheet", std::nullopt}},
        {"view label with only spaces is no title", N("AXButton").description("View    "), std::nullopt},
        {"interactive artifact label", text("Interactive artifact"),
         Parser::Artifact{std::nullopt, "Interactive artifact"}},
        {"plain message", text("nothing here"), std::nullopt},
        {"a Tailwind variant naming the card's group is not the card",
         group({group({text("Preview")}, {"group-hover/artifact-block:opacity-100"}),
                block({text("Budget sheet"), text("Code · CSV")})}),
         Parser::Artifact{"Budget sheet", "Code · CSV"}},
    };
    for (auto& c : cases) {
        auto turn = onlyTurn(offline(), transcript({message(1, 1, {text("Claude responded: done"), c.content})}));
        EXPECT_EQ(turn.producedArtifact, c.expected.has_value()) << c.description;
        EXPECT_EQ((Parser::Artifact{turn.artifactTitle, turn.artifactType}), c.expected.value_or(Parser::Artifact{}))
            << c.description;
        EXPECT_EQ(turn.text.find("Budget sheet"), std::string::npos) << "card text is not message text";
    }
}

TEST(ClaudeTranscriptParser, ComposerDraft) {
    auto editor = [](std::string value) {
        return std::move(N("AXTextArea").classes({"ProseMirror"}).value(std::move(value)));
    };
    struct Case { const char* description; N composer; std::optional<std::string> expected; } cases[] = {
        {"typed text, trimmed", editor("\n draft \n"), "draft"},
        {"class must mark the editor", N("AXTextArea").classes({"plain"}).value("draft"), std::nullopt},
        {"value equals the placeholder", std::move(editor("Reply to Claude").placeholder(" Reply to Claude ")),
         std::nullopt},
        {"a known placeholder as value", editor("How can I help you today?"), std::nullopt},
    };
    expectEach(cases, [](const Case& c) {
        return Parser::readComposerDraft(*N("AXWindow").kid(group({c.composer})).build());
    });
}

}  // namespace
}  // namespace velmar
