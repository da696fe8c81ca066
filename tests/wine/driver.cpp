// skyfault-windriver STEP...: drives the Windows program from outside for the
// end-to-end tests and the benchmark, step by step; every wait has a limit.
//   wait-title WINDOW TITLE SECONDS | wait-shown|wait-hidden|wait-gone|wait-front WINDOW SECONDS
//   command WINDOW COMMAND    posts a menu or button command of resource.h
//   open-folder PATH          the file-open dialog goes to the folder PATH
//   escape WINDOW             posts the Escape key to WINDOW
//   rows WINDOW N SECONDS     waits until WINDOW's list has N rows or more and prints
//                             each: "row CELL | CELL | ..."
//   say TEXT | desktop        prints TEXT | has Wine's desktop up (a window made and ended)
//   answer WINDOW SECONDS     asks WINDOW for its title every 20 ms for SECONDS and prints
//                             how long it took to answer: "answers N median MS worst MS"
// WINDOW: main, preferences, failurelog, or dialog (a message box or the file-open
// dialog). Exit status: 0 done, 1 a step failed (the reason on standard output),
// 64 a command line it cannot use.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "platform/win32.h"
#include "ui/win32/resource.h"

// The control identifiers of the file-open dialog, and the list views (after windows.h).
#include <commctrl.h>
#include <dlgs.h>

namespace {

constexpr std::pair<const char*, int> kCommands[] = {{"mnuFileDefault", IDM_FILE_DEFAULT},
                                                     {"mnuFileExit", IDM_FILE_EXIT},
                                                     {"mnuFlightRepair", IDM_FLIGHT_REPAIR},
                                                     {"mnuFlightLog", IDM_FLIGHT_LOG},
                                                     {"btnExit", IDC_BTN_EXIT},
                                                     {"cmdDefaultBrowse", IDC_CMD_DEFAULT_BROWSE},
                                                     {"IDOK", IDOK}};
constexpr const char* kWindows[][2] = {{"main", SKYFAULT_CLASS_MAIN},
                                       {"preferences", SKYFAULT_CLASS_PREFERENCES},
                                       {"failurelog", SKYFAULT_CLASS_FAILURE_LOG},
                                       {"dialog", "#32770"}};

int Say(const std::string& line, int status = 0) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
    return status;
}

