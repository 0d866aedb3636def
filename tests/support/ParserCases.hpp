#pragma once
// The parsers' shared case tables: a page, the turns read from it (absent: no
// snapshot) and the probes that pass on it; and any case with one value.

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
    bool fallback = false;        // read by position alone, the page's markers gone
    std::vector<bool> pass = {};  // when given: which of the parser's probes pass, in their order
};

// Turns numbered in page order, from their roles and texts.
inline Turns inOrder(std::initializer_list<std::pair<const char*, const char*>> roleTexts) {
    Turns out;
    const int total = static_cast<int>(roleTexts.size());
    for (const auto& [role, text] : roleTexts) out.push_back(turn(static_cast<int>(out.size()) + 1, total, role, text));
    return out;
}

// A snapshot exactly when turns are expected, with those turns, completion, way
// of reading and the key handed in. With the parser's `anchors`, each passes as
// the case's `pass` says, or else the first exactly where turns are read.
template <typename Parser>
void expectParses(std::span<const ParserCase> cases, const Parser& parser, const ParserAnchors* anchors = nullptr) {
    const std::optional<std::string> key = "k";
    for (const auto& c : cases) {
        auto root = c.tree.build();
        std::optional<SegmenterSnapshot> snap = parser.snapshot(*root, key);
        ASSERT_EQ(snap.has_value(), c.turns.has_value()) << c.description;
        if (anchors && !c.pass.empty()) {
            ASSERT_EQ(c.pass.size(), anchors->size()) << c.description;
            for (std::size_t i = 0; i < anchors->size(); ++i)
                EXPECT_EQ((*anchors)[i].foundIn(root), c.pass[i]) << c.description << ": " << (*anchors)[i].name;
        } else if (anchors) {
            EXPECT_EQ(anchors->front().foundIn(root), c.turns.has_value()) << c.description << ": first probe";
        }
        if (!snap) continue;
        EXPECT_EQ(snap->turns, *c.turns) << c.description;
        EXPECT_EQ(snap->responseComplete, c.complete) << c.description;
        EXPECT_EQ(snap->usedParityFallback, c.fallback) << c.description;
        EXPECT_EQ(snap->conversationKey, key) << c.description;
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
