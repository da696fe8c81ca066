// The simulator stand-in's server on Windows: a hidden top-level window of
// the server's class, on a thread of its own, answering the registered
// message "FSASMLIB:IPC" as the simulator's interface module does.

#include "sim/server.h"

#include "link/codec.h"
#include "link/local_ipc.h"

#include "platform/win32.h"

#include <future>
#include <string_view>
#include <thread>
#include <utility>

namespace skyfault::sim {
namespace {

std::string LastErrorText(const char* what) {
    return std::string(what) + " failed (Windows error " + std::to_string(::GetLastError()) + ")";
}

class WindowsServer final : public BlockServer {
public:
    WindowsServer(std::string className, BlockHandler handler)
        : className_(std::move(className)), handler_(std::move(handler)) {}

    ~WindowsServer() override { Stop(); }

    WindowsServer(const WindowsServer&) = delete;
    WindowsServer& operator=(const WindowsServer&) = delete;

    bool Start(std::string& error) override {
        if (thread_.joinable()) {
            error = "the server is already running";
            return false;
        }
        std::promise<std::string> started;
        std::future<std::string> outcome = started.get_future();
        thread_ = std::thread([this, &started] { Run(started); });
        error = outcome.get();
        if (!error.empty()) {
            thread_.join();
            return false;
        }
        return true;
    }

    void Stop() override {
        if (!thread_.joinable()) {
            return;
        }
        // The window closes on its own thread; its destruction ends the loop.
        if (::PostMessageA(window_, WM_CLOSE, 0, 0) == 0) {
            ::PostThreadMessageA(threadId_, WM_QUIT, 0, 0);
        }
        thread_.join();
    }

private:
    void Run(std::promise<std::string>& started) {
        threadId_ = ::GetCurrentThreadId();
        HINSTANCE instance = ::GetModuleHandleA(nullptr);

        message_ = ::RegisterWindowMessageA(link::kMessageName.data());
        if (message_ == 0) {
            started.set_value(LastErrorText("RegisterWindowMessageA"));
            return;
        }

        WNDCLASSEXA windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = &WindowsServer::WindowProc;
        windowClass.hInstance = instance;
        windowClass.lpszClassName = className_.c_str();
        if (::RegisterClassExA(&windowClass) == 0) {
            started.set_value(LastErrorText("RegisterClassExA"));
            return;
        }

        // A top-level window (not message-only), so that clients find it,
        // and never shown.
        window_ = ::CreateWindowExA(0, className_.c_str(), className_.c_str(), WS_OVERLAPPED, 0, 0,
                                    0, 0, nullptr, nullptr, instance, this);
        if (window_ == nullptr) {
            std::string text = LastErrorText("CreateWindowExA");
            ::UnregisterClassA(className_.c_str(), instance);
            started.set_value(std::move(text));
            return;
        }
        started.set_value(std::string());

        MSG message;
        while (::GetMessageA(&message, nullptr, 0, 0) > 0) {
            ::TranslateMessage(&message);
            ::DispatchMessageA(&message);
        }
        if (::IsWindow(window_)) {
            ::DestroyWindow(window_);
        }
        ::UnregisterClassA(className_.c_str(), instance);
    }

    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_NCCREATE) {
            const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
            ::SetWindowLongPtrA(window, GWLP_USERDATA,
                                reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        }
        auto* self = reinterpret_cast<WindowsServer*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
        if (self != nullptr && message != 0 && message == self->message_) {
            return static_cast<LRESULT>(self->Serve(wParam));
        }
        if (message == WM_DESTROY) {
            ::PostQuitMessage(0);
            return 0;
        }
        return ::DefWindowProcA(window, message, wParam, lParam);
    }

    // One request: the atom in wParam names the client's block. Anything
    // amiss is answered 0 and nothing else is opened.
    std::uint32_t Serve(WPARAM wParam) {
        const auto atom = static_cast<ATOM>(wParam & 0xFFFF);
        if (atom == 0) {
            return 0;
        }
        char name[64] = {};
        const UINT length = ::GlobalGetAtomNameA(atom, name, sizeof name);
        if (length == 0 || length >= sizeof name) {
            return 0;
        }
        if (!link::local::IsValidBlockName(std::string_view(name, length))) {
            return 0;
        }
        HANDLE mapping = ::OpenFileMappingA(FILE_MAP_WRITE, FALSE, name);
        if (mapping == nullptr) {
            return 0;
        }
        // Mapping exactly the block's size fails for a smaller object, so
        // the handler never looks past the client's bytes.
        void* view = ::MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, link::kBlockSize);
        std::uint32_t answer = 0;
        if (view != nullptr) {
            try {
                answer = handler_(static_cast<std::uint8_t*>(view));
            } catch (...) {
                answer = 0;
            }
            ::UnmapViewOfFile(view);
        }
        ::CloseHandle(mapping);
        return answer;
    }

    std::string className_;
    BlockHandler handler_;
    std::thread thread_;
    DWORD threadId_ = 0;
    HWND window_ = nullptr;
    UINT message_ = 0;
};

}  // namespace

std::unique_ptr<BlockServer> MakePlatformServer(const std::string& className,
                                                BlockHandler handler) {
    return std::make_unique<WindowsServer>(className, std::move(handler));
}

}  // namespace skyfault::sim
