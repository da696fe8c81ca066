#include "ui/win32/window_timer.h"

#include <stdexcept>

namespace skyfault::win32 {

namespace {
constexpr const wchar_t* kTimerWindowClass = L"Skyfault.Timers";
}  // namespace

WindowTimer::WindowTimer(WindowTimerFactory& factory, UINT_PTR id) : factory_(factory), id_(id) {
    factory_.timers_[id_] = this;
}

WindowTimer::~WindowTimer() {
    Stop();
    factory_.timers_.erase(id_);
}

void WindowTimer::SetEnabled(bool enabled) {
    if (enabled == enabled_) {
        return;  // an enabled timer keeps its wait
    }
    enabled_ = enabled;
    if (enabled_) {
        Start();
    } else {
        Stop();
    }
}

void WindowTimer::SetInterval(int milliseconds) {
    interval_ = milliseconds;
    if (enabled_) {
        Start();  // restarts the wait with the new period
    }
}

void WindowTimer::Start() {
    if (interval_ <= 0) {
        Stop();
        return;
    }
    // Setting a timer that runs replaces it: its wait starts again.
    running_ = SetTimer(factory_.hwnd_, id_, static_cast<UINT>(interval_), nullptr) != 0;
}

void WindowTimer::Stop() {
    if (running_) {
        KillTimer(factory_.hwnd_, id_);
        running_ = false;
    }
}

void WindowTimer::Tick() {
    if (enabled_ && running_ && onTick_) {
        // A copy, so that a handler may replace the callback while it runs.
        const auto handler = onTick_;
        handler();
    }
}

WindowTimerFactory::WindowTimerFactory() {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW windowClass{};
    if (GetClassInfoExW(instance, kTimerWindowClass, &windowClass) == FALSE) {
        windowClass = {};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = &WindowTimerFactory::Procedure;
        windowClass.hInstance = instance;
        windowClass.lpszClassName = kTimerWindowClass;
        if (RegisterClassExW(&windowClass) == 0) {
            throw std::runtime_error("cannot register the timers' window class: " +
                                     win32::SystemMessage(GetLastError()));
        }
    }
    hwnd_ = CreateWindowExW(0, kTimerWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                            instance, this);
    if (hwnd_ == nullptr) {
        throw std::runtime_error("cannot make the timers' window: " +
                                 win32::SystemMessage(GetLastError()));
    }
}

WindowTimerFactory::~WindowTimerFactory() {
    if (hwnd_ != nullptr) {
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        DestroyWindow(hwnd_);
    }
}

std::unique_ptr<engine::Timer> WindowTimerFactory::CreateTimer() {
    return std::make_unique<WindowTimer>(*this, nextId_++);
}

LRESULT CALLBACK WindowTimerFactory::Procedure(HWND window, UINT message, WPARAM wParam,
                                               LPARAM lParam) {
    if (message == WM_NCCREATE) {
        SetWindowLongPtrW(
            window, GWLP_USERDATA,
            reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
    } else if (message == WM_TIMER) {
        auto* self =
            reinterpret_cast<WindowTimerFactory*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (self != nullptr) {
            const auto found = self->timers_.find(static_cast<UINT_PTR>(wParam));
            if (found != self->timers_.end()) {
                found->second->Tick();
            }
        }
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace skyfault::win32
