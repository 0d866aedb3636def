#pragma once
// Turns a user's words into a same-shaped mask before a recorded tree is
// written, while keeping the interface vocabulary the parsers look for
// (button labels, headings, status lines, model names).
//
// The mask keeps the number of user-perceived characters, letter case,
// digits-versus-letters, punctuation, symbols, emoji and icon glyphs, so that
// parsers that look at shapes behave the same on the scrubbed tree.
// Input that is not well-formed UTF-8 is repaired (U+FFFD) first; nothing
// that leaves here is raw application bytes.

#include "text/Regex.hpp"

#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace velmar::FixtureScrubber {

// Texts kept unchanged when their trimmed form is exactly one of these.
const std::set<std::string, std::less<>>& exactAllowlist();
// Texts kept unchanged when their trimmed form contains a match of one of these.
const std::vector<text::Regex>& regexAllowlist();
// A text beginning with one of these keeps it and masks what follows; first match wins.
const std::vector<std::string>& keptPrefixes();
// Address path segments kept as they are.
const std::set<std::string, std::less<>>& keptPathSegments();

// Per character (grapheme cluster), decided by all of its scalars: numbers
// "0", letters "X" or "x" by case, everything else (icon glyphs of the
// Private Use Area, emoji, punctuation) kept, with tag characters inside it
// masked like the ASCII they mirror.
std::string mask(std::string_view text);

// One attribute text: allow-listed texts unchanged, kept prefixes (whole
// characters only) plus a mask of the rest, otherwise the mask of the whole
// text.
std::string scrub(std::string_view text);

// A host kept only when it is one of the chat apps' hosts, reduced to that
// host when it is a subdomain of one; any other plain host name is masked;
// absent for any other host (an address literal, escapes), whose address is
// then masked whole.
std::optional<std::string> scrubHost(std::string_view host);

// A page address reduced to scheme (http or https, any other masked), host
// (scrubHost) and scrubbed path segments; query, fragment, port and user
// information are dropped. A text that is not an absolute address is masked
// like any text.
std::string scrubURL(std::string_view address);

}  // namespace velmar::FixtureScrubber
