// Every recorded tree under tests/fixtures must parse to what was recorded.
#include "support/BundledFixtures.hpp"
#include "tools/FixtureCheck.hpp"

#include <gtest/gtest.h>

#include <filesystem>

namespace velmar {
namespace {

class BundledFixture : public ::testing::TestWithParam<std::string> {};

TEST_P(BundledFixture, ParsesAsRecorded) {
    auto path = std::filesystem::path(VELMAR_FIXTURE_DIR) / GetParam();
    auto result = FixtureCheck::check(path, std::nullopt);
    EXPECT_TRUE(result.passed) << GetParam() << ": " << result.reason.value_or("");
}

INSTANTIATE_TEST_SUITE_P(All, BundledFixture, ::testing::ValuesIn(testing::bundledFixtures()),
                         testing::fixtureTestName);

}  // namespace
}  // namespace velmar
