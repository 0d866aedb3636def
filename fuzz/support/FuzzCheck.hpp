#pragma once
// A property a harness checks on every input: a violation prints what was
// expected and aborts, which libFuzzer reports as a finding (and saves the input).

#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace velmar::fuzz {

inline void check(bool holds, std::string_view what) {
    if (holds) return;
    std::fprintf(stderr, "property violated: %.*s\n", static_cast<int>(what.size()), what.data());
    std::abort();
}

}  // namespace velmar::fuzz
