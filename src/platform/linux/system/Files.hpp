#pragma once
// Small file helpers for the backends that keep state in files: a whole-file
// read that tells "missing" from "broken", and an atomic replace, so a crash or
// a full disk never leaves a half-written file behind.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include <sys/types.h>

namespace velmar::linux_backend {

struct FileRead {
    enum class Outcome { read, missing, failed };
    Outcome outcome = Outcome::missing;
    std::string contents;  // when read
    std::string problem;   // when failed: why, in the system's words
};

// Reads a regular file of at most `maxBytes`. A directory, a device, an
// unreadable or oversized file is `failed`; a file that is not there (or a path
// through a folder that is not there) is `missing`.
FileRead readWholeFile(const std::filesystem::path& file, std::size_t maxBytes = 16u << 20);

// Replaces `file` with `contents` atomically: a fresh temporary file in the
// same folder (created exclusively), written, flushed to disk, then renamed
// over the target. Missing parent folders are created. On failure nothing is
// left behind and the old file is untouched; returns why, else nothing.
std::optional<std::string> writeFileAtomically(const std::filesystem::path& file, std::string_view contents,
                                               mode_t mode);

}  // namespace velmar::linux_backend
