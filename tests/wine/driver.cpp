// skyfault-windriver: drives the Windows program from outside, as a user
// would, for the end-to-end tests and the benchmark: finds its windows by
// class, waits for titles, sends menu and button commands (WM_COMMAND with
// the identifiers of ui/win32/resource.h), reads control texts and saves
// pictures of windows. Each argument group is one step, run in order; every
// wait has a limit in seconds.
//
//   wait-title WINDOW TITLE SECONDS   a visible WINDOW titled TITLE
//   wait-shown WINDOW SECONDS         WINDOW visible; prints "shown WINDOW"
//   wait-gone WINDOW SECONDS          no WINDOW any more
//   wait-hidden WINDOW SECONDS        no WINDOW, or not visible
//   command WINDOW COMMAND            posts the command to WINDOW
//   text WINDOW CONTROL               prints "text CONTROL=..." (the control's text)
//   shot WINDOW FILE                  saves WINDOW as it is on screen (24-bit BMP)
//   sleep MILLISECONDS
//   say TEXT                          prints TEXT (a mark that the steps began)
//   desktop                           makes (and ends) a window of its own, so
//                                     that Wine's desktop is up before any
//                                     program of the test makes its windows
//
// WINDOW: main, preferences, systems, about, or class:NAME. COMMAND and
// CONTROL: a name below or a number. Exit status: 0 when every step
// succeeded, 1 when one failed (the reason on standard output), 64 for a
// command line it cannot use.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "link/win32.h"
#include "ui/win32/resource.h"

namespace {

struct Name {
    std::string_view name;
    int value;
};

constexpr Name kCommands[] = {
    {"mnuFileDefault", IDM_FILE_DEFAULT},
    {"mnuSpecificSystems", IDM_FILE_SPECIFIC},
    {"mnuFileExit", IDM_FILE_EXIT},
    {"mnuHelpAbout", IDM_HELP_ABOUT},
    {"btnExit", IDC_BTN_EXIT},
    {"cmdActivate", IDC_CMD_ACTIVATE},
    {"cmdDisable", IDC_CMD_DISABLE},
    {"cmdPrefsCancel", IDC_CMD_PREFS_CANCEL},
    {"cmdCancelSystemSettings", IDC_CMD_CANCEL_SYSTEM_SETTINGS},
    {"cmdOK", IDC_CMD_OK},
    {"txtMessage", IDC_TXT_MESSAGE},
    {"lblRate", IDC_LBL_RATE},
    {"lblInterval", IDC_LBL_INTERVAL},
};

struct WindowClass {
    std::string_view name;
    const char* className;
};

constexpr WindowClass kWindows[] = {
    {"main", SKYFAULT_CLASS_MAIN},
    {"preferences", SKYFAULT_CLASS_PREFERENCES},
    {"systems", SKYFAULT_CLASS_SYSTEM_SETTINGS},
    {"about", SKYFAULT_CLASS_ABOUT},
};

using Clock = std::chrono::steady_clock;

void Say(const std::string& line) {
    std::fputs((line + "\n").c_str(), stdout);
    std::fflush(stdout);
}

bool ClassOf(const std::string& window, std::string& className) {
    if (window.rfind("class:", 0) == 0) {
        className = window.substr(6);
        return !className.empty();
    }
    for (const WindowClass& known : kWindows) {
        if (known.name == window) {
            className = known.className;
            return true;
        }
    }
    return false;
}

bool NumberOf(const std::string& text, int& value) {
    for (const Name& known : kCommands) {
        if (known.name == text) {
            value = known.value;
            return true;
        }
    }
    char* end = nullptr;
    const long number = std::strtol(text.c_str(), &end, 0);
    if (text.empty() || *end != '\0' || number < 0 || number > 0xFFFF) {
        return false;
    }
    value = static_cast<int>(number);
    return true;
}

bool SecondsOf(const std::string& text, Clock::duration& limit) {
    char* end = nullptr;
    const double seconds = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !(seconds >= 0 && seconds <= 3600)) {
        return false;
    }
    limit = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    return true;
}

HWND Find(const std::string& className) {
    return ::FindWindowA(className.c_str(), nullptr);
}

std::string TitleOf(HWND window) {
    char text[512] = {};
    const int length = ::GetWindowTextA(window, text, sizeof text);
    return std::string(text, length > 0 ? static_cast<std::size_t>(length) : 0);
}

