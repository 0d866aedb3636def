#pragma once
// Per conversation, the last exchange handed to the delivery journal (its
// ordinal and signature), kept across restarts in
// $XDG_STATE_HOME/velmar/last-exchanges.json. A restarted agent sends what
// came after it, and never the history before it. Bounded: the least
// recently used conversations are forgotten past `maxConversations`.

#include <cstddef>
#include <filesystem>
#include <list>
#include <map>
#include <optional>
#include <string>
#include <utility>

namespace velmar {

class LastExchangeStore {
public:
    static constexpr std::size_t maxConversations = 1000;
    static constexpr const char* fileName = "last-exchanges.json";

    struct Exchange {
        int ordinal = 0;
        std::string signature;
        bool operator==(const Exchange&) const = default;
    };

    // Reads the file (an unreadable one counts as empty); the folder is made
    // 0700 and the file 0600.
    explicit LastExchangeStore(std::filesystem::path directory);

    std::optional<Exchange> find(const std::string& surface, const std::string& conversationKey) const;
    // Remembers the exchange (a later ordinal only) as the conversation's
    // last; written at the next `save`.
    void remember(const std::string& surface, const std::string& conversationKey, Exchange exchange);
    // Writes the file whole beside the old one, synced, renamed over it.
    // False when that failed (the old file stays).
    bool save();
    bool dirty() const { return dirty_; }
    std::size_t size() const { return order_.size(); }
    std::filesystem::path path() const { return directory_ / fileName; }

private:
    using Key = std::pair<std::string, std::string>;
    struct Slot {
        Exchange exchange;
        std::list<Key>::iterator position;
    };

    std::filesystem::path directory_;
    std::list<Key> order_;  // most recently used first
    std::map<Key, Slot> slots_;
    bool dirty_ = false;
};

}  // namespace velmar
