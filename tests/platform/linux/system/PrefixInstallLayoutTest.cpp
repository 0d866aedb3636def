#include "platform/linux/system/PrefixInstallLayout.hpp"

#include "platform/sim/SimEnvironment.hpp"
#include "runtime/AgentConfig.hpp"
#include "support/TempFiles.hpp"

#include <gtest/gtest.h>

namespace velmar::linux_backend {
namespace {

namespace fs = std::filesystem;
using velmar::testing::TempDir;
using velmar::testing::writeFile;

TEST(PrefixInstallLayout, FindsResourcesAndHelpersUnderAnInstallPrefix) {
    TempDir prefix;
    writeFile(prefix / "share/velmar/core.mjs", "export {}\n");
    fs::create_directories(prefix / "share/velmar/signin");
    fs::create_directories(prefix / "share/velmar/config.json");  // a folder, not a resource
    writeFile(prefix / "libexec/velmar/node", "#!/bin/sh\n");
    fs::permissions(prefix / "libexec/velmar/node", fs::perms::owner_all);
    writeFile(prefix / "libexec/velmar/plain", "#!/bin/sh\n");  // not executable

    PrefixInstallLayout layout(prefix / "bin/velmar-desktop-agent");
    EXPECT_EQ(layout.resource("core", "mjs"), prefix / "share/velmar/core.mjs");
    EXPECT_EQ(layout.readResource("core", "mjs"), "export {}\n");
    EXPECT_EQ(layout.resource("config", "json"), std::nullopt);
    EXPECT_EQ(layout.readResource("config", "json"), std::nullopt);
    EXPECT_EQ(layout.resourceDirectory("signin"), prefix / "share/velmar/signin");
    EXPECT_EQ(layout.resourceDirectory("core.mjs"), std::nullopt);
    EXPECT_EQ(layout.auxiliaryExecutable("node"), prefix / "libexec/velmar/node");
    EXPECT_EQ(layout.auxiliaryExecutable("plain"), std::nullopt);
    // Names never reach outside their folders.
    EXPECT_EQ(layout.resource("../velmar/core", "mjs"), std::nullopt);
    EXPECT_EQ(layout.resourceDirectory(".."), std::nullopt);
    EXPECT_EQ(layout.auxiliaryExecutable("../velmar/node"), std::nullopt);
}

// A build tree keeps its executables beside share/velmar; this test binary
// runs from one.
TEST(PrefixInstallLayout, TheBuildTreeIsAPrefixToo) {
    TempDir build;
    writeFile(build / "share/velmar/config.json", R"({"VELMAR_DRY_RUN": "1"})");
    PrefixInstallLayout layout(build / "velmar-desktop-agent");
    EXPECT_EQ(layout.installLocation(), build.path());
    EXPECT_TRUE(AgentConfig::load(layout, sim::SimEnvironment{}, true).dryRun);

    PrefixInstallLayout self = PrefixInstallLayout::forThisProcess();
    EXPECT_EQ(fs::canonical(self.installLocation()), fs::canonical(VELMAR_TOOL_DIR));
    EXPECT_TRUE(fs::is_directory(self.resourcesFolder()));
}

}  // namespace
}  // namespace velmar::linux_backend
