#include "platform/linux/system/Files.hpp"

#include <cerrno>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmar::linux_backend {
namespace {

std::string describe(int error) { return std::error_code(error, std::generic_category()).message(); }

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    // Closes now, reporting the error close() gives (delayed write errors).
    int close() {
        int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0 ? 0 : errno;
    }

private:
    int fd_;
};

int writeAll(int fd, std::string_view data) {
    while (!data.empty()) {
        ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return 0;
}

}  // namespace

FileRead readWholeFile(const std::filesystem::path& file, std::size_t maxBytes) {
    FileRead result;
    Descriptor fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (fd.get() < 0) {
        if (errno == ENOENT) return result;
        result.outcome = FileRead::Outcome::failed;
        result.problem = describe(errno);
        return result;
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) {
        result.outcome = FileRead::Outcome::failed;
        result.problem = describe(errno);
        return result;
    }
    if (!S_ISREG(info.st_mode)) {
        result.outcome = FileRead::Outcome::failed;
        result.problem = S_ISDIR(info.st_mode) ? describe(EISDIR) : "not a regular file";
        return result;
    }
    if (static_cast<std::size_t>(info.st_size) > maxBytes) {
        result.outcome = FileRead::Outcome::failed;
        result.problem = "file too large";
        return result;
    }
    std::string contents;
    char buffer[8192];
    for (;;) {
        ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            result.outcome = FileRead::Outcome::failed;
            result.problem = describe(errno);
            return result;
        }
        if (n == 0) break;
        contents.append(buffer, static_cast<std::size_t>(n));
        if (contents.size() > maxBytes) {
            result.outcome = FileRead::Outcome::failed;
            result.problem = "file too large";
            return result;
        }
    }
    result.outcome = FileRead::Outcome::read;
    result.contents = std::move(contents);
    return result;
}

std::optional<std::string> writeFileAtomically(const std::filesystem::path& file, std::string_view contents,
                                               mode_t mode) {
    const std::filesystem::path folder = file.parent_path();
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) return "cannot create " + folder.string() + ": " + ec.message();

    std::string pattern = (folder / ("." + file.filename().string() + ".XXXXXX")).string();
    Descriptor fd(::mkostemp(pattern.data(), O_CLOEXEC));
    if (fd.get() < 0) return "cannot create a file in " + folder.string() + ": " + describe(errno);
    const std::string temporary = pattern;

    auto fail = [&](std::string why) -> std::optional<std::string> {
        ::unlink(temporary.c_str());
        return why;
    };
    if (int error = writeAll(fd.get(), contents)) return fail("cannot write: " + describe(error));
    if (::fchmod(fd.get(), mode) != 0) return fail("cannot set permissions: " + describe(errno));
    if (::fsync(fd.get()) != 0) return fail("cannot flush: " + describe(errno));
    if (int error = fd.close()) return fail("cannot write: " + describe(error));
    if (::rename(temporary.c_str(), file.c_str()) != 0) return fail("cannot replace " + file.string() + ": " + describe(errno));

    // Make the rename itself durable; a failure here loses nothing already written.
    Descriptor dir(::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0) ::fsync(dir.get());
    return std::nullopt;
}

}  // namespace velmar::linux_backend
