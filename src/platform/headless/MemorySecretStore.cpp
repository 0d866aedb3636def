#include "platform/headless/MemorySecretStore.hpp"

namespace velmar::headless {

SecretStore::ReadResult MemorySecretStore::read(const std::string& service, const std::string& account) {
    auto it = items_.find({service, account});
    if (it == items_.end()) return {itemNotFound, std::nullopt};
    return {success, it->second};
}

int MemorySecretStore::update(const std::string& service, const std::string& account, const std::string& data) {
    auto it = items_.find({service, account});
    if (it == items_.end()) return itemNotFound;
    it->second = data;
    return success;
}

int MemorySecretStore::add(const std::string& service, const std::string& account, const std::string& data) {
    return items_.emplace(std::pair{service, account}, data).second ? success : duplicateItem;
}

int MemorySecretStore::remove(const std::string& service, const std::string& account) {
    return items_.erase({service, account}) ? success : itemNotFound;
}

}  // namespace velmar::headless
