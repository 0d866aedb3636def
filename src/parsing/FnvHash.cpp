#include "parsing/FnvHash.hpp"

#include <cstdint>
#include <cstdio>

namespace velmar {

std::string fnvHash(std::string_view text) {
    uint32_t hash = 2166136261u;
    for (unsigned char byte : text) {
        hash ^= byte;
        hash *= 16777619u;
    }
    char buf[9];
    std::snprintf(buf, sizeof buf, "%x", hash);
    return buf;
}

}  // namespace velmar
