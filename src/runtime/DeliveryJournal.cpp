#include "runtime/DeliveryJournal.hpp"

#include "capture/TurnId.hpp"
#include "platform/LogSink.hpp"
#include "text/Unicode.hpp"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace velmar {

namespace fs = std::filesystem;

namespace {

// Narrows a folder or file that others could read (made under a lax umask,
// or by an older version).
void narrow(const fs::path& p, mode_t mode) {
    struct stat st {};
    if (::stat(p.c_str(), &st) == 0 && (st.st_mode & 0777 & ~mode) != 0) ::chmod(p.c_str(), mode);
}

bool writeAll(int fd, std::string_view bytes, std::uint64_t offset) {
    while (!bytes.empty()) {
        const ssize_t n = ::pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
        offset += static_cast<std::uint64_t>(n);
    }
    return true;
}

bool syncDirectory(const fs::path& dir) {
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

}  // namespace

DeliveryJournal::DeliveryJournal(fs::path directory, LogSink& log) : directory_(std::move(directory)), log_(log) {
    open();
}

DeliveryJournal::~DeliveryJournal() {
    if (fd_ >= 0) ::close(fd_);
}

void DeliveryJournal::open() {
    std::error_code ec;
    fs::create_directories(directory_, ec);
    ::chmod(directory_.c_str(), 0700);
    for (const char* name : {fileName, unreadableFileName}) narrow(directory_ / name, 0600);
    fd_ = ::open(path().c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ < 0) {
        noteWriteFailure(std::strerror(errno));
        return;
    }
    struct stat st {};
    ::fstat(fd_, &st);
    fileSize_ = static_cast<std::uint64_t>(st.st_size);
    if (fileSize_ > 0) {
        // A crash during an append leaves a line without its line feed: it is
        // ended here so the next append starts a line of its own, and read
        // like any other (set aside when it is not a whole turn).
        char last = '\n';
        if (::pread(fd_, &last, 1, static_cast<off_t>(fileSize_ - 1)) == 1 && last != '\n' &&
            writeAll(fd_, "\n", fileSize_)) {
            ++fileSize_;
        }
    }
    // Count the lines once, in blocks, so the menu can say how many wait.
    std::vector<char> block(1 << 20);
    for (std::uint64_t at = 0; at < fileSize_;) {
        const ssize_t n = ::pread(fd_, block.data(), block.size(), static_cast<off_t>(at));
        if (n <= 0) break;
        fileOnlyCount_ += static_cast<std::size_t>(std::count(block.begin(), block.begin() + n, '\n'));
        at += static_cast<std::uint64_t>(n);
    }
    syncedSize_ = fileSize_;
    refill();
}

void DeliveryJournal::noteWriteFailure(const std::string& what) {
    if (writeFailureLogged_) return;
    writeFailureLogged_ = true;
    log_.writeLine("[agent] could not write " + path().string() + " (" + what +
                   ") — turns are held in memory until it can be written");
}

bool DeliveryJournal::writeAt(std::uint64_t offset, std::string_view bytes) {
    if (fd_ < 0) return false;
    if (writeAll(fd_, bytes, offset)) return true;
    noteWriteFailure(std::strerror(errno));
    // No torn line may stay behind for the next append to run into.
    if (::ftruncate(fd_, static_cast<off_t>(offset)) != 0) {
        ::close(fd_);
        fd_ = -1;
    }
    return false;
}

DeliveryJournal::Entry* DeliveryJournal::find(std::string_view id) {
    auto it = std::find_if(window_.begin(), window_.end(), [&](const Entry& e) { return e.id == id; });
    return it == window_.end() ? nullptr : &*it;
}

bool DeliveryJournal::append(std::string_view id, std::string_view surface, std::string line) {
    if (find(id)) return true;
    if (memoryOnly_ > 0) compact();  // what waited in memory goes first
    Entry entry{std::string(id), std::string(surface), std::move(line)};
    const std::uint64_t at = fileSize_;
    entry.durable = memoryOnly_ == 0 && writeAt(at, entry.line);
    if (!entry.durable) {
        ++memoryOnly_;
        window_.push_back(std::move(entry));
        return false;
    }
    if (writeFailureLogged_) {
        writeFailureLogged_ = false;
        log_.writeLine("[agent] " + path().string() + " can be written again");
    }
    fileSize_ += entry.line.size();
    entry.synced = false;
    if (readOffset_ == at && window_.size() < windowLimit) {
        readOffset_ = fileSize_;
        window_.push_back(std::move(entry));
    } else {
        ++fileOnlyCount_;  // read in order after what is before it in the file
        unsyncedFileOnly_.push_back(std::move(entry));
    }
    return true;
}

void DeliveryJournal::sync() {
    if (syncedSize_ == fileSize_) return;
    if (fd_ >= 0 && ::fdatasync(fd_) == 0) {
        syncedSize_ = fileSize_;
        for (auto it = window_.rbegin(); it != window_.rend() && !it->synced; ++it) it->synced = true;
        unsyncedFileOnly_.clear();
        if (window_.size() < windowLimit) refill();
        return;
    }
    noteWriteFailure(std::strerror(errno));
    // What the failed sync covered may or may not be on disk: it is cut off
    // and held in memory, to be written again by the next compaction.
    if (fd_ >= 0 && ::ftruncate(fd_, static_cast<off_t>(syncedSize_)) != 0) {
        ::close(fd_);
        fd_ = -1;
    }
    fileSize_ = syncedSize_;
    readOffset_ = std::min(readOffset_, fileSize_);
    for (auto it = window_.rbegin(); it != window_.rend() && !it->synced; ++it) {
        it->synced = true;
        it->durable = false;
        ++memoryOnly_;
    }
    for (auto& e : unsyncedFileOnly_) {
        e.synced = true;
        e.durable = false;
        ++memoryOnly_;
        --fileOnlyCount_;
        window_.push_back(std::move(e));
    }
    unsyncedFileOnly_.clear();
}

bool DeliveryJournal::confirm(std::string_view id) {
    auto it = std::find_if(window_.begin(), window_.end(), [&](const Entry& e) { return e.id == id; });
    if (it == window_.end()) return false;
    if (it->durable) garbageBytes_ += it->line.size();
    else --memoryOnly_;
    window_.erase(it);
    maybeCompact();
    if (window_.size() <= windowLimit / 2) refill();
    return true;
}

void DeliveryJournal::maybeCompact() {
    if (fd_ < 0) return;
    if (window_.empty() && fileOnlyCount_ == 0 && readOffset_ == fileSize_) {
        // Nothing is pending: the cheapest compaction of all, and no sync
        // (after a crash the confirmed lines only go again, recognised).
        if (fileSize_ > 0 && ::ftruncate(fd_, 0) == 0) fileSize_ = syncedSize_ = readOffset_ = garbageBytes_ = 0;
        return;
    }
    if (memoryOnly_ > 0 ||
        (garbageBytes_ >= minimumCompactionBytes && garbageBytes_ >= fileSize_ - garbageBytes_)) {
        compact();
    }
}

bool DeliveryJournal::compact() {
    // The held entries, then the unread rest of the file, into a new file
    // that is synced and renamed over the old one: a crash leaves one or the
    // other, whole.
    const fs::path target = path();
    fs::path temp = target;
    temp += ".tmp";
    const int out = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (out < 0) return false;
    std::uint64_t at = 0;
    bool ok = true;
    for (const auto& e : window_) {
        ok = ok && writeAll(out, e.line, at);
        at += e.line.size();
    }
    const std::uint64_t heldBytes = at;
    std::vector<char> block(1 << 20);
    for (std::uint64_t from = readOffset_; ok && fd_ >= 0 && from < fileSize_;) {
        const ssize_t n = ::pread(fd_, block.data(), std::min<std::uint64_t>(block.size(), fileSize_ - from),
                                  static_cast<off_t>(from));
        if (n <= 0) {
            ok = false;
            break;
        }
        ok = writeAll(out, std::string_view(block.data(), static_cast<std::size_t>(n)), at);
        at += static_cast<std::uint64_t>(n);
        from += static_cast<std::uint64_t>(n);
    }
    ok = ok && ::fsync(out) == 0;
    ::close(out);
    if (!ok || ::rename(temp.c_str(), target.c_str()) != 0) {
        noteWriteFailure(std::strerror(errno));
        ::unlink(temp.c_str());
        return false;
    }
    syncDirectory(directory_);
    if (fd_ >= 0) ::close(fd_);
    fd_ = ::open(target.c_str(), O_RDWR | O_CLOEXEC);
    fileSize_ = syncedSize_ = at;
    readOffset_ = heldBytes;
    unsyncedFileOnly_.clear();
    garbageBytes_ = 0;
    memoryOnly_ = 0;
    for (auto& e : window_) e.durable = e.synced = true;
    if (writeFailureLogged_) {
        writeFailureLogged_ = false;
        log_.writeLine("[agent] " + target.string() + " can be written again");
    }
    return true;
}

void DeliveryJournal::refill() {
    if (fd_ < 0) return;
    std::vector<char> block;
    std::size_t blockSize = 1 << 20;
    // Only what is synced: nothing reaches a core before it is on disk.
    while (window_.size() < windowLimit && readOffset_ < syncedSize_) {
        block.resize(static_cast<std::size_t>(std::min<std::uint64_t>(blockSize, syncedSize_ - readOffset_)));
        const ssize_t n = ::pread(fd_, block.data(), block.size(), static_cast<off_t>(readOffset_));
        if (n <= 0) break;
        std::string_view data(block.data(), static_cast<std::size_t>(n));
        std::size_t start = 0;
        for (std::size_t nl; window_.size() < windowLimit && (nl = data.find('\n', start)) != std::string_view::npos;
             start = nl + 1) {
            takeLine(data.substr(start, nl - start));
            readOffset_ += nl - start + 1;
            if (fileOnlyCount_ > 0) --fileOnlyCount_;
        }
        if (start == 0) {
            // One line longer than the block: read a larger block, up to the
            // bound; past it the line is set aside in pieces.
            if (blockSize < maxLineBytes) {
                blockSize *= 4;
                continue;
            }
            setAside(data);
            garbageBytes_ += data.size();
            readOffset_ += data.size();
        }
    }
    if (setAsideThisRead_ > 0) {
        log_.writeLine("[agent] moved " + std::to_string(setAsideThisRead_) + " unreadable lines of " +
                       path().string() + " to " + unreadableFileName);
        setAsideThisRead_ = 0;
    }
}

void DeliveryJournal::takeLine(std::string_view raw) {
    if (raw.empty()) {
        garbageBytes_ += 1;
        return;
    }
    const std::string repaired = text::repairUtf8(raw);
    auto m = nlohmann::json::parse(repaired, nullptr, /*allow_exceptions=*/false);
    if (!m.is_object() || m.value("type", "") != "turn") {
        setAside(raw);
        garbageBytes_ += raw.size() + 1;
        return;
    }
    Entry e;
    e.surface = m.value("surface", "");
    auto id = m.find("turn_id");
    if (id != m.end() && id->is_string() && !id->get_ref<const std::string&>().empty()) {
        e.id = id->get<std::string>();
        e.line = repaired;
        e.line += '\n';
    } else {
        // Written before turns carried ids.
        e.id = turnIdOf(m);
        m["turn_id"] = e.id;
        e.line = m.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
    }
    if (find(e.id)) {
        garbageBytes_ += raw.size() + 1;  // the same turn twice: once is enough
        return;
    }
    window_.push_back(std::move(e));
}

void DeliveryJournal::setAside(std::string_view line) {
    const fs::path side = directory_ / unreadableFileName;
    const int fd = ::open(side.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd >= 0) {
        struct stat st {};
        ::fstat(fd, &st);
        writeAll(fd, std::string(line) + "\n", static_cast<std::uint64_t>(st.st_size));
        ::fdatasync(fd);
        ::close(fd);
    }
    ++setAsideThisRead_;
}

}  // namespace velmar
