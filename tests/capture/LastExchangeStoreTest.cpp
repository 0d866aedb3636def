#include "capture/LastExchangeStore.hpp"

#include "runtime/CoreBridgeSupport.hpp"

#include <gtest/gtest.h>

#include <fstream>

namespace velmar {
namespace {

namespace fs = std::filesystem;
using Exchange = LastExchangeStore::Exchange;

// Kept across a restart, the latest exchange per conversation and only the
// most recently used conversations; a broken file reads as empty.
TEST(LastExchangeStoreTest, RemembersTheLatestExchangeOfTheRecentConversationsAcrossARestart) {
    const auto dir = testing::freshTempDir("last-exchanges") / "velmar";
    {
        LastExchangeStore store(dir);
        for (int i = 0; i <= static_cast<int>(LastExchangeStore::maxConversations); ++i)
            store.remember("claude", "c" + std::to_string(i), {1, ""});
        store.remember("claude", "c1", {3, "s3"});  // used again: kept
        store.remember("claude", "c1", {5, "s5"});
        store.remember("claude", "c1", {4, "s4"});  // an older one does not win
        store.remember("chatgpt", "c1", {1, ""});
        ASSERT_TRUE(store.save());
        EXPECT_EQ(store.size(), LastExchangeStore::maxConversations);
    }
    LastExchangeStore again(dir);
    EXPECT_EQ(again.size(), LastExchangeStore::maxConversations);
    EXPECT_EQ(again.find("claude", "c1"), (Exchange{5, "s5"}));
    EXPECT_EQ(again.find("chatgpt", "c1"), (Exchange{1, ""}));
    EXPECT_FALSE(again.find("claude", "c0")) << "least recently used";
    EXPECT_FALSE(again.find("claude", "c2"));
    EXPECT_TRUE(again.find("claude", "c3"));
    EXPECT_EQ(fs::status(dir).permissions() & fs::perms::all, fs::perms(0700));
    EXPECT_EQ(fs::status(again.path()).permissions() & fs::perms::all, fs::perms(0600));

    std::ofstream(again.path()) << "[{\"surface\":";
    EXPECT_EQ(LastExchangeStore(dir).size(), 0u);
}

}  // namespace
}  // namespace velmar
