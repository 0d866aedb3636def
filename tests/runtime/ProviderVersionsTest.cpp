#include "runtime/ProviderVersions.hpp"

#include "platform/sim/SimWorkspace.hpp"
#include "surfaces/BrowserProfile.hpp"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace velmar {
namespace {

const TimePoint t0 = TimePoint{} + 1767225600s;

TEST(ProviderVersions, IsVersionString) {
    struct Case {
        const char* description;
        const char* text;
        bool expected;
    } cases[] = {
        {"dotted", "120.0.6099.224", true},
        {"pre-release and build", "1.2.3-beta+exp.sha.5114f85", true},
        {"non-ASCII letters and digits", "1.\u00e9\u0663", true},
        {"exactly 32 characters", "12345678901234567890123456789012", true},
        {"33 characters", "123456789012345678901234567890123", false},
        {"starts with a letter", "v1.2", false},
        {"starts with a full-width digit", "\uff11.2", false},
        {"inner space", "1.2 beta", false},
        {"Debian epoch", "1:2.3", false},
    };
    for (const Case& c : cases) EXPECT_EQ(ProviderVersions::isVersionString(c.text), c.expected) << c.description;
}

class ProviderVersionsLookup : public ::testing::Test {
protected:
    sim::SimWorkspace workspace;
    ProviderVersions versions{workspace, 6h};
};

// Versions are trimmed of spaces and tabs; anything that is not one is dropped.
TEST_F(ProviderVersionsLookup, RunningFirstInstalledSecondInvalidRejected) {
    workspace.install("google-chrome", "/opt/google/chrome", "119.0");
    workspace.launch({101, "google-chrome", "Chrome", "/home/u/chrome-beta"});
    workspace.launch({102, "google-chrome", "Chrome", "/opt/google/chrome"});
    workspace.setShortVersion("/home/u/chrome-beta", " \t121.0b\t ");
    // A sandboxed browser goes by its sandbox's id.
    workspace.launch({103, "org.chromium.Chromium", "Chromium", "/app/chromium/chromium"});
    workspace.setShortVersion("/app/chromium/chromium", "131.0");
    workspace.install("com.anthropic.claudefordesktop", "/opt/claude", "beta");  // not a version
    workspace.install("com.openai.codex", "/opt/codex", std::nullopt);
    workspace.launch({7, "org.mozilla.firefox", "Firefox", std::nullopt});
    workspace.install("org.mozilla.firefox", "/usr/lib/firefox", "128.0");

    EXPECT_EQ(versions.versionForAppId("google-chrome", t0), "121.0b");
    EXPECT_EQ(versions.versionForAppId("com.anthropic.claudefordesktop", t0), std::nullopt);
    EXPECT_EQ(versions.versionForAppId("com.openai.codex", t0), std::nullopt);
    EXPECT_EQ(versions.versionForAppId("org.mozilla.firefox", t0), "128.0");

    const std::map<std::string, std::string> expected{{"chrome", "121.0b"}, {"chromium", "131.0"}, {"firefox", "128.0"}};
    EXPECT_EQ(versions.current(t0), expected);
}

// Look-ups are slow on a real desktop: every answer, found or not, is remembered per location.
TEST_F(ProviderVersionsLookup, SlowLookupsAreRememberedUntilTheRefreshInterval) {
    workspace.install("google-chrome", "/opt/google/chrome", "119.0");
    workspace.install("com.openai.codex", "/opt/codex", std::nullopt);

    versions.current(t0);
    const std::size_t firstRound = workspace.versionReads();
    EXPECT_EQ(firstRound, 2u);

    workspace.setShortVersion("/opt/google/chrome", "120.0");
    EXPECT_EQ(versions.current(t0 + 5min)["chrome"], "119.0");
    versions.current(t0 + 5h);
    EXPECT_EQ(workspace.versionReads(), firstRound);

    // A running copy at the same location shares the remembered answer.
    workspace.launch({9, "google-chrome", "Chrome", "/opt/google/chrome"});
    EXPECT_EQ(versions.versionForAppId("google-chrome", t0 + 5h), "119.0");
    EXPECT_EQ(workspace.versionReads(), firstRound);

    EXPECT_EQ(versions.current(t0 + 6h)["chrome"], "120.0");
    EXPECT_EQ(workspace.versionReads(), firstRound + 2);
}

}  // namespace
}  // namespace velmar
