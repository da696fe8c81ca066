#pragma once

#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>

#include "engine/timer.h"

namespace skyfault::ui {

// An engine timer on a QTimer of the user-interface thread. The QTimer runs
// only while the timer is enabled with a positive period; enabling it again
// leaves the wait under way alone, a new period restarts it.
class QtTimer final : public engine::Timer {
public:
    QtTimer();
    ~QtTimer() override;
    QtTimer(const QtTimer&) = delete;
    QtTimer& operator=(const QtTimer&) = delete;

    void SetEnabled(bool enabled) override;
    bool Enabled() const override { return enabled_; }
    void SetInterval(int milliseconds) override;
    int Interval() const override { return interval_; }
    void SetCallback(std::function<void()> onTick) override;

private:
    void Tick();

    QTimer timer_;
    bool enabled_ = false;
    int interval_ = 0;
    std::function<void()> onTick_;
};

// Makes QtTimers; they must be created and used on the user-interface thread.
class QtTimerFactory final : public engine::TimerFactory {
public:
    std::unique_ptr<engine::Timer> CreateTimer() override;
};

}  // namespace skyfault::ui
