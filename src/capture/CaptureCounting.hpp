#pragma once
// The diagnostic counts both capture controllers take, at the same places:
// what a parsed snapshot showed, and what the router did with it.

#include "capture/ConversationRouter.hpp"
#include "parsing/SegmenterSnapshot.hpp"

#include <string_view>

namespace velmar::CaptureCounting {

// "parsed_ok", "role_unknown" (by the number of such turns), "parity_fallback",
// "model_nil" (turns without a model where one is expected).
void countParsed(std::string_view surface, const SegmenterSnapshot& snapshot);
// "stabilizer_reset", "stabilizer_skip".
void countRouted(std::string_view surface, const ConversationRouter::Result& result);

}  // namespace velmar::CaptureCounting
