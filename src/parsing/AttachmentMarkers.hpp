#pragma once
// Marker lines that stand in a turn's text for an attached image.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmar::AttachmentMarkers {

std::string marker(const std::optional<std::string>& filename);
bool isPastedGeneratedName(std::string_view name);
std::string appending(const std::string& text, const std::vector<std::string>& markers);
std::string stripping(std::string_view text);

}  // namespace velmar::AttachmentMarkers
