// The Windows transport: the real Win32 calls behind the link's platform
// operations (window messages, a global atom and a paging-file mapping).

#include "link/transport.h"

#include "platform/win32.h"

#include <string>

namespace skyfault::link {
namespace {

class WindowsTransport final : public Transport {
public:
    std::uintptr_t FindServerWindow(std::string_view className) override {
        const std::string name(className);
        return reinterpret_cast<std::uintptr_t>(
            ::FindWindowExA(nullptr, nullptr, name.c_str(), nullptr));
    }

    bool WindowExists(std::uintptr_t window) override {
        // A handle can come back for another window once its own has been
        // destroyed: it counts only while it is a server's window still.
        const auto handle = reinterpret_cast<HWND>(window);
        char name[16] = {};
        if (window == 0 || !::IsWindow(handle) ||
            ::GetClassNameA(handle, name, static_cast<int>(sizeof name)) == 0) {
            return false;
        }
        const std::string_view found(name);
        return found == "UIPCMAIN" || found == "FS98MAIN";
    }

    std::uint32_t RegisterMessage(std::string_view name) override {
        const std::string text(name);
        return ::RegisterWindowMessageA(text.c_str());
    }

    std::uint32_t CurrentProcessId() override { return ::GetCurrentProcessId(); }

    std::uint16_t AddAtom(std::string_view name) override {
        const std::string text(name);
        return ::GlobalAddAtomA(text.c_str());
    }

    void DeleteAtom(std::uint16_t atom) override {
        if (atom != 0) {
            ::GlobalDeleteAtom(atom);
        }
    }

    std::uintptr_t CreateMapping(std::string_view name, std::uint32_t size,
                                 bool& alreadyExisted) override {
        alreadyExisted = false;
        const std::string text(name);
        ::SetLastError(ERROR_SUCCESS);
        HANDLE mapping = ::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                              size, text.c_str());
        if (mapping == nullptr) {
            return 0;
        }
        if (::GetLastError() == ERROR_ALREADY_EXISTS) {
            // Someone else's block under our name: we never use it, and the
            // handle we were given to it is released here.
            alreadyExisted = true;
            ::CloseHandle(mapping);
            return 0;
        }
        return reinterpret_cast<std::uintptr_t>(mapping);
    }

    std::uint8_t* MapView(std::uintptr_t mapping) override {
        if (mapping == 0) {
            return nullptr;
        }
        return static_cast<std::uint8_t*>(
            ::MapViewOfFile(reinterpret_cast<HANDLE>(mapping), FILE_MAP_WRITE, 0, 0, 0));
    }

    void UnmapView(std::uint8_t* view) override {
        if (view != nullptr) {
            ::UnmapViewOfFile(view);
        }
    }

    void CloseMapping(std::uintptr_t mapping) override {
        if (mapping != 0) {
            ::CloseHandle(reinterpret_cast<HANDLE>(mapping));
        }
    }

    bool SendMessageTimeout(std::uintptr_t window, std::uint32_t message, std::int32_t wParam,
                            std::int32_t lParam, std::uint32_t timeoutMs, std::uint32_t& answer,
                            std::uint32_t& lastError) override {
        DWORD_PTR result = 0;
        ::SetLastError(ERROR_SUCCESS);
        // Both parameters are widened with their sign to the pointer width.
        const LRESULT sent =
            ::SendMessageTimeoutA(reinterpret_cast<HWND>(window), message,
                                  static_cast<WPARAM>(static_cast<LONG_PTR>(wParam)),
                                  static_cast<LPARAM>(lParam), SMTO_BLOCK, timeoutMs, &result);
        if (sent == 0) {
            answer = 0;
            const DWORD error = ::GetLastError();
            // Current Windows reports a plain time-out as ERROR_TIMEOUT, older
            // ones left the last error at 0; either way it is a time-out.
            lastError = (error == ERROR_TIMEOUT) ? 0U : static_cast<std::uint32_t>(error);
            return false;
        }
        answer = static_cast<std::uint32_t>(result);
        lastError = 0;
        return true;
    }

    void Sleep(std::uint32_t milliseconds) override { ::Sleep(milliseconds); }
};

}  // namespace

std::unique_ptr<Transport> MakePlatformTransport() {
    return std::make_unique<WindowsTransport>();
}

}  // namespace skyfault::link
