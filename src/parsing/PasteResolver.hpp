#pragma once
// How a parser finds the full body of a pasted text from its chip: the
// interface shows only a line count and a short preview. Parsers take one
// injected; capture hands in the one that reads the clipboard.

#include <functional>
#include <optional>
#include <string>

namespace velmar {

using PasteResolver = std::function<std::optional<std::string>(int lines, const std::string& preview)>;

}  // namespace velmar
