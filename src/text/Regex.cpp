#include "text/Regex.hpp"

#include "text/IcuString.hpp"

#include <unicode/regex.h>
#include <unicode/unistr.h>

#include <charconv>
#include <stdexcept>

namespace velmar::text {

struct Regex::Compiled {
    std::unique_ptr<icu::RegexPattern> pattern;
};

namespace {

using icu_bridge::fromICU;
using icu_bridge::toICU;

// UTF-8 length of the UTF-16 prefix [0, index).
std::size_t utf8Offset(const icu::UnicodeString& u, int32_t index) {
    std::string prefix;
    u.tempSubString(0, index).toUTF8String(prefix);
    return prefix.size();
}

uint32_t icuFlags(uint32_t flags) {
    uint32_t f = 0;
    if (flags & Regex::CaseInsensitive) f |= UREGEX_CASE_INSENSITIVE;
    if (flags & Regex::Multiline) f |= UREGEX_MULTILINE;
    if (flags & Regex::DotAll) f |= UREGEX_DOTALL;
    return f;
}

Regex::Match currentMatch(icu::RegexMatcher& m, const icu::UnicodeString& u) {
    UErrorCode status = U_ZERO_ERROR;
    Regex::Match match;
    const int32_t start = m.start(status);
    const int32_t end = m.end(status);
    match.begin = utf8Offset(u, start);
    match.end = match.begin + fromICU(u.tempSubString(start, end - start)).size();
    const int32_t count = m.groupCount();
    for (int32_t g = 0; g <= count; ++g) {
        status = U_ZERO_ERROR;
        if (m.start(g, status) < 0 || U_FAILURE(status)) {
            match.groups.emplace_back(std::nullopt);
            continue;
        }
        status = U_ZERO_ERROR;
        match.groups.emplace_back(fromICU(m.group(g, status)));
    }
    return match;
}

}  // namespace

Regex::Regex(std::string_view pattern, uint32_t flags) : pattern_(pattern) {
    UErrorCode status = U_ZERO_ERROR;
    UParseError parseError{};
    compiled_ = std::make_unique<Compiled>();
    compiled_->pattern.reset(icu::RegexPattern::compile(toICU(pattern), icuFlags(flags), parseError, status));
    if (U_FAILURE(status) || !compiled_->pattern) {
        throw std::invalid_argument("invalid regular expression: " + pattern_ + " (" + u_errorName(status) + ")");
    }
}

Regex::~Regex() = default;
Regex::Regex(Regex&&) noexcept = default;
Regex& Regex::operator=(Regex&&) noexcept = default;

bool Regex::search(std::string_view text) const {
    UErrorCode status = U_ZERO_ERROR;
    auto u = toICU(text);
    std::unique_ptr<icu::RegexMatcher> m(compiled_->pattern->matcher(u, status));
    if (U_FAILURE(status)) return false;
    return m->find(status) && U_SUCCESS(status);
}

bool Regex::matchesWhole(std::string_view text) const {
    UErrorCode status = U_ZERO_ERROR;
    auto u = toICU(text);
    std::unique_ptr<icu::RegexMatcher> m(compiled_->pattern->matcher(u, status));
    if (U_FAILURE(status)) return false;
    return m->matches(status) && U_SUCCESS(status);
}

std::optional<int> Regex::Match::groupNumber(std::size_t i) const {
    if (i >= groups.size() || !groups[i] || groups[i]->empty()) return std::nullopt;
    const auto& digits = *groups[i];
    int value = 0;
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (ec != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
    return value;
}

std::optional<Regex::Match> Regex::firstMatch(std::string_view text) const {
    UErrorCode status = U_ZERO_ERROR;
    auto u = toICU(text);
    std::unique_ptr<icu::RegexMatcher> m(compiled_->pattern->matcher(u, status));
    if (U_FAILURE(status) || !m->find(status) || U_FAILURE(status)) return std::nullopt;
    return currentMatch(*m, u);
}

std::vector<Regex::Match> Regex::allMatches(std::string_view text) const {
    std::vector<Match> out;
    UErrorCode status = U_ZERO_ERROR;
    auto u = toICU(text);
    std::unique_ptr<icu::RegexMatcher> m(compiled_->pattern->matcher(u, status));
    if (U_FAILURE(status)) return out;
    while (m->find(status) && U_SUCCESS(status)) out.push_back(currentMatch(*m, u));
    return out;
}

std::string Regex::replaceAll(std::string_view text, std::string_view replacement) const {
    UErrorCode status = U_ZERO_ERROR;
    auto u = toICU(text);
    std::unique_ptr<icu::RegexMatcher> m(compiled_->pattern->matcher(u, status));
    if (U_FAILURE(status)) return std::string(text);
    auto result = m->replaceAll(toICU(replacement), status);
    if (U_FAILURE(status)) return std::string(text);
    return fromICU(result);
}

}  // namespace velmar::text
