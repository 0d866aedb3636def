#pragma once
// A clock that only moves when told to.

#include "platform/Clock.hpp"

namespace velmar::sim {

class SimClock final : public Clock {
public:
    explicit SimClock(TimePoint start = TimePoint{}) : now_(start) {}

    TimePoint now() const override { return now_; }

    void set(TimePoint t) { now_ = t; }
    void advance(TimePoint::duration d);

private:
    TimePoint now_;
};

}  // namespace velmar::sim
