#pragma once
// Generic passwords in the desktop's Secret Service (GNOME Keyring, KWallet)
// through libsecret, keyed by "service" and "account" attributes in the
// default collection. Where no Secret Service answers, items live in memory
// for the rest of this run (one log line says so): never on disk in clear.

#include "platform/SecretStore.hpp"

#include <map>
#include <utility>

typedef struct _GError GError;

namespace velmar {
class LogSink;
}

namespace velmar::linux_backend {

class LibsecretStore final : public SecretStore {
public:
    explicit LibsecretStore(LogSink& log) : log_(log) {}

    ReadResult read(const std::string& service, const std::string& account) override;
    int update(const std::string& service, const std::string& account, const std::string& data) override;
    int add(const std::string& service, const std::string& account, const std::string& data) override;
    int remove(const std::string& service, const std::string& account) override;

    // True once the Secret Service failed to answer and memory took over.
    bool inMemory() const { return inMemory_; }

private:
    // Maps a libsecret failure to a status; switches to memory when the
    // service itself is missing.
    int failure(GError* error);
    // Writes the item, to memory once the service is gone; when it goes
    // missing during this write, `again` is asked anew (now of memory).
    using Write = int (LibsecretStore::*)(const std::string&, const std::string&, const std::string&);
    int store(const std::string& service, const std::string& account, const std::string& data, Write again);

    LogSink& log_;
    bool inMemory_ = false;
    std::map<std::pair<std::string, std::string>, std::string> memory_;
};

}  // namespace velmar::linux_backend
