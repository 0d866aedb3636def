#pragma once
// Generic passwords kept by the desktop's secret store (the Secret Service),
// one item per service and account. Every call answers with a
// status: 0 on success, `itemNotFound` when there is no such item, another
// negative number for any other failure (backends keep their codes stable so
// log lines stay comparable).

#include <optional>
#include <string>

namespace velmar {

class SecretStore {
public:
    static constexpr int success = 0;
    static constexpr int itemNotFound = -25300;
    static constexpr int duplicateItem = -25299;
    static constexpr int notAvailable = -25291;  // no store to talk to
    static constexpr int failed = -25293;        // the store refused or broke

    struct ReadResult {
        int status = itemNotFound;
        std::optional<std::string> data;  // set only on success
    };

    virtual ~SecretStore() = default;
    virtual ReadResult read(const std::string& service, const std::string& account) = 0;
    // Replaces the data of an existing item; `itemNotFound` when there is none.
    virtual int update(const std::string& service, const std::string& account, const std::string& data) = 0;
    // Adds an item; `duplicateItem` when one exists.
    virtual int add(const std::string& service, const std::string& account, const std::string& data) = 0;
    virtual int remove(const std::string& service, const std::string& account) = 0;
};

}  // namespace velmar
