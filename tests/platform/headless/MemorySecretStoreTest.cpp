#include "platform/headless/MemorySecretStore.hpp"

#include <gtest/gtest.h>

namespace velmar::headless {
namespace {

// One item's life, each step's status as the platform's stores answer.
TEST(MemorySecretStore, AnswersLikeASecretStore) {
    MemorySecretStore store;
    EXPECT_EQ(store.read("s", "a").status, SecretStore::itemNotFound);
    EXPECT_EQ(store.update("s", "a", "x"), SecretStore::itemNotFound);
    EXPECT_EQ(store.add("s", "a", "one"), SecretStore::success);
    EXPECT_EQ(store.add("s", "a", "two"), SecretStore::duplicateItem);
    EXPECT_EQ(store.add("s", "b", "other account"), SecretStore::success);
    EXPECT_EQ(store.update("s", "a", "three"), SecretStore::success);
    const auto read = store.read("s", "a");
    EXPECT_EQ(read.status, SecretStore::success);
    EXPECT_EQ(read.data, "three");
    EXPECT_EQ(store.remove("s", "a"), SecretStore::success);
    EXPECT_EQ(store.remove("s", "a"), SecretStore::itemNotFound);
    EXPECT_EQ(store.read("s", "b").data, "other account");
}

}  // namespace
}  // namespace velmar::headless
