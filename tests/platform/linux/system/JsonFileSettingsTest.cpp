#include "platform/linux/system/JsonFileSettings.hpp"

#include "platform/sim/SimEnvironment.hpp"
#include "platform/sim/SimLogSink.hpp"
#include "support/TempFiles.hpp"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <functional>
#include <map>

namespace velmar::linux_backend {
namespace {

namespace fs = std::filesystem;
using velmar::testing::readFile;
using velmar::testing::TempDir;
using velmar::testing::writeFile;

// Every path below `folder`, with its contents ("/" for a folder).
std::map<std::string, std::string> everythingIn(const fs::path& folder) {
    std::map<std::string, std::string> out;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        const auto name = entry.path().lexically_relative(folder).string();
        out[name] = entry.is_directory() ? "/" : readFile(entry.path());
    }
    return out;
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
    EXPECT_EQ(everythingIn(dir / "velmar").size(), 1u) << "the settings file, no temporary one";
    EXPECT_EQ(fs::status(file).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_TRUE(log.lines().empty());
}

// A file left empty, cut off mid-write or otherwise unusable reads as empty
// and is replaced whole at the next change. Settings that cannot be saved
// where they belong: what was stored still reads, changes live on for this
// session and nothing on disk changes. Either problem is one line however
// many changes follow.
TEST(JsonFileSettings, UnusableFilesAreRewrittenWholeAndUnwritablePlacesLeftAsTheyWere) {
    struct Case {
        const char* description;
        const char* file;
        std::function<void(const fs::path&)> prepare;  // given the test's folder
        std::optional<std::string> stored;
        const char* logged;
        bool rewritten;
    };
    const auto holding = [](const char* text) {
        return [text](const fs::path& dir) { writeFile(dir / "settings.json", text); };
    };
    const Case cases[] = {
        {"empty", "settings.json", holding(""), std::nullopt, "it is empty", true},
        {"truncated mid-write", "settings.json", holding("{\n  \"velmar.deviceId\": \"6F1C2A"), std::nullopt,
         "not valid JSON", true},
        {"garbage", "settings.json", holding("\x7f" "ELF\x02\x01"), std::nullopt, "not valid JSON", true},
        {"an array", "settings.json", holding("[\"velmar.deviceId\"]"), std::nullopt, "not a JSON object", true},
        {"a directory in the file's place", "settings.json",
         [](const fs::path& dir) { fs::create_directories(dir / "settings.json"); }, std::nullopt,
         "Is a directory", false},
        {"a file where the folder's parent should be: ENOTDIR, for root too", "config/velmar/settings.json",
         [](const fs::path& dir) { writeFile(dir / "config", "a file"); }, std::nullopt, "Not a directory", false},
        {"a read-only folder (tests run as root: the thread gives up its override)", "velmar/settings.json",
         [](const fs::path& dir) {
             writeFile(dir / "velmar/settings.json", R"({"velmar.deviceId": "KEEP"})");
             fs::permissions(dir / "velmar", fs::perms::owner_read | fs::perms::owner_exec);
             fs::permissions(dir / "velmar/settings.json", fs::perms::owner_read);
         },
         "KEEP", "Permission denied", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.description);
        TempDir dir;
        sim::SimLogSink log;
        c.prepare(dir.path());
        const auto before = everythingIn(dir.path());
        velmar::testing::NoPermissionOverride noOverride;
        if (!c.rewritten && !noOverride.active()) GTEST_SKIP() << "cannot drop CAP_DAC_OVERRIDE in this environment";

        JsonFileSettings settings(dir / c.file, log);
        EXPECT_EQ(settings.string("velmar.deviceId"), c.stored);
        settings.setString("velmar.deviceId", "ABC");
        settings.setBoolean("flag", false);
        settings.setString("velmar.deviceId", "NEW");
        EXPECT_EQ(settings.string("velmar.deviceId"), "NEW");

        ASSERT_EQ(log.lines().size(), 1u);
        EXPECT_NE(log.lines()[0].find(c.logged), std::string::npos) << log.lines()[0];
        if (c.rewritten) {
            EXPECT_EQ(nlohmann::json::parse(readFile(dir / c.file)), (nlohmann::json{{"velmar.deviceId", "NEW"}, {"flag", false}}));
            EXPECT_EQ(everythingIn(dir.path()).size(), 1u) << "no temporary file";
        } else {
            EXPECT_EQ(everythingIn(dir.path()), before);
        }
    }
}

}  // namespace
}  // namespace velmar::linux_backend
