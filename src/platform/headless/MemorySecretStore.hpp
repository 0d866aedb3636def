#pragma once
// Secrets kept in memory for this run only, where no Secret Service can be
// reached (no session bus): a sign-in lasts until the agent ends.

#include "platform/SecretStore.hpp"

#include <map>
#include <utility>

namespace velmar::headless {

class MemorySecretStore final : public SecretStore {
public:
    ReadResult read(const std::string& service, const std::string& account) override;
    int update(const std::string& service, const std::string& account, const std::string& data) override;
    int add(const std::string& service, const std::string& account, const std::string& data) override;
    int remove(const std::string& service, const std::string& account) override;

private:
    std::map<std::pair<std::string, std::string>, std::string> items_;
};

}  // namespace velmar::headless
