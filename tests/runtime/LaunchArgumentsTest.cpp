#include "runtime/LaunchArguments.hpp"

#include <gtest/gtest.h>

namespace velmar {
namespace {

using Action = LaunchArguments::Action;

TEST(LaunchArguments, DecidesBetweenRunningAnsweringAndRefusing) {
    struct Case {
        const char* description;
        std::vector<std::string> arguments;
        Action action;
        std::vector<std::string> operands;
        const char* messageHas;
    } cases[] = {
        {"no argument runs", {}, Action::run, {}, ""},
        {"a link is kept for the running agent", {"fernhollow://signin?code=1"}, Action::run,
         {"fernhollow://signin?code=1"}, ""},
        {"a path is a word like any other", {"/tmp/x", "fernhollow:a"}, Action::run, {"/tmp/x", "fernhollow:a"}, ""},
        {"--help answers with the usage", {"--help"}, Action::help, {}, "--version"},
        {"-h is --help", {"-h"}, Action::help, {}, "links"},
        {"--version answers with the version", {"--version"}, Action::version, {}, "velmar-desktop-agent "},
        {"an unknown option is refused with the usage", {"--frobnicate"}, Action::usageError, {}, "usage: "},
        {"an unknown option after a link is refused too", {"fernhollow:a", "-x"}, Action::usageError, {}, "usage: "},
        {"after -- a dash is a word", {"--", "-x"}, Action::run, {"-x"}, ""},
        {"the session's start at login", {"--background"}, Action::run, {}, ""},
        {"a verb's spelling in capitals is no verb and no option", {"AX-CHECK"}, Action::run, {"AX-CHECK"}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.description);
        const auto parsed = LaunchArguments::parse(c.arguments);
        EXPECT_EQ(parsed.action, c.action);
        EXPECT_EQ(parsed.operands, c.operands);
        EXPECT_NE(parsed.message.find(c.messageHas), std::string::npos) << parsed.message;
        EXPECT_EQ(parsed.background, c.arguments == std::vector<std::string>{"--background"});
    }
}

}  // namespace
}  // namespace velmar
