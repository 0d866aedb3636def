#include "text/Unicode.hpp"

#include <unicode/brkiter.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>

#include <memory>

namespace velmar::text {
namespace {

icu::UnicodeString toICU(std::string_view s) {
    // fromUTF8 already substitutes U+FFFD for ill-formed input.
    return icu::UnicodeString::fromUTF8(icu::StringPiece(s.data(), static_cast<int32_t>(s.size())));
}

std::string fromICU(const icu::UnicodeString& u) {
    std::string out;
    u.toUTF8String(out);
    return out;
}

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
    int32_t first = -1, last = 0;
    forEachCodePoint(s, [&](char32_t c, int32_t start, int32_t end) {
        if (!isWhitespace(c)) {
            if (first < 0) first = start;
            last = end;
        }
        return true;
    });
    if (first < 0) return {};
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
std::unique_ptr<icu::BreakIterator> graphemeIterator() {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> it(icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    if (U_FAILURE(status)) return nullptr;
    return it;
}
}  // namespace

std::size_t graphemeCount(std::string_view s) {
    if (s.empty()) return 0;
    auto u = toICU(s);
    auto it = graphemeIterator();
    if (!it) return static_cast<size_t>(u.countChar32());
    it->setText(u);
    std::size_t count = 0;
    for (int32_t p = it->next(); p != icu::BreakIterator::DONE; p = it->next()) ++count;
    return count;
}

std::string graphemePrefix(std::string_view s, std::size_t n) {
    auto u = toICU(s);
    auto it = graphemeIterator();
    if (!it) return fromICU(u.tempSubString(0, u.moveIndex32(0, static_cast<int32_t>(n))));
    it->setText(u);
    int32_t end = 0;
    for (std::size_t i = 0; i < n; ++i) {
        int32_t p = it->next();
        if (p == icu::BreakIterator::DONE) break;
        end = p;
    }
    return fromICU(u.tempSubString(0, end));
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
