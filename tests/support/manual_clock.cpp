#include "tests/support/manual_clock.h"

#include <algorithm>

namespace skyfault::test_support {

using engine::Timer;

class ManualClock::ManualTimer final : public Timer {
public:
    explicit ManualTimer(ManualClock& clock) : clock_(&clock) {}
    ~ManualTimer() override {
        if (clock_ != nullptr) {
            std::erase(clock_->timers_, this);
        }
    }

    void SetEnabled(bool enabled) override {
        if (enabled == enabled_) {
            return;  // enabling a running timer keeps its wait
        }
        enabled_ = enabled;
        if (enabled_) {
            Restart();
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

    // The tick is due at or before `time`.
    bool DueBy(std::int64_t time) const { return enabled_ && interval_ > 0 && due_ <= time; }

    void Restart() {
        if (clock_ != nullptr) {
            due_ = clock_->now_ + interval_;
            clock_->Schedule(*this);
        }
    }

    void Fire() {
        Restart();  // the next tick is one period after this one
        if (onTick_) {
            onTick_();
        }
    }

    ManualClock* clock_;
    bool enabled_ = false;
    int interval_ = 0;
    std::int64_t due_ = 0;
    std::uint64_t sequence_ = 0;
    std::function<void()> onTick_;
};

ManualClock::~ManualClock() {
    for (ManualTimer* timer : timers_) {
        timer->clock_ = nullptr;
    }
}

std::unique_ptr<Timer> ManualClock::CreateTimer() {
    auto timer = std::make_unique<ManualTimer>(*this);
    timers_.push_back(timer.get());
    return timer;
}

double ManualClock::SecondsSinceMidnight() {
    const double seconds = startOfDay_ + static_cast<double>(now_) / 1000.0;
    return seconds - 86400.0 * static_cast<double>(static_cast<std::int64_t>(seconds / 86400.0));
}

void ManualClock::Schedule(ManualTimer& timer) {
    timer.sequence_ = nextSequence_++;
}

void ManualClock::Advance(std::int64_t milliseconds) {
    const std::int64_t target = now_ + std::max<std::int64_t>(milliseconds, 0);
    for (;;) {
        ManualTimer* next = nullptr;
        for (ManualTimer* timer : timers_) {
            if (!timer->DueBy(target)) {
                continue;
            }
            if (next == nullptr || timer->due_ < next->due_ ||
                (timer->due_ == next->due_ && timer->sequence_ < next->sequence_)) {
                next = timer;
            }
        }
        if (next == nullptr) {
            break;
        }
        now_ = next->due_;
        ++ticks_;
        next->Fire();
    }
    now_ = target;
}

}  // namespace skyfault::test_support
