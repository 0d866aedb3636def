#pragma once
// Snapshots written as one line: "Q1 R2 Q3 ~" holds three turns whose texts are
// the tokens. Role from the first letter (Q user, R assistant, else a tool
// turn); index from the digits after it ("R4v2" is 4), or 1, 2, 3... from the
// top with `byPosition`, as position-indexed parsers number a window. "~": the
// last reply still streams. Every turn's total is the highest index.

#include "parsing/SegmenterSnapshot.hpp"

#include <algorithm>
#include <cstdlib>
#include <sstream>

namespace velmar::testing {

inline SegmenterSnapshot snap(const std::string& spec, bool byPosition = false, std::string key = "conv") {
    SegmenterSnapshot s;
    s.conversationKey = std::move(key);
    std::istringstream in(spec);
    for (std::string token; in >> token;) {
        if (token == "~") {
            s.responseComplete = false;
            continue;
        }
        RawTurn& t = s.turns.emplace_back();
        t.role = token[0] == 'Q' ? "user" : token[0] == 'R' ? "assistant" : "tool";
        t.index = byPosition ? static_cast<int>(s.turns.size()) : std::atoi(token.c_str() + 1);
        t.text = std::move(token);
    }
    int total = 0;
    for (const auto& t : s.turns) total = std::max(total, t.index);
    for (auto& t : s.turns) t.total = total;
    return s;
}

}  // namespace velmar::testing
