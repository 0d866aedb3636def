#pragma once
// The turns handed to the core and not yet confirmed stored, kept on disk as
// a write-ahead log ($XDG_STATE_HOME/velmar/pending-turns.jsonl, one turn
// line per line). A turn is appended and synced before the core sees it and
// leaves only when the core confirms its id, so neither side's crash loses
// it; one sent twice is recognised by its id and stored once.
//
// Memory is bounded: at most `windowLimit` entries are held, the rest are read
// from the file in order as the held ones are confirmed. Confirmed entries
// stay in the file as garbage until a compaction (a new file renamed over the
// old) once they outweigh the live ones, or until the file is emptied when
// nothing is left; a crash before that only costs sending them again. Lines
// that cannot be read as turns go to a side file, counted in the log; broken
// UTF-8 is repaired, never a reason to drop a turn.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace velmar {

class LogSink;

class DeliveryJournal {
public:
    static constexpr std::size_t windowLimit = 1000;
    static constexpr std::uint64_t minimumCompactionBytes = 64 * 1024;
    static constexpr std::size_t maxLineBytes = 64 * 1024 * 1024;
    static constexpr const char* fileName = "pending-turns.jsonl";
    static constexpr const char* unreadableFileName = "pending-turns.unreadable.jsonl";

    struct Entry {
        // The bridge's bookkeeping for the running core.
        enum class State { waiting, inFlight, failed };
        std::string id;
        std::string surface;
        std::string line;  // the turn line, with "turn_id" and its line feed
        bool durable = true;  // false while only in memory (the journal could not be written)
        bool synced = true;   // false from `append` until the next `sync`
        State state = State::waiting;
    };

    // Creates the folder (0700) and the file (0600) or narrows them, and
    // reads the first entries. Nothing here throws: a journal that cannot be
    // opened works from memory and says so once.
    DeliveryJournal(std::filesystem::path directory, LogSink& log);
    ~DeliveryJournal();
    DeliveryJournal(const DeliveryJournal&) = delete;
    DeliveryJournal& operator=(const DeliveryJournal&) = delete;

    // Appends a turn line (a compact JSON object ending in "\n" that carries
    // "turn_id"); it may be handed to a core after the next `sync`, which
    // serves every append before it (one sync for a burst). A turn already
    // held is not added again. Returns false when it is held in memory only.
    bool append(std::string_view id, std::string_view surface, std::string line);
    // Makes every append so far durable. A failed sync cuts the file back to
    // what was synced before and holds those turns in memory.
    void sync();
    // The core stored this turn: it leaves the journal. False for an id not
    // held (answered twice, or unknown).
    bool confirm(std::string_view id);

    // The held entries, oldest first; the next ones are read from the file as
    // these are confirmed.
    std::deque<Entry>& entries() { return window_; }
    const std::deque<Entry>& entries() const { return window_; }
    Entry* find(std::string_view id);
    // Every unconfirmed turn, held or still in the file.
    std::size_t pendingCount() const { return window_.size() + fileOnlyCount_; }

    std::filesystem::path path() const { return directory_ / fileName; }
    // Tests only.
    std::uint64_t fileBytes() const { return fileSize_; }

private:
    void open();
    bool writeAt(std::uint64_t offset, std::string_view bytes);
    void refill();
    void takeLine(std::string_view line);
    void setAside(std::string_view line);
    void maybeCompact();
    bool compact();
    void noteWriteFailure(const std::string& what);

    std::filesystem::path directory_;
    LogSink& log_;
    int fd_ = -1;
    std::uint64_t fileSize_ = 0;
    std::uint64_t syncedSize_ = 0;
    std::vector<Entry> unsyncedFileOnly_;  // appended past the held ones, until synced
    std::uint64_t readOffset_ = 0;     // the file before this is held or garbage
    std::uint64_t garbageBytes_ = 0;   // confirmed or unreadable bytes before readOffset_
    std::size_t fileOnlyCount_ = 0;    // lines after readOffset_
    std::size_t memoryOnly_ = 0;       // held entries not in the file
    std::size_t setAsideThisRead_ = 0;
    bool writeFailureLogged_ = false;
    std::deque<Entry> window_;
};

}  // namespace velmar
