#include "runtime/CaptureDirective.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

using nlohmann::json;

namespace velmar {
namespace {

TEST(CaptureDirective, ParsesOnlyWellFormedDirectives) {
    struct Case {
        const char* description;
        json message;
        std::optional<CaptureDirective> expected;
    };
    const Case cases[] = {
        {"pause without scope", {{"type", "capture_directive"}, {"capture", "pause"}}, CaptureDirective::pause()},
        {"pause for the device", {{"type", "capture_directive"}, {"capture", "pause"}, {"scope", "device"}},
         CaptureDirective::pause("device")},
        {"non-string scope is absent", {{"type", "capture_directive"}, {"capture", "pause"}, {"scope", 3}},
         CaptureDirective::pause()},
        {"run", {{"type", "capture_directive"}, {"capture", "run"}, {"scope", "device"}}, CaptureDirective::run()},
        {"unknown capture value", {{"type", "capture_directive"}, {"capture", "stop"}}, std::nullopt},
        {"capture in another case", {{"type", "capture_directive"}, {"capture", "Pause"}}, std::nullopt},
        {"missing capture", {{"type", "capture_directive"}}, std::nullopt},
        {"non-string capture", {{"type", "capture_directive"}, {"capture", true}}, std::nullopt},
        {"another type", {{"type", "log"}, {"capture", "pause"}}, std::nullopt},
        {"no type", {{"capture", "pause"}}, std::nullopt},
        {"not an object", json::array({"capture_directive"}), std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(CaptureDirective::parse(c.message), c.expected) << c.description;
}

TEST(CaptureDirective, EqualityFollowsTheScope) {
    EXPECT_NE(CaptureDirective::pause("org"), CaptureDirective::pause());
    EXPECT_EQ(CaptureDirective::pause("org"), CaptureDirective::pause("org"));
    EXPECT_NE(CaptureDirective::pause(), CaptureDirective::run());
}

}  // namespace
}  // namespace velmar