// A control's text in another process, with a deadline on the answer.
bool ControlText(HWND control, std::string& text) {
    char buffer[4096] = {};
    DWORD_PTR copied = 0;
    if (::SendMessageTimeoutA(control, WM_GETTEXT, sizeof buffer, reinterpret_cast<LPARAM>(buffer),
                              SMTO_ABORTIFHUNG, 2000, &copied) == 0) {
        return false;
    }
    text.assign(buffer, copied < sizeof buffer ? copied : sizeof buffer - 1);
    return true;
}

// Waits until `done` holds, polling every 2 ms; false past the limit.
template <typename Done>
bool WaitUntil(Clock::duration limit, Done done) {
    const Clock::time_point end = Clock::now() + limit;
    for (;;) {
        if (done()) {
            return true;
        }
        if (Clock::now() >= end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

bool SavePicture(HWND window, const std::string& file, std::string& error) {
    ::SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    ::RedrawWindow(window, nullptr, nullptr,
                   RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    ::Sleep(400);  // the other process paints in its own time
    RECT rect{};
    ::GetWindowRect(window, &rect);
    rect.left = rect.left < 0 ? 0 : rect.left;
    rect.top = rect.top < 0 ? 0 : rect.top;
    const LONG screenWidth = ::GetSystemMetrics(SM_CXSCREEN);
    const LONG screenHeight = ::GetSystemMetrics(SM_CYSCREEN);
    rect.right = rect.right > screenWidth ? screenWidth : rect.right;
    rect.bottom = rect.bottom > screenHeight ? screenHeight : rect.bottom;
    const LONG width = rect.right - rect.left;
    const LONG height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0) {
        error = "the window is not on the screen";
        return false;
    }
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;  // bottom-up, as a BMP file stores it
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    const DWORD stride = ((static_cast<DWORD>(width) * 3 + 3) / 4) * 4;
    info.bmiHeader.biSizeImage = stride * static_cast<DWORD>(height);
    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    void* bits = nullptr;
    HBITMAP bitmap = ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool copied = false;
    if (bitmap != nullptr) {
        HGDIOBJ old = ::SelectObject(memory, bitmap);
        copied = ::BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top,
                          SRCCOPY | CAPTUREBLT) != 0;
        ::GdiFlush();
        if (copied) {
            BITMAPFILEHEADER header{};
            header.bfType = 0x4D42;  // "BM"
            header.bfOffBits = sizeof header + sizeof info.bmiHeader;
            header.bfSize = header.bfOffBits + info.bmiHeader.biSizeImage;
            std::ofstream out(file, std::ios::binary | std::ios::trunc);
            out.write(reinterpret_cast<const char*>(&header), sizeof header);
            out.write(reinterpret_cast<const char*>(&info.bmiHeader), sizeof info.bmiHeader);
            out.write(static_cast<const char*>(bits), info.bmiHeader.biSizeImage);
            copied = static_cast<bool>(out.flush());
            if (!copied) {
                error = "cannot write " + file;
            }
        } else {
            error = "BitBlt failed: " + std::to_string(::GetLastError());
        }
        ::SelectObject(memory, old);
        ::DeleteObject(bitmap);
    } else {
        error = "no bitmap";
    }
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    return copied;
}

int Usage() {
    Say("usage: skyfault-windriver STEP...; steps: wait-title WINDOW TITLE SECONDS | "
        "wait-shown WINDOW SECONDS | wait-gone WINDOW SECONDS | wait-hidden WINDOW SECONDS | "
        "command WINDOW COMMAND | "
        "text WINDOW CONTROL | shot WINDOW FILE | sleep MILLISECONDS | say TEXT | desktop");
    return 64;
}

int Fail(const std::string& why) {
    Say("FAILED: " + why);
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    // Window rectangles in the screen's own pixels.
    ::SetProcessDPIAware();
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        return Usage();
    }
    for (std::size_t i = 0; i < args.size();) {
        const std::string& step = args[i];
        const std::size_t left = args.size() - i - 1;
        std::string className;
        Clock::duration limit{};
        int number = 0;
        if (step == "wait-title" && left >= 3 && ClassOf(args[i + 1], className) &&
            SecondsOf(args[i + 3], limit)) {
            const std::string& title = args[i + 2];
            std::string seen = "(no window)";
            const bool found = WaitUntil(limit, [&] {
                HWND window = Find(className);
                if (window == nullptr || !::IsWindowVisible(window)) {
                    return false;
                }
                seen = TitleOf(window);
                return seen == title;
            });
            if (!found) {
                return Fail(args[i + 1] + " is not titled \"" + title + "\"; last title: \"" +
                            seen + "\"");
            }
            Say("title " + args[i + 1] + "=" + title);
            i += 4;
        } else if (step == "wait-shown" && left >= 2 && ClassOf(args[i + 1], className) &&
                   SecondsOf(args[i + 2], limit)) {
            if (!WaitUntil(limit, [&] {
                    HWND window = Find(className);
                    return window != nullptr && ::IsWindowVisible(window);
                })) {
                return Fail(args[i + 1] + " was not shown in time");
            }
            Say("shown " + args[i + 1]);
            i += 3;
        } else if (step == "wait-gone" && left >= 2 && ClassOf(args[i + 1], className) &&
                   SecondsOf(args[i + 2], limit)) {
            if (!WaitUntil(limit, [&] { return Find(className) == nullptr; })) {
                return Fail(args[i + 1] + " is still there");
            }
            Say("gone " + args[i + 1]);
            i += 3;
        } else if (step == "wait-hidden" && left >= 2 && ClassOf(args[i + 1], className) &&
                   SecondsOf(args[i + 2], limit)) {
            if (!WaitUntil(limit, [&] {
                    HWND window = Find(className);
                    return window == nullptr || !::IsWindowVisible(window);
                })) {
                return Fail(args[i + 1] + " is still shown");
            }
            Say("hidden " + args[i + 1]);
            i += 3;
        } else if (step == "command" && left >= 2 && ClassOf(args[i + 1], className) &&
                   NumberOf(args[i + 2], number)) {
            HWND window = Find(className);
            if (window == nullptr) {
                return Fail("no " + args[i + 1] + " window for " + args[i + 2]);
            }
            // A button's command carries the button; a menu item's nothing.
            HWND control = ::GetDlgItem(window, number);
            const WPARAM wParam = MAKEWPARAM(number, control != nullptr ? BN_CLICKED : 0);
            if (!::PostMessageA(window, WM_COMMAND, wParam, reinterpret_cast<LPARAM>(control))) {
                return Fail("cannot post " + args[i + 2] + " to " + args[i + 1]);
            }
            Say("sent " + args[i + 1] + " " + args[i + 2]);
            i += 3;
        } else if (step == "text" && left >= 2 && ClassOf(args[i + 1], className) &&
                   NumberOf(args[i + 2], number)) {
            HWND window = Find(className);
            HWND control = window != nullptr ? ::GetDlgItem(window, number) : nullptr;
            std::string text;
            if (control == nullptr || !ControlText(control, text)) {
                return Fail("cannot read " + args[i + 2] + " of " + args[i + 1]);
            }
            Say("text " + args[i + 2] + "=" + text);
            i += 3;
        } else if (step == "shot" && left >= 2 && ClassOf(args[i + 1], className)) {
            HWND window = Find(className);
            std::string error;
            if (window == nullptr || !::IsWindowVisible(window)) {
                return Fail("no visible " + args[i + 1] + " window to picture");
            }
            if (!SavePicture(window, args[i + 2], error)) {
                return Fail("picture of " + args[i + 1] + ": " + error);
            }
            Say("saved " + args[i + 1] + " " + args[i + 2]);
            i += 3;
        } else if (step == "desktop") {
            // Under Wine the first window of a session starts the desktop
            // process; a process that makes its window while that one still
            // starts may get no display driver. This waits for it.
            HWND window =
                ::CreateWindowExA(0, "STATIC", "skyfault-windriver", WS_OVERLAPPED, 0, 0, 0, 0,
                                  nullptr, nullptr, ::GetModuleHandleA(nullptr), nullptr);
            if (window == nullptr || ::GetDesktopWindow() == nullptr) {
                return Fail("no window can be made: " + std::to_string(::GetLastError()));
            }
            ::DestroyWindow(window);
            Say("desktop ready");
            i += 1;
        } else if (step == "say" && left >= 1) {
            Say(args[i + 1]);
            i += 2;
        } else if (step == "sleep" && left >= 1 && NumberOf(args[i + 1], number)) {
            ::Sleep(static_cast<DWORD>(number));
            i += 2;
        } else {
            return Usage();
        }
    }
    return 0;
}