// The rows of another process's list view, read through memory lent in that
// process: its cells in UTF-8, "|" between them; nothing when it cannot be read.
std::vector<std::string> ListRows(HWND list) {
    constexpr int kText = 256;
    std::vector<std::string> rows;
    DWORD process = 0;
    GetWindowThreadProcessId(list, &process);
    const HANDLE other =
        OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, process);
    const HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
    const auto columns = static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0));
    auto* lent = other == nullptr ? nullptr
                                  : static_cast<char*>(VirtualAllocEx(
                                        other, nullptr, sizeof(LVITEMW) + kText * sizeof(wchar_t),
                                        MEM_COMMIT, PAGE_READWRITE));
    const auto count = lent == nullptr ? 0 : SendMessageW(list, LVM_GETITEMCOUNT, 0, 0);
    for (LRESULT row = 0; row < count; ++row) {
        std::string line;
        for (int column = 0; column < columns; ++column) {
            LVITEMW item{};
            item.iSubItem = column;
            item.cchTextMax = kText;
            item.pszText = reinterpret_cast<wchar_t*>(lent + sizeof item);
            wchar_t text[kText] = {};
            char utf8[4 * kText] = {};
            DWORD_PTR ignored = 0;
            if (WriteProcessMemory(other, lent, &item, sizeof item, nullptr) == FALSE ||
                SendMessageTimeoutW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row),
                                    reinterpret_cast<LPARAM>(lent), SMTO_NORMAL, 5000,
                                    &ignored) == 0 ||
                ReadProcessMemory(other, lent + sizeof item, text, sizeof text, nullptr) == FALSE) {
                break;
            }
            text[kText - 1] = L'\0';
            WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, nullptr, nullptr);
            line += (column == 0 ? "" : " | ") + std::string(utf8);
        }
        rows.push_back(line);
    }
    if (lent != nullptr) {
        VirtualFreeEx(other, lent, 0, MEM_RELEASE);
    }
    if (other != nullptr) {
        CloseHandle(other);
    }
    return rows;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    for (std::size_t i = 0; i < args.size();) {
        const std::string& step = args[i];
        const std::size_t left = args.size() - i - 1;
        const char* windowClass = nullptr;
        int control = -1;
        for (const auto& known : kWindows) {
            windowClass = left >= 1 && args[i + 1] == known[0] ? known[1] : windowClass;
        }
        for (const auto& [name, id] : kCommands) {
            control = left >= 2 && args[i + 2] == name ? id : control;
        }
        const HWND window = windowClass != nullptr ? FindWindowA(windowClass, nullptr) : nullptr;
        const std::string what = step.rfind("wait-", 0) == 0 ? step.substr(5) : "";
        const bool titled = what == "title" && left >= 3;
        if ((titled || what == "shown" || what == "hidden" || what == "gone" || what == "front") &&
            windowClass != nullptr && left >= 2) {
            const ULONGLONG end =
                GetTickCount64() +
                static_cast<ULONGLONG>(1000 * std::atof(args[i + 2 + titled].c_str()));
            for (char title[512] = {};; Sleep(2)) {
                const HWND at = FindWindowA(windowClass, nullptr);
                const bool shown = at != nullptr && IsWindowVisible(at) != FALSE;
                title[shown ? GetWindowTextA(at, title, sizeof title) : 0] = '\0';
                if (titled            ? shown && args[i + 2] == title
                    : what == "shown" ? shown
                    : what == "gone"  ? at == nullptr
                    : what == "front" ? shown && GetForegroundWindow() == at
                                      : !shown) {
                    break;
                }
                if (GetTickCount64() > end) {
                    return Say("FAILED: " + args[i + 1] + " not " + what + "; title: " + title, 1);
                }
            }
            Say(what + " " + args[i + 1]);
            i += titled ? 4 : 3;
        } else if (step == "rows" && window != nullptr && left >= 3) {
            const HWND list = FindWindowExA(window, nullptr, "SysListView32", nullptr);
            const auto wanted = static_cast<std::size_t>(std::atoi(args[i + 2].c_str()));
            const ULONGLONG end =
                GetTickCount64() + static_cast<ULONGLONG>(1000 * std::atof(args[i + 3].c_str()));
            std::vector<std::string> rows = ListRows(list);
            for (; rows.size() < wanted; rows = ListRows(list), Sleep(20)) {
                if (GetTickCount64() > end) {
                    return Say("FAILED: " + args[i + 1] + " shows " + std::to_string(rows.size()) +
                                   " rows, not " + args[i + 2],
                               1);
                }
            }
            for (const std::string& row : rows) {
                Say("row " + row);
            }
            i += 4;
        } else if (step == "escape" && window != nullptr) {
            PostMessageA(window, WM_KEYDOWN, VK_ESCAPE, 1);
            i += 2;
        } else if (step == "command" && window != nullptr && control >= 0) {
            // A button's command carries the button; a menu item's nothing.
            const HWND item = GetDlgItem(window, control);
            if (PostMessageA(window, WM_COMMAND, MAKEWPARAM(control, item ? BN_CLICKED : 0),
                             reinterpret_cast<LPARAM>(item)) == FALSE) {
                return Say("FAILED: cannot post " + args[i + 2] + " to " + args[i + 1], 1);
            }
            i += 3;
        } else if (step == "open-folder" && left >= 1) {
            // The file name box (cmb13 on Windows, edt1 in Wine), then Open:
            // a folder's name goes there.
            const HWND dialog = FindWindowA("#32770", nullptr);
            const HWND name = dialog == nullptr                      ? nullptr
                              : GetDlgItem(dialog, cmb13) != nullptr ? GetDlgItem(dialog, cmb13)
                                                                     : GetDlgItem(dialog, edt1);
            if (name == nullptr || SetWindowTextA(name, args[i + 1].c_str()) == FALSE ||
                PostMessageA(dialog, WM_COMMAND, IDOK, 0) == FALSE) {
                return Say("FAILED: no file-open dialog to go to " + args[i + 1], 1);
            }
            Say("open-folder " + args[i + 1]);
            i += 2;
        } else if (step == "desktop") {
            // Under Wine a process that makes its window while the desktop
            // process still starts may get no display driver.
            const HWND own =
                CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
            if (own == nullptr || DestroyWindow(own) == FALSE) {
                return Say("FAILED: no window can be made", 1);
            }
            Say("desktop ready");
            i += 1;
        } else if (step == "answer" && window != nullptr && left >= 2) {
            // The window answers on its own thread, between its other work.
            std::vector<double> waits;
            LARGE_INTEGER frequency{}, before{}, after{};
            QueryPerformanceFrequency(&frequency);
            const ULONGLONG end =
                GetTickCount64() + static_cast<ULONGLONG>(1000 * std::atof(args[i + 2].c_str()));
            for (char title[512] = {}; GetTickCount64() < end; Sleep(20)) {
                DWORD_PTR length = 0;
                QueryPerformanceCounter(&before);
                if (SendMessageTimeoutA(window, WM_GETTEXT, sizeof title,
                                        reinterpret_cast<LPARAM>(title), SMTO_NORMAL, 120000,
                                        &length) == 0) {
                    return Say("FAILED: " + args[i + 1] + " did not answer", 1);
                }
                QueryPerformanceCounter(&after);
                waits.push_back(1000.0 * static_cast<double>(after.QuadPart - before.QuadPart) /
                                static_cast<double>(frequency.QuadPart));
            }
            std::sort(waits.begin(), waits.end());
            char line[128];
            std::snprintf(line, sizeof line, "answers %zu median %.1f worst %.1f", waits.size(),
                          waits.empty() ? 0.0 : waits[waits.size() / 2],
                          waits.empty() ? 0.0 : waits.back());
            Say(line);
            i += 3;
        } else if (step == "say" && left >= 1) {
            Say(args[i + 1]);
            i += 2;
        } else {
            return Say("usage: see tests/wine/driver.cpp", 64);
        }
    }
    return args.empty() ? Say("usage: see tests/wine/driver.cpp", 64) : 0;
}
