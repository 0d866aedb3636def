#include "runtime/CaptureDirective.hpp"

#include <gtest/gtest.h>

namespace velmar {
namespace {

TEST(CaptureDirective, EqualityFollowsTheScope) {
    EXPECT_NE(CaptureDirective::pause("org"), CaptureDirective::pause());
    EXPECT_EQ(CaptureDirective::pause("org"), CaptureDirective::pause("org"));
    EXPECT_NE(CaptureDirective::pause(), CaptureDirective::run());
}

}  // namespace
}  // namespace velmar
