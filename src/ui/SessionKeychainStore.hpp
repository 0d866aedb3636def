#pragma once
// The core's session (an opaque JSON object) kept in the platform's secret
// store as one generic password. The agent never looks inside it. Failures are
// logged and swallowed: a session that cannot be read is simply absent, which
// the core treats as signed out.

#include <nlohmann/json.hpp>

#include <optional>

namespace velmar {

class LogSink;
class SecretStore;

class SessionKeychainStore {
public:
    // Constant across releases so a stored session survives updates.
    static constexpr const char* service = "com.velmar.desktop-agent";
    static constexpr const char* account = "supabase-session";

    SessionKeychainStore(SecretStore& store, LogSink& log) : store_(store), log_(log) {}

    // The stored object; absent when there is none or it is not a JSON object.
    std::optional<nlohmann::json> loadSession();
    // Stores `session` (a JSON object) compactly, replacing what was there.
    void saveSession(const nlohmann::json& session);
    // Deleting a missing session is not an error.
    void clearSession();

private:
    SecretStore& store_;
    LogSink& log_;
};

}  // namespace velmar
