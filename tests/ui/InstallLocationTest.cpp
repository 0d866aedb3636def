
#include "ui/InstallLocation.hpp"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

namespace velmar {
namespace {

using namespace InstallLocation;
namespace fs = std::filesystem;

TEST(InstallLocation, PlacementFromPathAndVolume) {
    const VolumeInfo root{false, false, fs::path("/")};
    const VolumeInfo image{true, false, fs::path("/Volumes/Fernhollow")};
    struct Case {
        const char* description;
        Bundle bundle;
        Placement expected;
    };
    const Case cases[] = {
        {"bare executable", {std::nullopt, "/usr/bin/velmar-desktop-agent", root}, Placement::notBundled},
        {"system Applications", {"id", "/Applications/Fernhollow.app", root}, Placement::applications},
        {"another user's Applications", {"id", "/Users/bo/Applications/Fernhollow.app", root}, Placement::elsewhere},
        {"disk image", {"id", "/Volumes/Fernhollow/Fernhollow.app", image}, Placement::mountedVolume},
        {"removable writable stick", {"id", "/media/usb/Fernhollow.app", {false, true, fs::path("/media/usb")}},
         Placement::mountedVolume},
        {"read-only but on the root volume", {"id", "/opt/Fernhollow.app", {true, false, fs::path("/")}},
         Placement::elsewhere},
        {"translocated beats a mounted volume",
         {"id", "/private/var/folders/x/AppTranslocation/ABC/d/Fernhollow.app", image}, Placement::translocated},
        {"unknown volume but neither read-only nor removable", {"id", "/Users/ana/Downloads/Fernhollow.app", {}},
         Placement::elsewhere},
    };
    for (const auto& c : cases) EXPECT_EQ(current(c.bundle, "/Users/ana"), c.expected) << c.description;

    Bundle fromImage{"id", "/Volumes/Fernhollow/Fernhollow.app", image};
    EXPECT_EQ(applicationsDestination(fromImage), fs::path("/Applications/Fernhollow.app"));
    EXPECT_EQ(ejectableSourceVolume(fromImage), fs::path("/Volumes/Fernhollow"));
    Bundle translocated{"id", "/private/var/AppTranslocation/A/d/Fernhollow.app", root};
    EXPECT_EQ(ejectableSourceVolume(translocated), std::nullopt) << "no detach for a translocated copy";
    EXPECT_EQ(applicationsDestination({std::nullopt, "/x/Fernhollow.app", root}), std::nullopt);
    EXPECT_TRUE(isCheckDisabled("1"));
    EXPECT_FALSE(isCheckDisabled("true"));
    EXPECT_FALSE(isCheckDisabled(std::nullopt));
}

TEST(InstallLocation, VersionComparison) {
    struct Case {
        std::optional<std::string> a, b;
        bool newer;
    };
    const Case cases[] = {
        {"1.10", "1.9", true}, {"1.9", "1.10", false}, {"1.2", "1.2.0", false}, {"1.2.1", "1.2", true},
        {" 2.0\t", "1.9", true}, {"1.2b", "1.0", false}, {"1..2", "1.0", false}, {"", "1.0", false},
        {"1.0", std::nullopt, false}, {"-1", "0", false}, {"1.", "0", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(isNewer(c.a, c.b), c.newer) << c.a.value_or("<none>") << " vs " << c.b.value_or("<none>");
    EXPECT_EQ(versionSegments("10.04.1"), (std::vector<long long>{10, 4, 1}));
    EXPECT_EQ(versionSegments("99999999999999999999"), std::nullopt) << "overflow does not parse";
}

TEST(InstallLocation, OfferDependsOnPlacementInstalledCopyAndVersions) {
    struct Case {
        const char* description;
        PromptInputs inputs;
        Offer expected;
    };
    const Case cases[] = {
        {"Downloads is never prompted", {Placement::elsewhere, true, false, "2.0", "1.0"}, Offer::none},
        {"disk image, nothing installed", {Placement::mountedVolume, false, false, "1.0", std::nullopt},
         Offer::relocate},
        {"disk image, same version installed", {Placement::mountedVolume, true, false, "1.2", "1.2.0"},
         Offer::handOff},
        {"disk image, newer than installed", {Placement::mountedVolume, true, false, "1.10", "1.9"}, Offer::relocate},
        {"unparsable version never counts as newer", {Placement::translocated, true, false, "1.2b", "1.0"},
         Offer::handOff},
        {"another instance runs from the installed copy", {Placement::mountedVolume, true, true, "9.0", "1.0"},
         Offer::handOff},
    };
    for (const auto& c : cases) EXPECT_EQ(offer(c.inputs), c.expected) << c.description;
}

// Runs the relaunch script in a real shell with stand-ins for `open` and
// `hdiutil` that log their arguments, one per line.
class RelaunchScript : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("velmar-relaunch-" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir / "bin");
        writeTool("open", "for a in \"$@\"; do printf '%s\\n' \"$a\"; done >> \"$LOG\"\nprintf -- '--\\n' >> \"$LOG\"\n");
    }
    void TearDown() override { fs::remove_all(dir); }

    void writeTool(const std::string& name, const std::string& body) {
        auto path = dir / "bin" / name;
        std::ofstream(path) << "#!/bin/sh\n" << body;
        fs::permissions(path, fs::perms::owner_all);
    }

    // Runs `script` with the stand-ins first on PATH; returns the log.
    std::string run(const std::string& script) {
        auto log = dir / "log";
        pid_t child = ::fork();
        if (child == 0) {
            std::string path = (dir / "bin").string() + ":/usr/bin:/bin";
            ::setenv("PATH", path.c_str(), 1);
            ::setenv("LOG", log.c_str(), 1);
            ::execl("/bin/sh", "sh", "-c", script.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status));
        std::ifstream in(log);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }

    fs::path dir;
};

TEST_F(RelaunchScript, QuotesAwkwardPathsIntoSingleArguments) {
    const std::string paths[] = {
        "/Applications/Fernhollow.app",
        "/Applications/Ana's Fernhollow.app",
        "/Applications/with space/and $HOME `id` \"quotes\".app",
        "/Applications/new\nline/'';\\.app",
    };
    for (const auto& p : paths) {
        fs::remove(dir / "log");
        // A pid that cannot exist, so the wait loop ends at once.
        std::string log = run(relaunchScript(999999999, p, std::nullopt));
        EXPECT_EQ(log, "-a\n" + p + "\n--\n") << p;
    }
    EXPECT_EQ(shellQuote("it's"), "'it'\\''s'");
}

}  // namespace
}  // namespace velmar
