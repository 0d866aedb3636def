#include "capture/DesignPromptEmitter.hpp"

#include <gtest/gtest.h>

namespace velmar {
namespace {

using namespace std::chrono_literals;

struct Read {
    std::vector<std::string> turns;  // user turns; one starting with "=" is a reply
    bool fallback = false;
    bool fromNewChat = false;
};

// The prompts sent over a sequence of reads of one conversation.
std::vector<std::string> play(const std::vector<Read>& reads) {
    std::vector<std::string> sent;
    DesignPromptEmitter emitter([&sent](const TurnEvent& e) { sent.push_back(e.prompt); });
    TimePoint t{};
    for (const auto& read : reads) {
        SegmenterSnapshot s;
        s.conversationKey = "p1";
        s.usedParityFallback = read.fallback;
        for (const auto& text : read.turns) {
            auto& turn = s.turns.emplace_back();
            turn.index = static_cast<int>(s.turns.size());
            turn.total = static_cast<int>(read.turns.size());
            turn.role = text.starts_with('=') ? "assistant" : "user";
            turn.text = text;
        }
        emitter.process(s, t += 1s, read.fromNewChat);
    }
    return sent;
}

// Priming from an open or a new chat is played by the design replay file.
TEST(DesignPromptEmitter, EmitsEachNewPromptOnce) {
    const std::tuple<const char*, std::vector<Read>, std::vector<std::string>> cases[] = {
        {"an empty read does not prime", {{{}}, {{"A"}}, {{"A", "B"}}}, {"B"}},
        {"the same text sent twice goes out once, markers aside",
         {{{}, false, true},
          {{"logo\n[attached image: a.png]"}, false, true},
          {{"logo\n[attached image: a.png]", "logo"}}},
         {"logo\n[attached image: a.png]"}},
        {"a fallback read only primes; what it shows is not taken as seen",
         {{{"A", "=reply"}, true}, {{"A", "=reply", "B"}, true}, {{"A", "B", "C"}}}, {"B", "C"}},
    };
    for (const auto& [description, reads, expected] : cases) {
        EXPECT_EQ(play(reads), expected) << description;
    }
}

TEST(DesignPromptEmitter, WhatCountsAsAPrompt) {
    std::string accented;
    for (int i = 0; i < 40; ++i) accented += "\u00e9";
    const std::tuple<const char*, std::string, bool, bool> cases[] = {  // description, text, fallback read, prompt
        {"icon glyph", "\uE8B5 Export", false, false},
        {"status line of 48 characters", std::string(47, 'x') + "\u2026", false, false},
        {"49 characters is not a status line", std::string(48, 'x') + "\u2026", false, true},
        {"status line counted in characters, not bytes", accented + "\u2026", false, false},
        {"tool line", "Editing index.html", false, false},
        {"prefix needs its space", "Editingly done", false, true},
        {"check mark line only matters in a fallback read", "Make it blue\n\u2713", false, true},
        {"check mark line in a fallback read", "Make it blue\n\u2713", true, false},
        {"noise prefix on a later line in a fallback read", "Done\nUpdated todos", true, false},
        {"long last line with an ellipsis is fine in a fallback read", "Blue\n" + std::string(60, 'y') + "\u2026",
         true, true},
    };
    for (const auto& [description, text, fallback, prompt] : cases) {
        EXPECT_EQ(DesignPromptEmitter::isPrompt(text, fallback), prompt) << description;
    }
}

}  // namespace
}  // namespace velmar
