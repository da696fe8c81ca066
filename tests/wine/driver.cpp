// skyfault-windriver STEP...: drives the Windows program from outside for the
// end-to-end tests and the benchmark, step by step; every wait has a limit.
//   wait-title WINDOW TITLE SECONDS | wait-shown|wait-hidden|wait-gone WINDOW SECONDS
//   command WINDOW COMMAND    posts a menu or button command (resource.h)
//   escape WINDOW CONTROL     posts the Escape key to a control of WINDOW
//   shot WINDOW FILE          saves WINDOW as it is on screen (24-bit BMP)
//   say TEXT | desktop        prints TEXT | has Wine's desktop up (a window made and ended)
// WINDOW: main, preferences, systems or about. Exit status: 0 done, 1 a step
// failed (the reason on standard output), 64 a command line it cannot use.

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "link/win32.h"
#include "ui/win32/resource.h"

namespace {

struct Name {
    const char* name;
    int value;
};
constexpr Name kControls[] = {
    {"mnuFileDefault", IDM_FILE_DEFAULT},
    {"mnuSpecificSystems", IDM_FILE_SPECIFIC},
    {"mnuFileExit", IDM_FILE_EXIT},
    {"mnuHelpAbout", IDM_HELP_ABOUT},
    {"btnExit", IDC_BTN_EXIT},
    {"cmdPrefsOK", IDC_CMD_PREFS_OK},
    {"cmdOK", IDC_CMD_OK},
    {"txtMessage", IDC_TXT_MESSAGE},
    {"cmdCancelSystemSettings", IDC_CMD_CANCEL_SYSTEM_SETTINGS},
};
constexpr const char* kWindows[][2] = {{"main", SKYFAULT_CLASS_MAIN},
                                       {"preferences", SKYFAULT_CLASS_PREFERENCES},
                                       {"systems", SKYFAULT_CLASS_SYSTEM_SETTINGS},
                                       {"about", SKYFAULT_CLASS_ABOUT}};

int Say(const std::string& line, int status = 0) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
    return status;
}

const char* ClassOf(const std::string& window) {
    for (const auto& known : kWindows) {
        if (window == known[0]) {
            return known[1];
        }
    }
    return nullptr;
}

int ControlOf(const std::string& text) {
    for (const Name& known : kControls) {
        if (text == known.name) {
            return known.value;
        }
    }
    return -1;
}

std::string TitleOf(HWND window) {
    char text[512] = {};
    return std::string(text, static_cast<std::size_t>(GetWindowTextA(window, text, sizeof text)));
}

bool SavePicture(HWND window, const std::string& file) {
    SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    RedrawWindow(window, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
    Sleep(400);  // the other process paints in its own time
    RECT rect{};
    GetWindowRect(window, &rect);
    BITMAPINFOHEADER info{};
    info.biSize = sizeof info;
    info.biWidth = rect.right - rect.left;
    info.biHeight = rect.bottom - rect.top;  // bottom-up, as a BMP file stores it
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biSizeImage = static_cast<DWORD>((info.biWidth * 3 + 3) / 4 * 4 * info.biHeight);
    const HDC screen = GetDC(nullptr);
    const HDC memory = CreateCompatibleDC(screen);
    void* bits = nullptr;
    const HBITMAP bitmap = CreateDIBSection(screen, reinterpret_cast<BITMAPINFO*>(&info),
                                            DIB_RGB_COLORS, &bits, nullptr, 0);
    const HGDIOBJ old = SelectObject(memory, bitmap);
    bool saved = bitmap != nullptr && BitBlt(memory, 0, 0, info.biWidth, info.biHeight, screen,
                                             rect.left, rect.top, SRCCOPY) != FALSE;
    GdiFlush();
    if (saved) {
        BITMAPFILEHEADER header{0x4D42, 0, 0, 0, sizeof header + sizeof info};
        header.bfSize = header.bfOffBits + info.biSizeImage;
        std::ofstream out(file, std::ios::binary);
        out.write(reinterpret_cast<const char*>(&header), sizeof header);
        out.write(reinterpret_cast<const char*>(&info), sizeof info);
        saved = static_cast<bool>(out.write(static_cast<const char*>(bits), info.biSizeImage));
    }
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return saved;
}

}  // namespace

int main(int argc, char** argv) {
    SetProcessDPIAware();  // window rectangles in the screen's own pixels
    const std::vector<std::string> args(argv + 1, argv + argc);
    for (std::size_t i = 0; i < args.size();) {
        const std::string& step = args[i];
        const std::size_t left = args.size() - i - 1;
        const char* windowClass = left >= 1 ? ClassOf(args[i + 1]) : nullptr;
        const HWND window = windowClass != nullptr ? FindWindowA(windowClass, nullptr) : nullptr;
        const int control = left >= 2 ? ControlOf(args[i + 2]) : -1;
        const std::string what = step.rfind("wait-", 0) == 0 ? step.substr(5) : "";
        const bool titled = what == "title" && left >= 3;
        if ((titled || what == "shown" || what == "hidden" || what == "gone") &&
            windowClass != nullptr && left >= 2) {
            const ULONGLONG end =
                GetTickCount64() +
                static_cast<ULONGLONG>(1000 * std::atof(args[i + 2 + titled].c_str()));
            std::string seen;
            for (;;) {
                const HWND at = FindWindowA(windowClass, nullptr);
                const bool shown = at != nullptr && IsWindowVisible(at) != FALSE;
                seen = shown ? TitleOf(at) : "(none shown)";
                if (titled            ? shown && seen == args[i + 2]
                    : what == "shown" ? shown
                    : what == "gone"  ? at == nullptr
                                      : !shown) {
                    break;
                }
                if (GetTickCount64() > end) {
                    return Say("FAILED: " + args[i + 1] + " not " + what + "; title: " + seen, 1);
                }
                Sleep(2);
            }
            Say(what + " " + args[i + 1]);
            i += titled ? 4 : 3;
        } else if ((step == "command" || step == "escape") && control >= 0) {
            const HWND item = window != nullptr ? GetDlgItem(window, control) : nullptr;
            // A button's command carries the button; a menu item's nothing.
            const bool posted =
                step == "escape"
                    ? PostMessageA(item, WM_KEYDOWN, VK_ESCAPE, 1) != FALSE && item != nullptr
                    : PostMessageA(window, WM_COMMAND, MAKEWPARAM(control, item ? BN_CLICKED : 0),
                                   reinterpret_cast<LPARAM>(item)) != FALSE &&
                          window != nullptr;
            if (!posted) {
                return Say("FAILED: cannot post " + args[i + 2] + " to " + args[i + 1], 1);
            }
            i += 3;
        } else if (step == "shot" && left >= 2) {
            if (window == nullptr || !IsWindowVisible(window) ||
                !SavePicture(window, args[i + 2])) {
                return Say("FAILED: no picture of " + args[i + 1], 1);
            }
            i += 3;
        } else if (step == "desktop") {
            // Under Wine a process that makes its window while the desktop
            // process still starts may get no display driver.
            const HWND own =
                CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
            if (own == nullptr) {
                return Say("FAILED: no window can be made", 1);
            }
            DestroyWindow(own);
            Say("desktop ready");
            i += 1;
        } else if (step == "say" && left >= 1) {
            Say(args[i + 1]);
            i += 2;
        } else {
            return Say("usage: see tests/wine/driver.cpp", 64);
        }
    }
    return args.empty() ? Say("usage: see tests/wine/driver.cpp", 64) : 0;
}
