#pragma once
// Recovers the full body of a text pasted into a chat composer, which the
// interface shows only as a chip ("12 lines" and a short preview). The body is
// taken from the clipboard only when it demonstrably matches the chip, and is
// cached by chip so that it survives later clipboard changes.
//
// One instance serves every parser of a capture session (they must see the
// same bodies); its cache holds the 8 most recently cached chips.

#include "platform/Clipboard.hpp"

#include <deque>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace velmar {

class PasteboardCapture {
public:
    // `clipboard` (may be null: only the cache answers) must outlive it.
    explicit PasteboardCapture(const Clipboard* clipboard) : clipboard_(clipboard) {}

    // The body for a chip showing `lines` lines and `preview`: from the cache,
    // else from the clipboard when it matches.
    std::optional<std::string> resolveBody(int lines, std::string_view preview);

    // Whether a clipboard text matches a chip: same number of lines, and a
    // preview of at least 40 characters that begins the clipboard text
    // (whitespace-normalised on both sides).
    static bool verify(std::string_view clipboard, std::string_view preview, int lines);

    // Line count, ":", first 160 characters of the normalised preview.
    static std::string chipKey(int lines, std::string_view preview);

private:
    const Clipboard* clipboard_;
    std::map<std::string, std::string, std::less<>> bodies_;
    std::deque<std::string> order_;  // oldest first
};

}  // namespace velmar
