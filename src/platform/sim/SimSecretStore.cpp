#include "platform/sim/SimSecretStore.hpp"

namespace velmar::sim {

namespace {
std::optional<int> take(std::optional<int>& failure) { return std::exchange(failure, std::nullopt); }
}  // namespace

SecretStore::ReadResult SimSecretStore::read(const std::string& service, const std::string& account) {
    ++reads;
    if (auto status = take(failNextRead)) return {*status, std::nullopt};
    auto it = items.find({service, account});
    if (it == items.end()) return {itemNotFound, std::nullopt};
    return {success, it->second};
}

int SimSecretStore::update(const std::string& service, const std::string& account, const std::string& data) {
    ++updates;
    if (auto status = take(failNextUpdate)) return *status;
    auto it = items.find({service, account});
    if (it == items.end()) return itemNotFound;
    it->second = data;
    return success;
}

int SimSecretStore::add(const std::string& service, const std::string& account, const std::string& data) {
    ++adds;
    if (auto status = take(failNextAdd)) return *status;
    if (!items.emplace(std::pair{service, account}, data).second) return duplicateItem;
    return success;
}

int SimSecretStore::remove(const std::string& service, const std::string& account) {
    ++removes;
    if (auto status = take(failNextRemove)) return *status;
    return items.erase({service, account}) ? success : itemNotFound;
}

}  // namespace velmar::sim
