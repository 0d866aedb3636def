#include "platform/sim/SimClock.hpp"

namespace velmar::sim {

void SimClock::advance(TimePoint::duration d) { now_ += d; }

}  // namespace velmar::sim
