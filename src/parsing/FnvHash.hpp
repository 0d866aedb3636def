#pragma once

#include <string>
#include <string_view>

namespace velmar {

// 32-bit FNV-1a over the UTF-8 bytes, lower-case hex without leading zeros.
// The signature every comparison of turn texts goes through.
std::string fnvHash(std::string_view text);

}  // namespace velmar
