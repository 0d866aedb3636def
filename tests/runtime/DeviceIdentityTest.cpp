#include "runtime/DeviceIdentity.hpp"

#include "platform/sim/SimPlatform.hpp"

#include <gtest/gtest.h>

#include <regex>

namespace velmar {
namespace {

bool isUpperCaseUuid(const std::string& s) {
    static const std::regex pattern("[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}");
    return std::regex_match(s, pattern);
}

TEST(DeviceIdentity, MadeOnceAsAnUpperCaseRandomUuidThenKeptUnlessEmpty) {
    sim::SimPlatform sim;
    sim::SimSettings& settings = sim.settings;
    const std::string first = DeviceIdentity::current(sim.platform().settings);
    EXPECT_TRUE(isUpperCaseUuid(first)) << first;
    EXPECT_EQ(DeviceIdentity::current(settings), first);
    EXPECT_EQ(settings.string("velmar.deviceId"), first);
    EXPECT_EQ(settings.writes(), 1u);

    sim::SimSettings other;
    EXPECT_NE(DeviceIdentity::current(other), first);

    // An empty stored value is replaced; any other is kept as it is.
    settings.setString("velmar.deviceId", "");
    EXPECT_TRUE(isUpperCaseUuid(DeviceIdentity::current(settings)));
    settings.setString("velmar.deviceId", "legacy-id");
    EXPECT_EQ(DeviceIdentity::current(settings), "legacy-id");
}

}  // namespace
}  // namespace velmar
