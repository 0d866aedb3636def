#pragma once
// The parsers' shared case table: a page, and the turns a parser reads from
// it (absent: no snapshot at all).

#include "parsing/SegmenterSnapshot.hpp"
#include "support/ParserTrees.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <span>
#include <string>
#include <utility>

namespace velmar::testing {

struct ParserCase {
    const char* description;
    N tree;
    std::optional<Turns> turns;
    bool complete = true;
};

// Turns numbered in page order, from their roles and texts.
inline Turns inOrder(std::initializer_list<std::pair<const char*, const char*>> roleTexts) {
    Turns out;
    const int total = static_cast<int>(roleTexts.size());
    for (const auto& [role, text] : roleTexts) out.push_back(turn(static_cast<int>(out.size()) + 1, total, role, text));
    return out;
}

// Each case through `parse(scope, key)`: a snapshot exactly when turns are
// expected, with those turns, that completion and the key handed in.
template <typename Parse>
void expectParses(std::span<const ParserCase> cases, const Parse& parse, const std::optional<std::string>& key = "k") {
    for (const auto& c : cases) {
        std::optional<SegmenterSnapshot> snap = parse(*c.tree.build(), key);
        ASSERT_EQ(snap.has_value(), c.turns.has_value()) << c.description;
        if (!snap) continue;
        EXPECT_EQ(snap->turns, *c.turns) << c.description;
        EXPECT_EQ(snap->responseComplete, c.complete) << c.description;
        EXPECT_EQ(snap->conversationKey, key) << c.description;
    }
}

}  // namespace velmar::testing
