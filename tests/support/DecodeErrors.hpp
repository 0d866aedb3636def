#pragma once
// The message of the decoding error a call throws, for tables of bad inputs.

#include "json/JsonDecoding.hpp"

#include <optional>
#include <string>

namespace velmar::testing {

// Absent when the call throws no jsondecode::DecodeError.
template <typename F>
std::optional<std::string> decodeError(F&& call) {
    try {
        call();
    } catch (const jsondecode::DecodeError& e) {
        return std::string(e.what());
    }
    return std::nullopt;
}

}  // namespace velmar::testing
