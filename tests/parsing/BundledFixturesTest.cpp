// Every recorded tree under tests/fixtures must parse to what was recorded.
#include "tools/FixtureCheck.hpp"

#include <gtest/gtest.h>

#include <filesystem>

namespace velmar {
namespace {

std::vector<std::string> bundledFixtures() {
    std::vector<std::string> missing;
    std::vector<std::string> out;
    for (const auto& p : FixtureCheck::collect({VELMAR_FIXTURE_DIR}, missing)) {
        out.push_back(std::filesystem::relative(p, VELMAR_FIXTURE_DIR).string());
    }
    return out;
}

class BundledFixture : public ::testing::TestWithParam<std::string> {};

TEST_P(BundledFixture, ParsesAsRecorded) {
    auto path = std::filesystem::path(VELMAR_FIXTURE_DIR) / GetParam();
    auto result = FixtureCheck::check(path, std::nullopt);
    EXPECT_TRUE(result.passed) << GetParam() << ": " << result.reason.value_or("");
}

std::string testName(const ::testing::TestParamInfo<std::string>& info) {
    std::string name;
    for (char c : info.param) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(All, BundledFixture, ::testing::ValuesIn(bundledFixtures()), testName);

}  // namespace
}  // namespace velmar
