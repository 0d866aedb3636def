#include "platform/linux/LinuxPlatform.hpp"

#include "platform/InstallLayout.hpp"
#include "platform/LogSink.hpp"
#include "platform/Settings.hpp"
#include "support/TempFiles.hpp"

#include <gtest/gtest.h>

#include <unistd.h>

namespace velmar::linux_backend {
namespace {

using velmar::testing::ScopedEnv;
using velmar::testing::TempDir;

// The real platform comes up from the environment: settings under
// $XDG_CONFIG_HOME, the build tree as the install prefix.
TEST(LinuxPlatform, BuildsOnTheUsersFoldersAndTheBuildTree) {
    TempDir dir;
    ScopedEnv xdg("XDG_CONFIG_HOME", dir.path().string());
    LinuxPlatform real;
    Platform& platform = real.platform();
    platform.settings.setString("k", "v");
    EXPECT_TRUE(std::filesystem::is_regular_file(dir / "velmar/settings.json"));
    EXPECT_EQ(std::filesystem::canonical(platform.install.installLocation()), std::filesystem::canonical(VELMAR_TOOL_DIR));
}

// Each line leaves in one piece with its line feed.
TEST(StderrLogSink, WritesWholeLines) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    {
        StderrLogSink sink(fds[1]);
        sink.writeLine("[agent] one");
        sink.writeLine("");
        sink.writeLine("[core:info] two");
    }
    ::close(fds[1]);
    std::string out;
    char buffer[256];
    for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;) out.append(buffer, static_cast<std::size_t>(n));
    ::close(fds[0]);
    EXPECT_EQ(out, "[agent] one\n\n[core:info] two\n");
}

}  // namespace
}  // namespace velmar::linux_backend
