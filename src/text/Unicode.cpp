#include "text/Unicode.hpp"

#include "text/IcuString.hpp"

#include <unicode/brkiter.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/utext.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>

#include <memory>

namespace velmar::text {
namespace {

using icu_bridge::fromICU;
using icu_bridge::toICU;

// Visits the code points of s with their byte offsets; ill-formed bytes read as U+FFFD.
template <typename F>
void forEachCodePoint(std::string_view s, F&& f) {
    int32_t i = 0;
    const auto n = static_cast<int32_t>(s.size());
    const auto* p = reinterpret_cast<const uint8_t*>(s.data());
    while (i < n) {
        int32_t start = i;
        UChar32 c;
        U8_NEXT(p, i, n, c);
        if (c < 0) c = 0xFFFD;
        if (!f(static_cast<char32_t>(c), start, i)) return;
    }
}

}  // namespace

bool isValidUtf8(std::string_view s) {
    bool ok = true;
    int32_t i = 0;
    const auto n = static_cast<int32_t>(s.size());
    const auto* p = reinterpret_cast<const uint8_t*>(s.data());
    while (i < n) {
        UChar32 c;
        U8_NEXT(p, i, n, c);
        if (c < 0) { ok = false; break; }
    }
    return ok;
}

std::string repairUtf8(std::string_view s) {
    if (isValidUtf8(s)) return std::string(s);
    std::string out;
    out.reserve(s.size() + 8);
    forEachCodePoint(s, [&](char32_t c, int32_t, int32_t) {
        char buf[4];
        int32_t len = 0;
        [[maybe_unused]] UBool err = false;
        U8_APPEND(reinterpret_cast<uint8_t*>(buf), len, 4, static_cast<UChar32>(c), err);
        out.append(buf, static_cast<size_t>(len));
        return true;
    });
    return out;
}

bool isWhitespace(char32_t c) { return u_isUWhiteSpace(static_cast<UChar32>(c)); }

std::string trim(std::string_view s) {
    // Only the ends are looked at: a long text costs no more than a short one.
    const auto n = static_cast<int32_t>(s.size());
    const auto* p = reinterpret_cast<const uint8_t*>(s.data());
    int32_t first = 0;
    while (first < n) {
        int32_t next = first;
        UChar32 c;
        U8_NEXT(p, next, n, c);
        if (c >= 0 && isWhitespace(static_cast<char32_t>(c))) first = next;
        else break;
    }
    if (first == n) return {};
    int32_t last = n;
    while (last > first) {
        int32_t prev = last;
        UChar32 c;
        U8_PREV(p, first, prev, c);
        if (c >= 0 && isWhitespace(static_cast<char32_t>(c))) last = prev;
        else break;
    }
    return repairUtf8(s.substr(static_cast<size_t>(first), static_cast<size_t>(last - first)));
}

bool isBlank(std::string_view s) {
    bool blank = true;
    forEachCodePoint(s, [&](char32_t c, int32_t, int32_t) {
        if (!isWhitespace(c)) { blank = false; return false; }
        return true;
    });
    return blank;
}

std::string normalizeWhitespace(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    bool pendingSpace = false;
    forEachCodePoint(s, [&](char32_t c, int32_t start, int32_t end) {
        if (isWhitespace(c)) {
            pendingSpace = !out.empty();
        } else {
            if (pendingSpace) out.push_back(' ');
            pendingSpace = false;
            if (c == 0xFFFD) out.append("\xEF\xBF\xBD");
            else out.append(s.substr(static_cast<size_t>(start), static_cast<size_t>(end - start)));
        }
        return true;
    });
    return out;
}

namespace {

struct UTextCloser {
    void operator()(UText* t) const { utext_close(t); }
};

// Cloning a ready segmenter is much cheaper than creating one per text; the
// prototype itself is never iterated.
std::unique_ptr<icu::BreakIterator> graphemeIterator() {
    static const std::unique_ptr<icu::BreakIterator> prototype = [] {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::BreakIterator> it(
            icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
        if (U_FAILURE(status)) it.reset();
        return it;
    }();
    return std::unique_ptr<icu::BreakIterator>(prototype ? prototype->clone() : nullptr);
}

void forEachGraphemeOfValid(std::string_view s, const std::function<void(std::string_view)>& f) {
    UErrorCode status = U_ZERO_ERROR;
    auto it = graphemeIterator();
    std::unique_ptr<UText, UTextCloser> ut(utext_openUTF8(nullptr, s.data(), static_cast<int64_t>(s.size()), &status));
    if (it && ut && U_SUCCESS(status)) it->setText(ut.get(), status);
    if (!it || !ut || U_FAILURE(status)) {
        // Without a segmenter, code points are the next best unit; never bytes.
        forEachCodePoint(s, [&](char32_t, int32_t start, int32_t end) {
            f(s.substr(static_cast<size_t>(start), static_cast<size_t>(end - start)));
            return true;
        });
        return;
    }
    // Native indexes of a UTF-8 UText are byte offsets.
    int32_t start = it->first();
    for (int32_t end = it->next(); end != icu::BreakIterator::DONE; start = end, end = it->next()) {
        f(s.substr(static_cast<size_t>(start), static_cast<size_t>(end - start)));
    }
}

}  // namespace

void forEachGrapheme(std::string_view s, const std::function<void(std::string_view)>& f) {
    if (isValidUtf8(s)) {
        forEachGraphemeOfValid(s, f);
    } else {
        const std::string repaired = repairUtf8(s);
        forEachGraphemeOfValid(repaired, f);
    }
}

std::size_t graphemeCount(std::string_view s) {
    std::size_t count = 0;
    forEachGrapheme(s, [&](std::string_view) { ++count; });
    return count;
}

std::string graphemePrefix(std::string_view s, std::size_t n) {
    std::string out;
    std::size_t taken = 0;
    forEachGrapheme(s, [&](std::string_view cluster) {
        if (taken++ < n) out.append(cluster);
    });
    return out;
}

bool isNumber(char32_t c) {
    switch (u_charType(static_cast<UChar32>(c))) {
        case U_DECIMAL_DIGIT_NUMBER:
        case U_LETTER_NUMBER:
        case U_OTHER_NUMBER: return true;
        default: return false;
    }
}

bool isLetter(char32_t c) { return u_hasBinaryProperty(static_cast<UChar32>(c), UCHAR_ALPHABETIC); }

bool isUpper(char32_t c) {
    auto cp = static_cast<UChar32>(c);
    return u_hasBinaryProperty(cp, UCHAR_UPPERCASE) || u_charType(cp) == U_TITLECASE_LETTER;
}

bool isPrivateUse(char32_t c) { return c >= 0xE000 && c <= 0xF8FF; }

std::u32string compatibilityForm(char32_t c) {
    auto cp = static_cast<UChar32>(c);
    if (u_getIntPropertyValue(cp, UCHAR_DECOMPOSITION_TYPE) == U_DT_NONE) return {};
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfkc = icu::Normalizer2::getNFKCInstance(status);
    if (U_FAILURE(status)) return {};
    const icu::UnicodeString folded = nfkc->normalize(icu::UnicodeString(cp), status);
    if (U_FAILURE(status)) return {};
    std::u32string out;
    for (int32_t i = 0; i < folded.length(); i = folded.moveIndex32(i, 1)) out.push_back(static_cast<char32_t>(folded.char32At(i)));
    return out;
}

std::string joinLines(const std::vector<std::string>& parts, std::string_view separator) {
    std::string out;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i) out += separator;
        out += parts[i];
    }
    return out;
}

std::string toLower(std::string_view s) {
    auto u = toICU(s);
    u.toLower(icu::Locale::getRoot());
    return fromICU(u);
}

std::u32string toUtf32(std::string_view s) {
    std::u32string out;
    out.reserve(s.size());
    forEachCodePoint(s, [&](char32_t c, int32_t, int32_t) { out.push_back(c); return true; });
    return out;
}

std::string fromUtf32(std::u32string_view s) {
    std::string out;
    out.reserve(s.size());
    for (char32_t c : s) {
        char buf[4];
        int32_t len = 0;
        [[maybe_unused]] UBool err = false;
        UChar32 cp = (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) ? 0xFFFD : static_cast<UChar32>(c);
        U8_APPEND(reinterpret_cast<uint8_t*>(buf), len, 4, cp, err);
        out.append(buf, static_cast<size_t>(len));
    }
    return out;
}

}  // namespace velmar::text
