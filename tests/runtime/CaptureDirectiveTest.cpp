#include "runtime/CaptureDirective.hpp"

#include <gtest/gtest.h>

namespace velmar {
namespace {

TEST(CaptureDirective, EqualityAndMenuLinesFollowTheScope) {
    EXPECT_EQ(CaptureDirective::run().menuLine(), std::nullopt);
    EXPECT_EQ(CaptureDirective::pause().menuLine(), "Capture paused by your organization");
    EXPECT_EQ(CaptureDirective::pause("device").menuLine(), "Capture paused by your organization (this device)");
    EXPECT_EQ(CaptureDirective::pause("org").menuLine(), "Capture paused by your organization");
    EXPECT_NE(CaptureDirective::pause("org"), CaptureDirective::pause());
    EXPECT_EQ(CaptureDirective::pause("org"), CaptureDirective::pause("org"));
    EXPECT_NE(CaptureDirective::pause(), CaptureDirective::run());
}

}  // namespace
}  // namespace velmar
