#pragma once

#include <functional>
#include <memory>

namespace skyfault::engine {

// A periodic timer that calls back on the user-interface thread, in the
// manner of a window timer:
// - it ticks every `Interval()` milliseconds while enabled; the first tick
//   comes one full period after it was enabled;
// - enabling a timer that is already enabled does not restart its wait;
// - changing the period of an enabled timer restarts the wait with the new
//   period (a disabled timer just keeps the new period);
// - a period of 0 or less never ticks.
class Timer {
public:
    virtual ~Timer() = default;

    virtual void SetEnabled(bool enabled) = 0;
    virtual bool Enabled() const = 0;
    virtual void SetInterval(int milliseconds) = 0;
    virtual int Interval() const = 0;
    // The tick handler; called with no arguments on every tick.
    virtual void SetCallback(std::function<void()> onTick) = 0;
};

// Makes timers: real window timers in the program, a manual clock in tests.
class TimerFactory {
public:
    virtual ~TimerFactory() = default;
    // A new timer, disabled, with period 0 and no callback.
    virtual std::unique_ptr<Timer> CreateTimer() = 0;
};

}  // namespace skyfault::engine
