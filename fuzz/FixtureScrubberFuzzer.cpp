// The scrubber: any bytes as an attribute text.
// - The mask keeps the count of characters and leaves no letter or digit but
//   its own "X", "x" and "0" (nor one spelt by a compatibility form or a tag
//   character); a scrubbed text keeps the count, and outside an allow-listed
//   text or a kept prefix, the same holds.
// - Scrubbing twice changes nothing more.
#include "support/FuzzCheck.hpp"
#include "text/Unicode.hpp"
#include "tools/FixtureScrubber.hpp"

#include <cstdint>
#include <string>

using namespace velmar;

namespace {

bool spells(char32_t c) { return text::isLetter(c) || text::isNumber(c); }

bool masked(std::string_view s) {
    for (char32_t c : text::toUtf32(s)) {
        if (c == U'X' || c == U'x' || c == U'0') continue;
        if (c >= 0xE0020 && c <= 0xE007F) {
            const char32_t ascii = c - 0xE0000;
            if (ascii != U'X' && ascii != U'x' && ascii != U'0' && spells(ascii)) return false;
            continue;
        }
        if (spells(c)) return false;
        for (char32_t d : text::compatibilityForm(c)) {
            if (spells(d)) return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view raw(reinterpret_cast<const char*>(data), size);
    const std::string input = text::repairUtf8(raw);
    const std::size_t count = text::graphemeCount(input);

    const std::string m = FixtureScrubber::mask(raw);
    fuzz::check(text::graphemeCount(m) == count, "mask changed the count of characters");
    fuzz::check(masked(m), "mask left a letter or digit");

    const std::string out = FixtureScrubber::scrub(raw);
    fuzz::check(text::isValidUtf8(out), "scrub wrote ill-formed UTF-8");
    fuzz::check(text::graphemeCount(out) == count, "scrub changed the count of characters");
    fuzz::check(FixtureScrubber::scrub(out) == out, "scrubbing again changed the text");
    if (out == input) return 0;  // allow-listed, or nothing to mask

    std::string_view rest = out;
    const std::string trimmed = text::trim(input);
    for (const auto& prefix : FixtureScrubber::keptPrefixes()) {
        if (!trimmed.starts_with(prefix)) continue;
        if (const auto at = input.find(prefix); at != std::string::npos) {
            rest = std::string_view(out).substr(std::min(out.size(), at + prefix.size()));
        }
        break;
    }
    fuzz::check(masked(rest), "scrub left a letter or digit outside a kept prefix");
    return 0;
}
