#include "tools/AXDump.hpp"

#include <gtest/gtest.h>

#include <sstream>

#include "tools/CaptureCheck.hpp"
#include "tools/ToolDesktop.hpp"

namespace velmar {
namespace {

TEST(AXDumpDispatch, VerbsAreMatchedExactly) {
    struct Case {
        const char* argument;
        bool verb;
    } cases[] = {
        {"ax-check", true}, {"ax-record", true}, {"capture-check", true}, {"AX-CHECK", false},
        {"--help", false},  {"ax-check ", false}, {"", false},            {"/tmp/file", false},
    };
    for (const auto& c : cases) EXPECT_EQ(AXDump::isVerb(c.argument), c.verb) << "'" << c.argument << "'";
}

TEST(AXDumpDispatch, TrustComesFirstThenTheVerb) {
    struct Case {
        const char* description;
        std::vector<std::string> arguments;
        bool trusted;
        std::string expected;
    } cases[] = {
        {"untrusted: the grant message only", {"ax-check"}, false, std::string(AXDump::missingTrustMessage())},
        {"untrusted, unknown verb: still the grant message", {"nope"}, false, std::string(AXDump::missingTrustMessage())},
        {"empty list", {}, true, std::string(AXDump::usage)},
        {"unknown verb", {"ax-chekc"}, true, std::string(AXDump::usage)},
        {"the words after the verb reach the recorder", {"ax-record", "--bogus"}, true, "unknown argument --bogus\n"},
        {"the words after the verb reach the harness", {"capture-check"}, true,
         "capture-check: --manifest is required\nusage: " + std::string(CaptureCheck::usage) + "\n"},
    };
    for (const auto& c : cases) {
        testing::ToolDesktop d;
        d.desktop.accessibility().setTrusted(c.trusted);
        EXPECT_EQ(AXDump::run(c.arguments, d.context), 2) << c.description;
        EXPECT_EQ(d.err.str(), c.expected) << c.description;
        EXPECT_EQ(d.output(), "") << c.description;
    }
}

}  // namespace
}  // namespace velmar
