#include "ui/qt/qt_timer.h"

#include <utility>

namespace skyfault::ui {

QtTimer::QtTimer() {
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setSingleShot(false);
    QObject::connect(&timer_, &QTimer::timeout, &timer_, [this] { Tick(); });
}

QtTimer::~QtTimer() = default;

void QtTimer::SetEnabled(bool enabled) {
    if (enabled == enabled_) {
        return;  // an enabled timer keeps its wait
    }
    enabled_ = enabled;
    if (enabled_ && interval_ > 0) {
        timer_.start(interval_);
    } else {
        timer_.stop();
    }
}

void QtTimer::SetInterval(int milliseconds) {
    interval_ = milliseconds;
    if (enabled_ && interval_ > 0) {
        timer_.start(interval_);  // restarts the wait with the new period
    } else {
        timer_.stop();
        timer_.setInterval(interval_ > 0 ? interval_ : 0);
    }
}

void QtTimer::SetCallback(std::function<void()> onTick) {
    onTick_ = std::move(onTick);
}

void QtTimer::Tick() {
    if (enabled_ && onTick_) {
        // A copy, so that a handler may replace the callback while it runs.
        const auto handler = onTick_;
        handler();
    }
}

std::unique_ptr<engine::Timer> QtTimerFactory::CreateTimer() {
    return std::make_unique<QtTimer>();
}

}  // namespace skyfault::ui
