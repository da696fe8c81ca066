#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "engine/flight_log.h"
#include "engine/sources.h"
#include "engine/timer.h"

namespace skyfault::test_support {

// A clock that only moves when told to, with timers that follow it, for
// tests of everything that runs on timers. Time starts at 0 ms, at 10:00 in
// the day. Advance(ms) fires every tick due on the way, one at a time, in
// order of due time (ticks due at the same instant in the order they were
// scheduled), the clock standing at the tick's time: a handler may enable,
// disable or re-time any timer, counting from that instant. The timers
// behave as engine/timer.h describes. The clock outlives its timers.
class ManualClock final : public engine::TimerFactory,
                          public engine::TimeOfDaySource,
                          public engine::LogClock {
public:
    std::unique_ptr<engine::Timer> CreateTimer() override {
        return std::make_unique<ManualTimer>(*this);
    }
    double SecondsSinceMidnight() override {
        return std::fmod(36000.0 + static_cast<double>(now_) / 1000.0, 86400.0);
    }
    // The log's clock: the same time of day, and the time advanced.
    double LocalSecondsSinceMidnight() override { return SecondsSinceMidnight(); }
    double SteadySeconds() override { return static_cast<double>(now_) / 1000.0; }
    void Advance(std::int64_t milliseconds) {
        const std::int64_t target = now_ + std::max<std::int64_t>(milliseconds, 0);
        for (ManualTimer* next = Next(target); next != nullptr; next = Next(target)) {
            now_ = next->due_;
            ++ticks_;
            next->Restart();  // the next tick is one period after this one
            if (next->onTick_) {
                next->onTick_();
            }
        }
        now_ = target;
    }
    // The number of ticks fired so far, by all timers.
    std::int64_t TickCount() const { return ticks_; }

private:
    struct ManualTimer final : engine::Timer {
        explicit ManualTimer(ManualClock& clock) : clock_(clock) { clock_.timers_.push_back(this); }
        ~ManualTimer() override { std::erase(clock_.timers_, this); }
        void SetEnabled(bool enabled) override {
            if (std::exchange(enabled_, enabled) != enabled && enabled) {
                Restart();  // enabling a running timer keeps its wait
            }
        }
        bool Enabled() const override { return enabled_; }
        void SetInterval(int milliseconds) override {
            interval_ = milliseconds;
            if (enabled_) {
                Restart();
            }
        }
        int Interval() const override { return interval_; }
        void SetCallback(std::function<void()> onTick) override { onTick_ = std::move(onTick); }
        // Due one period from now, and the last scheduled: timers_ stands in
        // the order of scheduling.
        void Restart() {
            due_ = clock_.now_ + interval_;
            std::erase(clock_.timers_, this);
            clock_.timers_.push_back(this);
        }

        ManualClock& clock_;
        bool enabled_ = false;
        int interval_ = 0;
        std::int64_t due_ = 0;
        std::function<void()> onTick_;
    };
    // The timer whose tick is due first by `time`; nullptr when none is.
    ManualTimer* Next(std::int64_t time) const {
        ManualTimer* next = nullptr;
        for (ManualTimer* timer : timers_) {
            if (timer->enabled_ && timer->interval_ > 0 && timer->due_ <= time &&
                (next == nullptr || timer->due_ < next->due_)) {
                next = timer;
            }
        }
        return next;
    }

    std::int64_t now_ = 0;
    std::int64_t ticks_ = 0;
    std::vector<ManualTimer*> timers_;
};

}  // namespace skyfault::test_support
