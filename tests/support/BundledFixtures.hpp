#pragma once
// The recorded trees under tests/fixtures, for parameterised tests over all of them.

#include "tools/FixtureCheck.hpp"

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <string>
#include <vector>

namespace velmar::testing {

// Paths relative to the fixture directory, in sorted order.
inline std::vector<std::string> bundledFixtures() {
    std::vector<std::string> missing, out;
    for (const auto& p : FixtureCheck::collect({VELMAR_FIXTURE_DIR}, missing)) {
        out.push_back(std::filesystem::relative(p, VELMAR_FIXTURE_DIR).generic_string());
    }
    return out;
}

inline std::string fixtureTestName(const ::testing::TestParamInfo<std::string>& info) {
    std::string name;
    for (char c : info.param) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return name;
}

}  // namespace velmar::testing
