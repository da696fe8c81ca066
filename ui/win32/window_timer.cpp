#include "ui/win32/window_timer.h"

namespace skyfault::win32 {

namespace {
constexpr const char* kTimerWindowClass = "Skyfault.Timers";
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
    const HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSEXA windowClass{};
    if (GetClassInfoExA(instance, kTimerWindowClass, &windowClass) == FALSE) {
        windowClass = {};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = &WindowTimerFactory::Procedure;
        windowClass.hInstance = instance;
        windowClass.lpszClassName = kTimerWindowClass;
        RegisterClassExA(&windowClass);
    }
    hwnd_ = CreateWindowExA(0, kTimerWindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                            instance, this);
}

WindowTimerFactory::~WindowTimerFactory() {
    if (hwnd_ != nullptr) {
        SetWindowLongPtrA(hwnd_, GWLP_USERDATA, 0);
        DestroyWindow(hwnd_);
    }
}

std::unique_ptr<engine::Timer> WindowTimerFactory::CreateTimer() {
    return std::make_unique<WindowTimer>(*this, nextId_++);
}

LRESULT CALLBACK WindowTimerFactory::Procedure(HWND window, UINT message, WPARAM wParam,
                                               LPARAM lParam) {
    if (message == WM_NCCREATE) {
        SetWindowLongPtrA(
            window, GWLP_USERDATA,
            reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams));
    } else if (message == WM_TIMER) {
        auto* self =
            reinterpret_cast<WindowTimerFactory*>(GetWindowLongPtrA(window, GWLP_USERDATA));
        if (self != nullptr) {
            const auto found = self->timers_.find(static_cast<UINT_PTR>(wParam));
            if (found != self->timers_.end()) {
                found->second->Tick();
            }
        }
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace skyfault::win32
