#include "ui/Updater.hpp"

#include "platform/sim/SimLogSink.hpp"
#include "platform/sim/SimUpdateFramework.hpp"
#include "platform/sim/SimWindowing.hpp"

#include <gtest/gtest.h>

namespace velmar {
namespace {

TEST(Updater, ConfiguredOnlyWithAFeed) {
    sim::SimUpdateFramework framework;
    EXPECT_FALSE(Updater::isConfigured(framework));
    framework.feed = "";
    EXPECT_FALSE(Updater::isConfigured(framework));
    framework.feed = "https://updates.velmar.example/appcast.xml";
    EXPECT_TRUE(Updater::isConfigured(framework));
}

TEST(Updater, InstallsAStagedUpdateAtOnce) {
    sim::SimUpdateFramework framework;
    sim::SimWindowing windowing;
    sim::SimLogSink log;
    Updater updater(framework, windowing, log);
    EXPECT_EQ(framework.starts, 1);

    updater.checkForUpdates();
    updater.checkForUpdatesInBackground();
    EXPECT_EQ(framework.interactiveChecks, 1);
    EXPECT_EQ(framework.backgroundChecks, 1);
    EXPECT_EQ(windowing.activations, 1) << "only the interactive check comes to the front";

    EXPECT_TRUE(framework.stageUpdate("1.5.0"));
    EXPECT_EQ(framework.immediateInstalls, 1);
    EXPECT_EQ(log.lines(), std::vector<std::string>{"[agent] update 1.5.0 staged — installing + relaunching now"});
}

}  // namespace
}  // namespace velmar
