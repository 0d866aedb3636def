// The fixture check derives a browser fixture's conversation key from the
// address recorded on its root, as live capture would.
#include "ax/FixtureDocument.hpp"
#include "support/Trees.hpp"
#include "tools/FixtureCheck.hpp"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace velmar {
namespace {

using Opt = std::optional<std::string>;
const Opt none;

// A one-turn ChatGPT-shaped document; the root carries the address when given.
FixtureDocument document(const std::string& surface, const Opt& url) {
    using testing::N;
    auto tree = std::move(N("AXWebArea").subrole("AXLandmarkMain").kid(N("AXHeading").title("You said:")));
    if (url) tree.url(*url);
    FixtureDocument doc;
    doc.meta.surface = surface;
    doc.meta.scenario = "key";
    doc.expect.turnCount = 1;
    doc.expect.conversationKeyPresent = true;
    doc.tree = tree.build();
    return doc;
}

TEST(FixtureCheckKey, DerivesKeyFromRootAddress) {
    struct Case { const char* description; std::string surface; Opt url; Opt key; bool derivable; };
    const Case cases[] = {
        {"chatgpt conversation", "chatgpt", "https://chatgpt.com/c/abc-1?model=x#top", "abc-1", true},
        {"docs panel, account form", "gemini_docs", "https://docs.google.com/document/u/1/d/DOC/edit", "DOC", true},
        {"browser fixture without address", "chatgpt", none, none, false},
        {"browser fixture with empty address", "chatgpt", "", none, false},
        {"desktop surface keys itself, ignores an address", "chatgpt_desktop", "https://chatgpt.com/c/a", none, true},
        {"native surface that does not key itself", "claude_code_desktop", "https://claude.ai/epitaxy/s1", none, false},
    };
    for (const auto& c : cases) {
        bool derivable = !c.derivable;
        EXPECT_EQ(FixtureCheck::deriveKey(document(c.surface, c.url), derivable), c.key) << c.description;
        EXPECT_EQ(derivable, c.derivable) << c.description;
    }
}

TEST(FixtureCheckKey, KeyPresenceIsCheckedForBrowserFixtures) {
    auto dir = std::filesystem::temp_directory_path() / ("velmar-fixture-key-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    auto write = [&](const std::string& name, const Opt& url) {
        auto path = dir / (name + ".json");
        std::ofstream(path) << document("chatgpt", url).toJSON().dump(2);
        return path;
    };
    auto keyless = write("keyless", "https://chatgpt.com/");

    auto result = FixtureCheck::check(write("keyed", "https://chatgpt.com/c/abc"), std::nullopt);
    EXPECT_TRUE(result.passed) << result.reason.value_or("");
    EXPECT_EQ(result.snapshot ? result.snapshot->conversationKey : none, "abc");

    result = FixtureCheck::check(keyless, std::nullopt);
    EXPECT_EQ(result.reason, "conversationKeyPresent: expected true, got false");

    result = FixtureCheck::check(write("addressless", none), std::nullopt);
    EXPECT_TRUE(result.passed) << "without an address nothing is derived, so presence is not checked";

    result = FixtureCheck::check(keyless, std::string("K"));
    EXPECT_TRUE(result.passed) << "a key given on the command line wins over the derived one";
    EXPECT_EQ(result.snapshot ? result.snapshot->conversationKey : none, "K");
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace velmar
