#include "platform/linux/session/LibsecretStore.hpp"

#include "platform/LogSink.hpp"

#include <libsecret/secret.h>

namespace velmar::linux_backend {

namespace {

const SecretSchema* schema() {
    static const SecretSchema s = {
        "com.velmar.desktop-agent.GenericPassword",
        SECRET_SCHEMA_NONE,
        {
            {"service", SECRET_SCHEMA_ATTRIBUTE_STRING},
            {"account", SECRET_SCHEMA_ATTRIBUTE_STRING},
            {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING},
        },
        0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
    };
    return &s;
}

}  // namespace

int LibsecretStore::failure(GError* error) {
    int status = failed;
    // Secret Service errors come from a running service (locked, prompt
    // dismissed); anything else means there is no service to talk to.
    if (error && error->domain != SECRET_ERROR) {
        status = notAvailable;
        if (!inMemory_) {
            inMemory_ = true;
            log_.writeLine(std::string("[agent] no Secret Service available (") + error->message +
                           ") — keeping the session in memory for this run");
        }
    }
    if (error) g_error_free(error);
    return status;
}

SecretStore::ReadResult LibsecretStore::read(const std::string& service, const std::string& account) {
    if (!inMemory_) {
        GError* error = nullptr;
        gchar* secret = secret_password_lookup_sync(schema(), nullptr, &error, "service", service.c_str(), "account",
                                                    account.c_str(), nullptr);
        if (error) {
            int status = failure(error);
            if (!inMemory_) return {status, std::nullopt};
        } else if (!secret) {
            return {itemNotFound, std::nullopt};
        } else {
            std::string data = secret;
            secret_password_free(secret);
            return {success, std::move(data)};
        }
    }
    auto it = memory_.find({service, account});
    if (it == memory_.end()) return {itemNotFound, std::nullopt};
    return {success, it->second};
}

int LibsecretStore::store(const std::string& service, const std::string& account, const std::string& data,
                          Write again) {
    if (inMemory_) {
        memory_[{service, account}] = data;
        return success;
    }
    GError* error = nullptr;
    // Storing with the same attributes replaces the item's secret.
    secret_password_store_sync(schema(), SECRET_COLLECTION_DEFAULT, "Fernhollow session", data.c_str(), nullptr,
                               &error, "service", service.c_str(), "account", account.c_str(), nullptr);
    if (!error) return success;
    int status = failure(error);
    if (inMemory_) return (this->*again)(service, account, data);
    return status;
}

int LibsecretStore::update(const std::string& service, const std::string& account, const std::string& data) {
    auto existing = read(service, account);
    if (existing.status != success) return existing.status;
    return store(service, account, data, &LibsecretStore::update);
}

int LibsecretStore::add(const std::string& service, const std::string& account, const std::string& data) {
    auto existing = read(service, account);
    if (existing.status == success) return duplicateItem;
    if (existing.status != itemNotFound) return existing.status;
    return store(service, account, data, &LibsecretStore::add);
}

int LibsecretStore::remove(const std::string& service, const std::string& account) {
    if (!inMemory_) {
        GError* error = nullptr;
        gboolean removed = secret_password_clear_sync(schema(), nullptr, &error, "service", service.c_str(), "account",
                                                      account.c_str(), nullptr);
        if (!error) return removed ? success : itemNotFound;
        int status = failure(error);
        if (!inMemory_) return status;
    }
    return memory_.erase({service, account}) ? success : itemNotFound;
}

}  // namespace velmar::linux_backend
