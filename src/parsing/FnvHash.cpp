#include "parsing/FnvHash.hpp"

#include <charconv>
#include <cstdint>

namespace velmar {

std::string fnvHash(std::string_view text) {
    uint32_t hash = 2166136261u;
    for (unsigned char byte : text) {
        hash ^= byte;
        hash *= 16777619u;
    }
    // Lower-case hex without leading zeros; every turn of every snapshot is
    // hashed, so no formatted-output machinery here.
    char buf[8];
    auto end = std::to_chars(buf, buf + sizeof buf, hash, 16).ptr;
    return std::string(buf, end);
}

}  // namespace velmar
