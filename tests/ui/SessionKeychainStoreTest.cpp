#include "ui/SessionKeychainStore.hpp"

#include "platform/sim/SimLogSink.hpp"
#include "platform/sim/SimSecretStore.hpp"

#include <gtest/gtest.h>

using nlohmann::json;

namespace velmar {
namespace {

struct StoreRig {
    sim::SimSecretStore secrets;
    sim::SimLogSink log;
    SessionKeychainStore store{secrets, log};
    const std::pair<std::string, std::string> key{SessionKeychainStore::service, SessionKeychainStore::account};
};

TEST(SessionKeychainStore, LoadsOnlyAStoredObject) {
    struct Case {
        const char* description;
        std::optional<std::string> stored;
        std::optional<int> readFailure;
        std::optional<json> expected;
        std::vector<std::string> logged;
    } cases[] = {
        {"nothing stored: silent", std::nullopt, std::nullopt, std::nullopt, {}},
        {"an object", R"({"access_token":"t","expires_at":1})", std::nullopt,
         json{{"access_token", "t"}, {"expires_at", 1}}, {}},
        {"an array", R"(["t"])", std::nullopt, std::nullopt, {}},
        {"not JSON", "{access_token", std::nullopt, std::nullopt, {}},
        {"store locked", std::nullopt, -25293, std::nullopt, {"[agent] keychain read failed: -25293"}},
        {"not-found via failure path is still silent", R"({"a":1})", SecretStore::itemNotFound, std::nullopt, {}},
    };
    for (const auto& c : cases) {
        StoreRig rig;
        if (c.stored) rig.secrets.items[rig.key] = *c.stored;
        rig.secrets.failNextRead = c.readFailure;
        EXPECT_EQ(rig.store.loadSession(), c.expected) << c.description;
        EXPECT_EQ(rig.log.lines(), c.logged) << c.description;
    }
}

// Saving twice keeps one item; what would not load back is refused; a failed
// update recreates the item, a failed add is only logged.
TEST(SessionKeychainStore, SavesOneItemAndRecreatesItAfterAFailedUpdate) {
    StoreRig rig;
    const json second = {{"access_token", "second"}, {"user", {{"email", "ana@example.com"}}}};
    rig.store.saveSession({{"access_token", "first"}});
    rig.store.saveSession(second);
    ASSERT_EQ(rig.secrets.items.size(), 1u);
    EXPECT_EQ(rig.store.loadSession(), second);
    rig.store.clearSession();
    rig.store.clearSession();
    EXPECT_EQ(rig.store.loadSession(), std::nullopt);
    EXPECT_TRUE(rig.log.lines().empty()) << "a first save and clearing twice are silent";

    const int writes = rig.secrets.updates + rig.secrets.adds;
    rig.store.saveSession(json::array({1, 2}));
    rig.store.saveSession(json{{"bad", std::string("\xff\xfe")}});  // not UTF-8: cannot be serialised
    EXPECT_EQ(rig.secrets.updates + rig.secrets.adds, writes);

    rig.secrets.items[rig.key] = R"({"access_token":"old"})";
    rig.secrets.failNextUpdate = -25293;
    rig.store.saveSession({{"access_token", "new"}});
    EXPECT_EQ(rig.secrets.items.at(rig.key), R"({"access_token":"new"})");
    rig.secrets.failNextAdd = SecretStore::notAvailable;
    rig.secrets.items.clear();
    rig.store.saveSession({{"access_token", "lost"}});
    EXPECT_TRUE(rig.secrets.items.empty());
    EXPECT_EQ(rig.log.lines().size(), 2u) << "the failed update and the failed add";
}

}  // namespace
}  // namespace velmar
