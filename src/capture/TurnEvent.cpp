#include "capture/TurnEvent.hpp"

#include <cstdio>
#include <type_traits>

namespace velmar {

std::string formatObservedAt(TimePoint t) {
    using namespace std::chrono;
    const auto ms = floor<milliseconds>(t);
    const auto day = floor<days>(ms);
    const year_month_day ymd{day};
    const hh_mm_ss hms{ms - day};
    char buf[48];
    std::snprintf(buf, sizeof buf, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", static_cast<int>(ymd.year()),
                  static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()),
                  static_cast<int>(hms.hours().count()), static_cast<int>(hms.minutes().count()),
                  static_cast<int>(hms.seconds().count()), static_cast<int>(hms.subseconds().count()));
    return buf;
}

static_assert(std::is_same_v<TimePoint::duration, std::chrono::nanoseconds>,
              "the observed-at range assumes a nanosecond count");

namespace {

// Reads exactly n ASCII digits at `at`.
bool readDigits(std::string_view text, std::size_t& at, std::size_t n, long long& value) {
    if (text.size() - at < n) return false;
    value = 0;
    for (std::size_t end = at + n; at < end; ++at) {
        const char c = text[at];
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    return true;
}

// Nothing left, or one line terminator: a trailing line break has always
// been let through, as the end of a line of text.
bool endsAt(std::string_view rest) {
    static constexpr std::string_view terminators[] = {"", "\n", "\v", "\f", "\r", "\r\n", "\u0085", "\u2028", "\u2029"};
    for (auto t : terminators) {
        if (rest == t) return true;
    }
    return false;
}

bool readChar(std::string_view text, std::size_t& at, char c) {
    if (at >= text.size() || text[at] != c) return false;
    ++at;
    return true;
}

}  // namespace

std::optional<TimePoint> parseObservedAt(std::string_view text, ObservedAtProblem* problem) {
    using namespace std::chrono;
    auto refuse = [&](ObservedAtProblem why) -> std::optional<TimePoint> {
        if (problem) *problem = why;
        return std::nullopt;
    };
    if (problem) *problem = ObservedAtProblem::none;

    // YYYY-MM-DDTHH:MM:SS[.fraction](Z|±HH:MM), nothing before or after.
    if (text.size() < 20) return refuse(ObservedAtProblem::malformed);
    std::size_t at = 0;
    long long y, mo, d, h, mi, s;
    if (!readDigits(text, at, 4, y) || !readChar(text, at, '-') || !readDigits(text, at, 2, mo) ||
        !readChar(text, at, '-') || !readDigits(text, at, 2, d) || !readChar(text, at, 'T') ||
        !readDigits(text, at, 2, h) || !readChar(text, at, ':') || !readDigits(text, at, 2, mi) ||
        !readChar(text, at, ':') || !readDigits(text, at, 2, s)) {
        return refuse(ObservedAtProblem::malformed);
    }
    long long fraction = 0;  // nanoseconds
    if (readChar(text, at, '.')) {
        std::size_t count = 0;
        for (; at < text.size() && text[at] >= '0' && text[at] <= '9' && count < 9; ++at, ++count) {
            fraction = fraction * 10 + (text[at] - '0');
        }
        if (count == 0) return refuse(ObservedAtProblem::malformed);
        for (; count < 9; ++count) fraction *= 10;
    }
    long long offsetMinutes = 0;
    if (!readChar(text, at, 'Z')) {
        if (at >= text.size() || (text[at] != '+' && text[at] != '-')) return refuse(ObservedAtProblem::malformed);
        const bool west = text[at++] == '-';
        long long oh, om;
        if (!readDigits(text, at, 2, oh) || !readChar(text, at, ':') || !readDigits(text, at, 2, om)) {
            return refuse(ObservedAtProblem::malformed);
        }
        if (oh > 23 || om > 59) return refuse(ObservedAtProblem::malformed);
        offsetMinutes = (west ? -1 : 1) * (oh * 60 + om);
    }
    if (!endsAt(text.substr(at))) return refuse(ObservedAtProblem::malformed);

    const year_month_day ymd{year{static_cast<int>(y)}, month{static_cast<unsigned>(mo)}, day{static_cast<unsigned>(d)}};
    if (!ymd.ok() || h > 23 || mi > 59 || s > 59) return refuse(ObservedAtProblem::malformed);

    // Seconds since the epoch fit easily for any four-digit year; the count
    // of nanoseconds a TimePoint keeps does not, so it is checked, not assumed.
    long long seconds = sys_days{ymd}.time_since_epoch().count() * 86400LL + h * 3600 + mi * 60 + s -
                        offsetMinutes * 60;
    // Before the epoch the fraction is borrowed from the next second, so the
    // earliest representable instant does not overflow on the way.
    if (seconds < 0 && fraction > 0) {
        seconds += 1;
        fraction -= 1'000'000'000;
    }
    long long nanoseconds;
    if (__builtin_mul_overflow(seconds, 1'000'000'000LL, &nanoseconds) ||
        __builtin_add_overflow(nanoseconds, fraction, &nanoseconds)) {
        return refuse(ObservedAtProblem::outOfRange);
    }
    return TimePoint{duration_cast<TimePoint::duration>(std::chrono::nanoseconds{nanoseconds})};
}

}  // namespace velmar
