#pragma once
// Wall-clock time as the agent sees it. Everything that stamps an event or
// measures idleness asks this port, so a simulated clock can drive it.

#include <chrono>

namespace velmar {

// The one time type of the agent.
using TimePoint = std::chrono::system_clock::time_point;

class Clock {
public:
    virtual ~Clock() = default;
    virtual TimePoint now() const = 0;
};

}  // namespace velmar
