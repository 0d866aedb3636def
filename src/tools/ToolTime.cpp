#include "tools/ToolTime.hpp"

#include <ctime>

namespace velmar::ToolTime {
namespace {

std::string format(TimePoint t, const char* pattern, bool utc) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(t);
    std::tm tm{};
    if (utc) gmtime_r(&seconds, &tm);
    else localtime_r(&seconds, &tm);
    char buf[32];
    const auto n = std::strftime(buf, sizeof buf, pattern, &tm);
    return std::string(buf, n);
}

}  // namespace

std::string internetTime(TimePoint t) { return format(t, "%Y-%m-%dT%H:%M:%SZ", true); }

std::string localDate(TimePoint t) { return format(t, "%Y%m%d", false); }

}  // namespace velmar::ToolTime
