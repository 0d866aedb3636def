#pragma once
// The parsers' shared case tables: a page and the turns read from it (absent:
// no snapshot); a page and the probes that pass on it; a case and one value.

#include "parsing/ParserAnchor.hpp"
#include "parsing/SegmenterSnapshot.hpp"
#include "support/ParserTrees.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace velmar::testing {

struct ParserCase {
    const char* description;
    N tree;
    std::optional<Turns> turns;
    bool complete = true;
    bool fallback = false;  // read by position alone, the page's markers gone
};

// Turns numbered in page order, from their roles and texts.
inline Turns inOrder(std::initializer_list<std::pair<const char*, const char*>> roleTexts) {
    Turns out;
    const int total = static_cast<int>(roleTexts.size());
    for (const auto& [role, text] : roleTexts) out.push_back(turn(static_cast<int>(out.size()) + 1, total, role, text));
    return out;
}

// A snapshot exactly when turns are expected, with those turns, completion, way
// of reading and the key handed in; a `probe` passes exactly there too.
template <typename Parser>
void expectParses(std::span<const ParserCase> cases, const Parser& parser, const std::optional<std::string>& key = "k",
                  const ParserAnchor* probe = nullptr) {
    for (const auto& c : cases) {
        auto root = c.tree.build();
        std::optional<SegmenterSnapshot> snap = parser.snapshot(*root, key);
        ASSERT_EQ(snap.has_value(), c.turns.has_value()) << c.description;
        if (probe) {
            EXPECT_EQ(probe->foundIn(root), c.turns.has_value()) << c.description << ": " << probe->name;
        }
        if (!snap) continue;
        EXPECT_EQ(snap->turns, *c.turns) << c.description;
        EXPECT_EQ(snap->responseComplete, c.complete) << c.description;
        EXPECT_EQ(snap->usedParityFallback, c.fallback) << c.description;
        EXPECT_EQ(snap->conversationKey, key) << c.description;
    }
}

struct AnchorCase {
    const char* description;
    N tree;
    std::vector<bool> pass;  // one per probe, in the parser's order
};

// Each probe passes exactly where the case says, and the parser reads turns
// exactly where the first one passes.
template <typename Parser>
void expectAnchors(std::span<const AnchorCase> cases, const ParserAnchors& anchors, const Parser& parser) {
    for (const auto& c : cases) {
        auto root = c.tree.build();
        ASSERT_EQ(anchors.size(), c.pass.size()) << c.description;
        for (std::size_t i = 0; i < anchors.size(); ++i)
            EXPECT_EQ(anchors[i].foundIn(root), c.pass[i]) << c.description << ": " << anchors[i].name;
        EXPECT_EQ(parser.snapshot(*root, std::nullopt).has_value(), c.pass[0]) << c.description;
    }
}

// Each case's `expected` is what `got(case)` gives.
template <typename Cases, typename Got>
void expectEach(const Cases& cases, const Got& got) {
    for (const auto& c : cases) {
        SCOPED_TRACE(c.description);
        EXPECT_EQ(got(c), c.expected);
    }
}

}  // namespace velmar::testing
