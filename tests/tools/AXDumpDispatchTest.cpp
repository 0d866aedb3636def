#include "tools/AXDump.hpp"

#include <gtest/gtest.h>

#include <sstream>

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
        std::string_view expected;
    } cases[] = {
        {"untrusted: the grant message only", {"ax-check"}, false, AXDump::missingTrustMessage()},
        {"untrusted, unknown verb: still the grant message", {"nope"}, false, AXDump::missingTrustMessage()},
        {"empty list", {}, true, AXDump::usage},
        {"unknown verb", {"ax-chekc"}, true, AXDump::usage},
        {"a verb whose tool is not built yet", {"ax-record", "--surface", "claude"}, true, AXDump::usage},
    };
    for (const auto& c : cases) {
        std::ostringstream err;
        EXPECT_EQ(AXDump::run(c.arguments, c.trusted, err), 2) << c.description;
        EXPECT_EQ(err.str(), c.expected) << c.description;
    }
}

}  // namespace
}  // namespace velmar
