#pragma once
// Node builders the parser tests share, and a readable print of a turn so
// that whole turn lists can be compared in one expectation:
//   EXPECT_EQ(snap->turns, (Turns{turn(1, 2, "user", "q"), turn(2, 2, "assistant", "a")}));

#include "parsing/RawTurn.hpp"
#include "support/Trees.hpp"

#include <ostream>
#include <string>
#include <vector>

namespace velmar {

inline void PrintTo(const RawTurn& t, std::ostream* os) {
    *os << "{" << t.index << "/" << t.total << " " << t.role << " \"" << t.text << "\"";
    if (t.collapsed) *os << " collapsed";
    *os << "}";
}

}  // namespace velmar

namespace velmar::testing {

using Turns = std::vector<RawTurn>;

// A parsed turn with nothing but its place, role and text.
inline RawTurn turn(int index, int total, std::string role, std::string text) {
    RawTurn t;
    t.index = index;
    t.total = total;
    t.role = std::move(role);
    t.text = std::move(text);
    return t;
}

inline N text(std::string s) { return std::move(N("AXStaticText").value(std::move(s))); }
inline N button(std::string label) { return std::move(N("AXButton").description(std::move(label))); }

inline N group(std::vector<N> kids = {}, std::vector<std::string> classes = {}) {
    N g("AXGroup");
    if (!classes.empty()) g.classes(std::move(classes));
    for (const auto& k : kids) g.kid(k);
    return g;
}

// `inner` wrapped in `levels` plain groups.
inline N nested(N inner, int levels) {
    for (int i = 0; i < levels; ++i) inner = group({inner});
    return inner;
}

}  // namespace velmar::testing
