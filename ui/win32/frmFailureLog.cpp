#include "ui/win32/frmFailureLog.h"

#include <commctrl.h>

#include <array>
#include <cwchar>
#include <string>

#include "engine/captions.h"
#include "engine/engine.h"
#include "engine/flight_log.h"
#include "engine/front_end.h"
#include "ui/win32/frmMain.h"
#include "ui/win32/resource.h"

namespace skyfault::win32 {

namespace caption = engine::caption;

namespace {

constexpr int kClientWidth = 788;
constexpr int kClientHeight = 372;
constexpr DWORD kLabel = SS_LEFT | SS_NOPREFIX;
// The columns' widths at 96 dpi; the readings stand to the right.
constexpr std::array<int, engine::kFlightLogColumns> kColumnWidths{70, 84, 66, 170, 96, 116, 146};
constexpr int kFirstReading = 4;

}  // namespace

frmFailureLog::frmFailureLog(frmMain& main) : main_(main) {
    Create(SKYFAULT_CLASS_FAILURE_LOG, engine::kFailureLogTitle,
           WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU, kClientWidth, kClientHeight);
    BuildControls();
    ApplyDpi(Dpi());
    Refresh();
}

frmFailureLog::~frmFailureLog() = default;

void frmFailureLog::BuildControls() {
    // In tab order: the list, the box, Close.
    const HWND list =
        Add("SysListView32", "",
            LVS_REPORT | LVS_OWNERDATA | LVS_SINGLESEL | LVS_SHOWSELALWAYS | WS_BORDER | WS_TABSTOP,
            IDC_LVW_EVENTS, 8, 8, 772, 250);
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
    for (int column = 0; column < engine::kFlightLogColumns; ++column) {
        std::wstring caption = Widen(engine::kFlightLogCaptions[column]);
        LVCOLUMNW item{};
        item.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
        item.fmt = column >= kFirstReading ? LVCFMT_RIGHT : LVCFMT_LEFT;
        item.cx = Scale(kColumnWidths[column]);
        item.pszText = caption.data();
        SendMessageW(list, LVM_INSERTCOLUMNW, column, reinterpret_cast<LPARAM>(&item));
    }
    Add("STATIC", "", kLabel, IDC_LBL_ESTIMATE, 8, 266, 772, 36);
    Add("STATIC", engine::kStopAfterLead, kLabel, IDC_LBL_STOP_AFTER, 8, 312, 70, 20);
    Add("EDIT", "0", ES_LEFT | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, IDC_TXT_MAX_FAILURES, 80,
        309, 50, 22);
    SendMessageW(Control(IDC_TXT_MAX_FAILURES), EM_SETLIMITTEXT, 16, 0);
    Add("STATIC", engine::kStopAfterTail, kLabel, IDC_LBL_FAILURES_TAIL, 136, 312, 300, 20);
    Add("BUTTON", caption::kClose, BS_PUSHBUTTON | WS_TABSTOP, IDC_CMD_CLOSE_LOG, 696, 336, 84, 28);
}

void frmFailureLog::AfterLayout() {
    const HWND list = Control(IDC_LVW_EVENTS);
    for (int column = 0; list != nullptr && column < engine::kFlightLogColumns; ++column) {
        SendMessageW(list, LVM_SETCOLUMNWIDTH, column, Scale(kColumnWidths[column]));
    }
}

void frmFailureLog::Refresh() {
    const engine::Engine& engine = main_.Engine();
    const std::vector<engine::FlightEvent>& events = engine.state().flight.events;
    const HWND list = Control(IDC_LVW_EVENTS);
    // The oldest events go once there are many: the newest one tells a change
    // the length does not.
    const double newest = events.empty() ? -1 : events.back().sinceStart;
    if (events.size() != rows_ || newest != newest_) {
        rows_ = events.size();
        newest_ = newest;
        SendMessageW(list, LVM_SETITEMCOUNT, rows_, LVSICF_NOSCROLL);
        InvalidateRect(list, nullptr, TRUE);
        if (rows_ > 0) {
            SendMessageW(list, LVM_ENSUREVISIBLE, rows_ - 1, FALSE);
        }
    }
    SetText(Control(IDC_LBL_ESTIMATE), engine.FailureEstimate());
    // A text being typed stays until it is committed.
    if (GetFocus() != Control(IDC_TXT_MAX_FAILURES)) {
        ShowLimit();
    }
}

void frmFailureLog::ShowLimit() {
    SetText(Control(IDC_TXT_MAX_FAILURES),
            std::to_string(main_.Engine().state().settings.maxFailures));
}

bool frmFailureLog::CommitLimit(bool onEnter) {
    if (committing_ || main_.Unloaded()) {
        return false;  // (the box loses the focus as the program ends)
    }
    committing_ = true;
    const HWND box = Control(IDC_TXT_MAX_FAILURES);
    const std::optional<std::string> refusal = main_.Engine().SetMaxFailures(GetText(box));
    ShowLimit();
    if (refusal) {
        // On Enter the box keeps the focus; a box that lost it lets it go.
        ShowRefusal(box, "Limit not changed", *refusal, onEnter);
    }
    committing_ = false;
    return !refusal;
}

LRESULT frmFailureLog::Notify(NMHDR& header) {
    if (header.idFrom != IDC_LVW_EVENTS || header.code != LVN_GETDISPINFOW) {
        return 0;
    }
    LVITEMW& item = reinterpret_cast<NMLVDISPINFOW&>(header).item;
    const std::vector<engine::FlightEvent>& events = main_.Engine().state().flight.events;
    if ((item.mask & LVIF_TEXT) == 0 || item.pszText == nullptr || item.cchTextMax <= 0) {
        return 0;
    }
    item.pszText[0] = L'\0';
    if (item.iItem < 0 || static_cast<std::size_t>(item.iItem) >= events.size() ||
        item.iSubItem < 0 || item.iSubItem >= engine::kFlightLogColumns) {
        return 0;
    }
    const std::wstring cell = Widen(engine::FlightEventCells(
        events[static_cast<std::size_t>(item.iItem)])[static_cast<std::size_t>(item.iSubItem)]);
    std::wcsncpy(item.pszText, cell.c_str(), static_cast<std::size_t>(item.cchTextMax - 1));
    item.pszText[item.cchTextMax - 1] = L'\0';
    return 0;
}

void frmFailureLog::Command(int id, int notification) {
    switch (id) {
        case IDC_TXT_MAX_FAILURES:
            if (notification == EN_KILLFOCUS) {
                CommitLimit(false);
            }
            return;
        case IDOK:  // Enter: the box commits what it holds
            if (GetFocus() == Control(IDC_TXT_MAX_FAILURES)) {
                CommitLimit(true);
            }
            return;
        case IDCANCEL:  // Escape: what was typed goes, as the window does
            ShowLimit();
            main_.DialogEnded(engine::DialogId::FailureLog, engine::DialogEnd::Cancel);
            return;
        case IDC_CMD_CLOSE_LOG:
            if (notification == BN_CLICKED) {
                main_.DialogEnded(engine::DialogId::FailureLog, engine::DialogEnd::Cancel);
            }
            return;
        default:
            return;
    }
}

LRESULT frmFailureLog::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            Command(LOWORD(wParam), HIWORD(wParam));
            return 0;
        case WM_NOTIFY:
            return Notify(*reinterpret_cast<NMHDR*>(lParam));
        case WM_CLOSE:  // the close box: what the box holds is kept, as on Close
            if (GetFocus() == Control(IDC_TXT_MAX_FAILURES)) {
                CommitLimit(false);
            }
            main_.DialogEnded(engine::DialogId::FailureLog, engine::DialogEnd::Cancel);
            return 0;
        default:
            return Window::HandleMessage(message, wParam, lParam);
    }
}

}  // namespace skyfault::win32
