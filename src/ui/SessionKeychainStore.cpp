#include "ui/SessionKeychainStore.hpp"

#include "platform/LogSink.hpp"
#include "platform/SecretStore.hpp"

#include <string>

namespace velmar {

std::optional<nlohmann::json> SessionKeychainStore::loadSession() {
    auto result = store_.read(service, account);
    if (result.status == SecretStore::itemNotFound) return std::nullopt;
    if (result.status != SecretStore::success) {
        log_.writeLine("[agent] keychain read failed: " + std::to_string(result.status));
        return std::nullopt;
    }
    if (!result.data) return std::nullopt;
    auto parsed = nlohmann::json::parse(*result.data, nullptr, /*allow_exceptions=*/false);
    if (!parsed.is_object()) return std::nullopt;  // also a parse failure ("discarded")
    return parsed;
}

void SessionKeychainStore::saveSession(const nlohmann::json& session) {
    // Only an object loads back; anything else would be lost on the next read.
    if (!session.is_object()) return;
    std::string data;
    try {
        // Invalid UTF-8 in a string cannot be written as JSON: store nothing
        // rather than a value that would not load back.
        data = session.dump();
    } catch (const nlohmann::json::exception&) {
        return;
    }
    int status = store_.update(service, account, data);
    if (status == SecretStore::success) return;
    if (status != SecretStore::itemNotFound) {
        log_.writeLine("[agent] keychain update failed: " + std::to_string(status) + " — recreating item");
        store_.remove(service, account);
    }
    status = store_.add(service, account, data);
    if (status != SecretStore::success) log_.writeLine("[agent] keychain add failed: " + std::to_string(status));
}

void SessionKeychainStore::clearSession() { store_.remove(service, account); }

}  // namespace velmar
