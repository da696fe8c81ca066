#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "engine/flight_log.h"
#include "engine/sources.h"
#include "engine/timer.h"

namespace skyfault::test_support {

// A clock that only moves when told to, with timers that follow it, for
// tests of everything that runs on timers. Time starts at 0 ms; the time of
// day it reports is `startOfDay` seconds plus the time advanced.
//
// Advance(ms) moves time forward and fires every tick that falls due on the
// way, one at a time, in order of due time (ticks due at the same instant
// fire in the order they were scheduled). A tick's handler runs with the
// clock standing at that tick's time; it may enable, disable or re-time any
// timer, and those changes count from that instant. The timers behave as
// described in engine/timer.h. The clock must outlive its timers.
class ManualClock final : public engine::TimerFactory,
                          public engine::TimeOfDaySource,
                          public engine::LogClock {
public:
    explicit ManualClock(double startOfDay = 36000.0) : startOfDay_(startOfDay) {}
    ~ManualClock() override;
    ManualClock(const ManualClock&) = delete;
    ManualClock& operator=(const ManualClock&) = delete;

    std::unique_ptr<engine::Timer> CreateTimer() override;
    double SecondsSinceMidnight() override;
    // The log's clock: the same time of day, and the time advanced.
    double LocalSecondsSinceMidnight() override { return SecondsSinceMidnight(); }
    double SteadySeconds() override { return static_cast<double>(now_) / 1000.0; }

    // Moves time forward by `milliseconds`, firing the ticks due on the way.
    void Advance(std::int64_t milliseconds);
    // Milliseconds since the clock was made.
    std::int64_t Now() const { return now_; }
    // The number of ticks fired so far, by all timers.
    std::int64_t TickCount() const { return ticks_; }

private:
    class ManualTimer;
    friend class ManualTimer;

    void Schedule(ManualTimer& timer);

    double startOfDay_;
    std::int64_t now_ = 0;
    std::int64_t ticks_ = 0;
    std::uint64_t nextSequence_ = 0;
    std::vector<ManualTimer*> timers_;
};

}  // namespace skyfault::test_support
