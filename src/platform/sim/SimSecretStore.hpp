#pragma once
// An in-memory secret store with the platform store's answers; a test can make
// the next calls fail with a chosen status and read what is stored.

#include "platform/SecretStore.hpp"

#include <map>
#include <optional>
#include <string>
#include <utility>

namespace velmar::sim {

class SimSecretStore final : public SecretStore {
public:
    ReadResult read(const std::string& service, const std::string& account) override;
    int update(const std::string& service, const std::string& account, const std::string& data) override;
    int add(const std::string& service, const std::string& account, const std::string& data) override;
    int remove(const std::string& service, const std::string& account) override;

    // Failure injection: the next call of that kind answers this status.
    std::optional<int> failNextRead, failNextUpdate, failNextAdd, failNextRemove;

    std::map<std::pair<std::string, std::string>, std::string> items;
    int reads = 0, updates = 0, adds = 0, removes = 0;
};

}  // namespace velmar::sim
