// The fixture check derives a browser fixture's conversation key from the
// address recorded on its root, as live capture would.
#include "ax/FixtureDocument.hpp"
#include "tools/FixtureCheck.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace velmar {
namespace {

namespace fs = std::filesystem;
using Opt = std::optional<std::string>;
const Opt none;

class FixtureCheckKey : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("velmar-fixture-key-" + std::to_string(::getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    // A one-turn ChatGPT-shaped tree; the root carries the address when given.
    fs::path write(const std::string& name, const std::string& surface, const Opt& url,
                   std::optional<bool> keyPresent = std::nullopt) {
        nlohmann::json tree = {{"role", "AXWebArea"},
                               {"subrole", "AXLandmarkMain"},
                               {"children", {{{"role", "AXHeading"}, {"title", "You said:"}}}}};
        if (url) tree["url"] = *url;
        nlohmann::json expect = {{"turnCount", 1}};
        if (keyPresent) expect["conversationKeyPresent"] = *keyPresent;
        nlohmann::json doc = {{"meta", {{"surface", surface}, {"scenario", name}}}, {"expect", expect}, {"tree", tree}};
        auto path = dir / (name + ".json");
        std::ofstream(path) << doc.dump(2);
        return path;
    }

    static FixtureDocument read(const fs::path& path) {
        std::ifstream in(path);
        std::stringstream text;
        text << in.rdbuf();
        auto doc = FixtureDocument::decodeText(text.str());
        doc.tree->wireParents();
        return doc;
    }

    fs::path dir;
};

TEST_F(FixtureCheckKey, DerivesKeyFromRootAddress) {
    struct Case {
        const char* description;
        std::string surface;
        Opt url;
        Opt key;
        bool derivable;
    };
    const Case cases[] = {
        {"chatgpt conversation", "chatgpt", "https://chatgpt.com/c/abc-1?model=x#top", "abc-1", true},
        {"chatgpt home has no key", "chatgpt", "https://chatgpt.com/", none, true},
        {"docs panel, account form", "gemini_docs", "https://docs.google.com/document/u/1/d/DOC/edit", "DOC", true},
        {"sheets panel", "gemini_sheets", "https://docs.google.com/spreadsheets/d/SH/edit#gid=0", "SH", true},
        {"docs address under the wrong panel", "gemini_sheets", "https://docs.google.com/document/d/DOC", none,
         true},
        {"unparsable address", "gemini", "https://gemini.google.com/app/a b", none, true},
        {"browser fixture without address", "chatgpt", none, none, false},
        {"browser fixture with empty address", "chatgpt", "", none, false},
        {"self-keying desktop surface", "chatgpt_desktop", none, none, true},
        {"desktop surface ignores an address", "chatgpt_desktop", "https://chatgpt.com/c/abc", none, true},
        {"native surface that does not key itself", "claude_code_desktop", "https://claude.ai/epitaxy/s1", none,
         false},
    };
    int n = 0;
    for (const auto& c : cases) {
        auto doc = read(write("case" + std::to_string(n++), c.surface, c.url));
        bool derivable = !c.derivable;
        EXPECT_EQ(FixtureCheck::deriveKey(doc, derivable), c.key) << c.description;
        EXPECT_EQ(derivable, c.derivable) << c.description;
    }
}

TEST_F(FixtureCheckKey, KeyPresenceIsCheckedForBrowserFixtures) {
    auto keyed = write("keyed", "chatgpt", "https://chatgpt.com/c/abc", true);
    auto keyless = write("keyless", "chatgpt", "https://chatgpt.com/", true);
    auto addressless = write("addressless", "chatgpt", none, true);

    auto result = FixtureCheck::check(keyed, std::nullopt);
    EXPECT_TRUE(result.passed) << result.reason.value_or("");
    ASSERT_TRUE(result.snapshot);
    EXPECT_EQ(result.snapshot->conversationKey, "abc");

    result = FixtureCheck::check(keyless, std::nullopt);
    EXPECT_FALSE(result.passed);
    EXPECT_EQ(result.reason, "conversationKeyPresent: expected true, got false");

    // Without an address nothing can be derived, so the expectation is not checked.
    result = FixtureCheck::check(addressless, std::nullopt);
    EXPECT_TRUE(result.passed) << result.reason.value_or("");

    // A key given on the command line wins over the derived one.
    result = FixtureCheck::check(keyless, std::string("K"));
    EXPECT_TRUE(result.passed) << result.reason.value_or("");
    ASSERT_TRUE(result.snapshot);
    EXPECT_EQ(result.snapshot->conversationKey, "K");
}

}  // namespace
}  // namespace velmar
