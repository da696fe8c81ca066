#pragma once

#include <functional>
#include <map>
#include <memory>

#include "engine/timer.h"
#include "platform/win32.h"

namespace skyfault::win32 {

class WindowTimerFactory;

// An engine timer on a window timer (SetTimer) of the user-interface thread.
// The window timer runs only while the timer is enabled with a positive
// period; enabling it again leaves the wait under way alone, a new period
// restarts it.
class WindowTimer final : public engine::Timer {
public:
    WindowTimer(WindowTimerFactory& factory, UINT_PTR id);
    ~WindowTimer() override;
    WindowTimer(const WindowTimer&) = delete;
    WindowTimer& operator=(const WindowTimer&) = delete;

    void SetEnabled(bool enabled) override;
    bool Enabled() const override { return enabled_; }
    void SetInterval(int milliseconds) override;
    int Interval() const override { return interval_; }
    void SetCallback(std::function<void()> onTick) override { onTick_ = std::move(onTick); }

    void Tick();

private:
    void Start();
    void Stop();

    WindowTimerFactory& factory_;
    UINT_PTR id_;
    bool enabled_ = false;
    bool running_ = false;
    int interval_ = 0;
    std::function<void()> onTick_;
};

// Makes WindowTimers on a message-only window of its own; they must be made
// and used on the user-interface thread, and the factory outlives them.
class WindowTimerFactory final : public engine::TimerFactory {
public:
    WindowTimerFactory();
    ~WindowTimerFactory() override;
    WindowTimerFactory(const WindowTimerFactory&) = delete;
    WindowTimerFactory& operator=(const WindowTimerFactory&) = delete;

    std::unique_ptr<engine::Timer> CreateTimer() override;

private:
    friend class WindowTimer;
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND hwnd_ = nullptr;
    UINT_PTR nextId_ = 1;
    std::map<UINT_PTR, WindowTimer*> timers_;
};

}  // namespace skyfault::win32
