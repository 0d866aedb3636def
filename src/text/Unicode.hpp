#pragma once
// UTF-8 text helpers backed by ICU. Everything here counts user-perceived
// characters (grapheme clusters), never bytes, and uses Unicode's own
// definitions of whitespace, letters, digits and case.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace velmar::text {

// True when every byte sequence is well-formed UTF-8.
bool isValidUtf8(std::string_view s);

// Replaces every ill-formed sequence with U+FFFD; valid input comes back unchanged.
std::string repairUtf8(std::string_view s);

// True for Unicode White_Space code points (spaces, tabs, line and paragraph breaks).
bool isWhitespace(char32_t c);

// Removes Unicode whitespace and newlines from both ends.
std::string trim(std::string_view s);

// True when the text is empty after trimming.
bool isBlank(std::string_view s);

// Trims, then collapses every inner run of whitespace into one space.
std::string normalizeWhitespace(std::string_view s);

// Number of grapheme clusters.
std::size_t graphemeCount(std::string_view s);

// The first n grapheme clusters (the whole text when it has fewer).
std::string graphemePrefix(std::string_view s, std::size_t n);

// The parts joined with "\n" (or another separator), nothing trimmed or dropped.
std::string joinLines(const std::vector<std::string>& parts, std::string_view separator = "\n");

// Calls f with each grapheme cluster of s in order (ill-formed input is repaired first).
void forEachGrapheme(std::string_view s, const std::function<void(std::string_view)>& f);

// Per-character Unicode tests.
bool isNumber(char32_t c);  // decimal digits, letter numbers and other numbers
bool isLetter(char32_t c);  // Alphabetic: letters plus vowel signs, circled and squared letters
bool isUpper(char32_t c);   // Uppercase or title case
bool isPrivateUse(char32_t c);
// The compatibility (NFKC) form of one character, empty when it has none (™ gives "TM").
std::u32string compatibilityForm(char32_t c);

// Full Unicode lower-casing (root locale).
std::string toLower(std::string_view s);

// Decodes UTF-8 into code points; ill-formed sequences become U+FFFD.
std::u32string toUtf32(std::string_view s);
std::string fromUtf32(std::u32string_view s);

}  // namespace velmar::text
