#include "platform/linux/session/SessionInstance.hpp"

#include "platform/sim/SimEnvironment.hpp"
#include "support/TempFiles.hpp"

#include <gtest/gtest.h>

namespace velmar::linux_backend {
namespace {

TEST(SessionInstance, OnlyArgumentsWithASchemeAreLinks) {
    struct Case {
        const char* description;
        std::vector<std::string> arguments;
        std::vector<std::string> links;
    };
    const Case cases[] = {
        {"no arguments", {}, {}},
        {"the application's link", {"fernhollow://signin?next=%2Fhome"}, {"fernhollow://signin?next=%2Fhome"}},
        {"upper-case scheme stays as written", {"FernHollow:open"}, {"FernHollow:open"}},
        {"a switch, a path and a bare word", {"--help", "/tmp/file.txt", "fernhollow"}, {}},
        {"a web address among other words", {"-v", "https://example.test/a"}, {"https://example.test/a"}},
        {"a scheme must start with a letter", {"1abc://x"}, {}},
    };
    for (const Case& c : cases) EXPECT_EQ(SessionInstance::linkArguments(c.arguments), c.links) << c.description;

    EXPECT_EQ(SessionInstance::objectPath("io.velmar.DesktopAgent"), "/io/velmar/DesktopAgent");
    EXPECT_EQ(SessionInstance::objectPath("org.example.my-app"), "/org/example/my_app");
}

// Without a session bus the lock file alone keeps a second agent out, and
// lets the next one in once the first has gone.
TEST(SessionInstance, WithoutASessionBusTheLockFileRefusesASecondAgent) {
    testing::TempDir runtime;
    sim::SimEnvironment env{{"XDG_RUNTIME_DIR", runtime.path().string()}};
    {
        SessionInstance first(env), second(env);
        EXPECT_EQ(first.claim({}), SessionInstance::Outcome::primary);
        EXPECT_FALSE(first.onSessionBus());
        EXPECT_EQ(second.claim({"fernhollow://x"}), SessionInstance::Outcome::refused);
    }
    SessionInstance third(env);
    EXPECT_EQ(third.claim({}), SessionInstance::Outcome::primary);
}

}  // namespace
}  // namespace velmar::linux_backend
