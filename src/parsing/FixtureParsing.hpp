#pragma once
// Runs the surface's parser on a recorded tree, configured as for live capture.

#include "ax/AXNode.hpp"
#include "parsing/SegmenterSnapshot.hpp"

#include <optional>
#include <string>
#include <string_view>

namespace velmar::FixtureParsing {

// Absent for a surface without a parser, or when the parser finds no transcript.
std::optional<SegmenterSnapshot> parse(std::string_view surface, const AXNode& root,
                                       const std::optional<std::string>& conversationKey);

// True when `parse` has a parser for the surface.
bool hasParser(std::string_view surface);

// True when the surface's parser derives the conversation key itself.
bool keysItself(std::string_view surface);

}  // namespace velmar::FixtureParsing
