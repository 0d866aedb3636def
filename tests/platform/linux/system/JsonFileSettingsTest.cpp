#include "platform/linux/system/JsonFileSettings.hpp"

#include "platform/sim/SimEnvironment.hpp"
#include "platform/sim/SimLogSink.hpp"
#include "support/TempFiles.hpp"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

namespace velmar::linux_backend {
namespace {

namespace fs = std::filesystem;
using velmar::testing::readFile;
using velmar::testing::TempDir;
using velmar::testing::writeFile;

std::vector<std::string> namesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(JsonFileSettings, DefaultPathFollowsXdgConfigHome) {
    EXPECT_EQ(JsonFileSettings::defaultPath(sim::SimEnvironment{{"XDG_CONFIG_HOME", "/x/cfg"}, {"HOME", "/home/a"}}),
              "/x/cfg/velmar/settings.json");
    EXPECT_EQ(JsonFileSettings::defaultPath(sim::SimEnvironment{{"HOME", "/home/a"}}), "/home/a/.config/velmar/settings.json");
    // A relative XDG_CONFIG_HOME is invalid and ignored.
    EXPECT_EQ(JsonFileSettings::defaultPath(sim::SimEnvironment{{"XDG_CONFIG_HOME", "cfg"}, {"HOME", "/home/a"}}),
              "/home/a/.config/velmar/settings.json");
}

// Values survive into a second instance with their types; a value read as
// another type is absent; the folder holds the file and nothing else.
TEST(JsonFileSettings, KeepsTypedValuesAcrossInstancesAndLeavesNoTemporaryFiles) {
    TempDir dir;
    sim::SimLogSink log;
    const fs::path file = dir / "velmar/settings.json";
    {
        JsonFileSettings settings(file, log);
        settings.setString("velmar.deviceId", "ABC");
        settings.setBoolean("velmar.launchAtLogin.defaulted", true);
        settings.setNumber("VelmarFlushGraceSeconds", 90.5);
        settings.setString("gone", "x");
        settings.remove("gone");
    }
    JsonFileSettings settings(file, log);
    EXPECT_EQ(settings.string("velmar.deviceId"), "ABC");
    EXPECT_EQ(settings.boolean("velmar.launchAtLogin.defaulted"), true);
    EXPECT_EQ(settings.number("VelmarFlushGraceSeconds"), 90.5);
    EXPECT_EQ(settings.string("gone"), std::nullopt);
    EXPECT_EQ(settings.boolean("velmar.deviceId"), std::nullopt);
    EXPECT_EQ(settings.string("VelmarFlushGraceSeconds"), std::nullopt);
    EXPECT_EQ(namesIn(dir / "velmar"), std::vector<std::string>{"settings.json"});
    EXPECT_EQ(fs::status(file).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_TRUE(log.lines().empty());
}

// A file left empty, cut off mid-write or otherwise unusable reads as empty,
// is reported once, and is replaced whole at the next change.
TEST(JsonFileSettings, UnusableFilesReadAsEmptyAndAreRewrittenWhole) {
    struct Case {
        const char* description;
        const char* contents;
        const char* logged;
    };
    const Case cases[] = {
        {"empty", "", "it is empty"},
        {"truncated mid-write", "{\n  \"velmar.deviceId\": \"6F1C2A", "not valid JSON"},
        {"garbage", "\x7f" "ELF\x02\x01", "not valid JSON"},
        {"an array", "[\"velmar.deviceId\"]", "not a JSON object"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        sim::SimLogSink log;
        const fs::path file = dir / "settings.json";
        writeFile(file, c.contents);

        JsonFileSettings settings(file, log);
        EXPECT_EQ(settings.string("velmar.deviceId"), std::nullopt) << c.description;
        settings.setString("velmar.deviceId", "NEW");
        settings.setBoolean("flag", false);

        ASSERT_EQ(log.lines().size(), 1u) << c.description;
        EXPECT_TRUE(log.lines()[0].starts_with("[agent] ")) << c.description;
        EXPECT_NE(log.lines()[0].find(c.logged), std::string::npos) << c.description << ": " << log.lines()[0];
        EXPECT_EQ(nlohmann::json::parse(readFile(file)), (nlohmann::json{{"velmar.deviceId", "NEW"}, {"flag", false}}))
            << c.description;
        EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"settings.json"}) << c.description;
    }
}

// Something other than a file in the settings' place: nothing to read,
// nothing written there or anywhere else, one line, however many changes.
TEST(JsonFileSettings, ADirectoryInItsPlaceIsLeftAloneAndReportedOnce) {
    TempDir dir;
    sim::SimLogSink log;
    const fs::path file = dir / "settings.json";
    fs::create_directories(file);

    JsonFileSettings settings(file, log);
    settings.setString("velmar.deviceId", "ABC");
    settings.setNumber("n", 1);
    EXPECT_EQ(settings.string("velmar.deviceId"), "ABC");  // kept for this session

    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_NE(log.lines()[0].find("Is a directory"), std::string::npos) << log.lines()[0];
    EXPECT_TRUE(fs::is_directory(file));
    EXPECT_TRUE(fs::is_empty(file));
    EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"settings.json"});
}

// The settings folder's parent is a regular file, so the folder can be
// neither read nor made (ENOTDIR), for root too.
TEST(JsonFileSettings, AFolderThatCannotExistIsReportedOnceAndNothingIsCreated) {
    TempDir dir;
    sim::SimLogSink log;
    writeFile(dir / "config", "a file where the config folder should be");
    const fs::path file = dir / "config/velmar/settings.json";

    JsonFileSettings settings(file, log);
    settings.setString("velmar.deviceId", "ABC");
    settings.setString("velmar.deviceId", "DEF");

    EXPECT_EQ(settings.string("velmar.deviceId"), "DEF");
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_NE(log.lines()[0].find("Not a directory"), std::string::npos) << log.lines()[0];
    EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"config"});
    EXPECT_EQ(readFile(dir / "config"), "a file where the config folder should be");
}

// A read-only settings folder: the stored values still read, changes stay in
// memory, the file is untouched, one line. Tests run as root, who ignores
// file modes; the thread gives up that override for the test.
TEST(JsonFileSettings, NoWritePermissionKeepsTheFileAndReportsOnce) {
    TempDir dir;
    sim::SimLogSink log;
    const fs::path folder = dir / "velmar";
    const fs::path file = folder / "settings.json";
    writeFile(file, R"({"velmar.deviceId": "KEEP"})");
    fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
    fs::permissions(file, fs::perms::owner_read);

    velmar::testing::NoPermissionOverride noOverride;
    if (!noOverride.active()) GTEST_SKIP() << "cannot drop CAP_DAC_OVERRIDE in this environment";

    JsonFileSettings settings(file, log);
    EXPECT_EQ(settings.string("velmar.deviceId"), "KEEP");
    settings.setString("velmar.deviceId", "CHANGED");
    settings.setBoolean("flag", true);
    EXPECT_EQ(settings.string("velmar.deviceId"), "CHANGED");

    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_NE(log.lines()[0].find("Permission denied"), std::string::npos) << log.lines()[0];
    EXPECT_EQ(readFile(file), R"({"velmar.deviceId": "KEEP"})");
    EXPECT_EQ(namesIn(folder), std::vector<std::string>{"settings.json"});
}

}  // namespace
}  // namespace velmar::linux_backend
