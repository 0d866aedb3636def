#pragma once
// Time stamps of the developer tools' files.

#include "platform/Clock.hpp"

#include <string>

namespace velmar::ToolTime {

// "2026-12-07T00:15:03Z": UTC, whole seconds.
std::string internetTime(TimePoint t);
// "20261207": the local calendar date, for file names.
std::string localDate(TimePoint t);

}  // namespace velmar::ToolTime
