#pragma once
// Conversions between UTF-8 and ICU strings; for use inside src/text only.

#include <unicode/unistr.h>

#include <string>
#include <string_view>

namespace velmar::text::icu_bridge {

// Ill-formed UTF-8 becomes U+FFFD.
inline icu::UnicodeString toICU(std::string_view s) {
    return icu::UnicodeString::fromUTF8(icu::StringPiece(s.data(), static_cast<int32_t>(s.size())));
}

inline std::string fromICU(const icu::UnicodeString& u) {
    std::string out;
    u.toUTF8String(out);
    return out;
}

}  // namespace velmar::text::icu_bridge
