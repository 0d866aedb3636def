#include "platform/linux/session/XdgAutostartLoginService.hpp"

#include "platform/linux/session/DesktopEntries.hpp"
#include "platform/linux/system/LinuxEnvironment.hpp"
#include "support/TempFiles.hpp"

#include <gtest/gtest.h>

namespace velmar::linux_backend {
namespace {

namespace fs = std::filesystem;
using Status = LoginService::Status;
using velmar::testing::readFile;
using velmar::testing::ScopedEnv;
using velmar::testing::TempDir;
using velmar::testing::writeFile;

// For real: the entry appears under $XDG_CONFIG_HOME/autostart, starts this
// executable, and goes away again.
TEST(XdgAutostartLoginService, WritesAndRemovesTheEntryInTheUsersAutostartFolder) {
    TempDir dir;
    ScopedEnv xdg("XDG_CONFIG_HOME", (dir / "config").string());
    LinuxEnvironment environment;
    const fs::path entry = XdgAutostartLoginService::defaultEntryPath(environment);
    EXPECT_EQ(entry, dir / "config/autostart/velmar-desktop-agent.desktop");

    XdgAutostartLoginService service(entry, "/opt/velmar/bin/velmar-desktop-agent");
    EXPECT_EQ(service.status(), Status::notRegistered);

    EXPECT_EQ(service.registerItem(), std::nullopt);
    EXPECT_EQ(service.status(), Status::enabled);
    auto parsed = DesktopEntries::parse(readFile(entry), "velmar-desktop-agent");
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->program, "/opt/velmar/bin/velmar-desktop-agent");
    EXPECT_EQ(fs::status(entry).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read);
    EXPECT_EQ(service.registerItem(), std::nullopt);  // again: same entry, no leftovers
    EXPECT_EQ(std::distance(fs::directory_iterator(entry.parent_path()), fs::directory_iterator()), 1);

    EXPECT_EQ(service.unregisterItem(), std::nullopt);
    EXPECT_FALSE(fs::exists(entry));
    EXPECT_EQ(service.status(), Status::notRegistered);
    EXPECT_EQ(service.unregisterItem(), std::nullopt);  // already gone is fine
}

// Paths with characters the entry format reserves come back unchanged from
// a desktop entry reader; a line break cannot be written at all.
TEST(XdgAutostartLoginService, QuotesTheExecutablePathSoItReadsBackExactly) {
    for (const char* path : {"/home/ada/My Apps/velmar", "/opt/100%/v\\e\"l$m`ar", "/opt/tab\there"}) {
        auto text = XdgAutostartLoginService::entryText(path);
        ASSERT_TRUE(text) << path;
        auto parsed = DesktopEntries::parse(*text, "velmar-desktop-agent");
        ASSERT_TRUE(parsed) << path;
        EXPECT_EQ(parsed->program, path);
    }
    EXPECT_EQ(XdgAutostartLoginService::entryText("/opt/line\nbreak"), std::nullopt);
}

TEST(XdgAutostartLoginService, AnEntryTheUserSwitchedOffIsNotRegistered) {
    struct Case {
        const char* description;
        const char* text;
        Status expected;
    };
    const Case cases[] = {
        {"plain entry", "[Desktop Entry]\nType=Application\nExec=x\n", Status::enabled},
        {"hidden", "[Desktop Entry]\nType=Application\nExec=x\nHidden=true\n", Status::notRegistered},
        {"switched off in GNOME", "[Desktop Entry]\nExec=x\nX-GNOME-Autostart-enabled=false\n", Status::notRegistered},
        {"hidden in another group only", "[Desktop Entry]\nExec=x\n[Desktop Action a]\nHidden=true\n", Status::enabled},
    };
    for (const Case& c : cases) {
        TempDir dir;
        writeFile(dir / "a.desktop", c.text);
        EXPECT_EQ(XdgAutostartLoginService(dir / "a.desktop", "/x").status(), c.expected) << c.description;
    }
}

// A path with a line break, or a file in the folder's place: reported, and nothing written.
TEST(XdgAutostartLoginService, AnEntryThatCannotBeWrittenIsReportedToTheCaller) {
    TempDir dir;
    writeFile(dir / "blocked/autostart", "a file in the folder's place");
    for (const auto& [folder, program] : {std::pair{"free", "/opt/line\nbreak"}, {"blocked", "/x"}}) {
        XdgAutostartLoginService service(dir / folder / "autostart/velmar-desktop-agent.desktop", program);
        EXPECT_TRUE(service.registerItem().has_value()) << folder;
        EXPECT_EQ(service.status(), Status::notRegistered);
        EXPECT_FALSE(fs::exists(dir / folder / "autostart/velmar-desktop-agent.desktop"));
    }
    EXPECT_EQ(readFile(dir / "blocked/autostart"), "a file in the folder's place");
}

}  // namespace
}  // namespace velmar::linux_backend
