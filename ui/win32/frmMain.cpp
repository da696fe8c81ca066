#include "ui/win32/frmMain.h"

#include <commctrl.h>

#include <array>
#include <cstddef>
#include <string>

#include "engine/captions.h"
#include "engine/engine.h"
#include "ui/win32/frmAbout.h"
#include "ui/win32/frmFailureLog.h"
#include "ui/win32/frmPreferences.h"
#include "ui/win32/frmSystemSettings.h"
#include "ui/win32/resource.h"

namespace skyfault::win32 {

namespace caption = engine::caption;

namespace {

constexpr COLORREF Colour(Rgb rgb) {
    return RGB(rgb.red, rgb.green, rgb.blue);
}

constexpr COLORREF kLightYellow = Colour(kCurrentSettingsColour);
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kBlack = RGB(0, 0, 0);

// The client area at 96 dpi.
constexpr int kClientWidth = 800;
constexpr int kClientHeight = 424;

// Where each system frame stands, in kSystemFrames' order: its control, its
// place, and how its boxes stand in it (the first at 10, 20 inside; each row
// `rowStep` lower, each column `columnStep` further right).
struct FramePlace {
    int id;
    int x, y, width, height;
    int boxWidth, rowStep, columnStep;
};
constexpr std::array<FramePlace, kSystemFrames.size()> kFramePlaces{{
    {IDC_FRA_INSTRUMENTS, 350, 96, 186, 236, 170, 23, 0},
    {IDC_FRA_ENGINES, 544, 96, 118, 114, 102, 23, 0},
    {IDC_FRA_SYSTEMS, 668, 96, 114, 114, 98, 23, 0},
    {IDC_FRA_RADIOS, 544, 218, 118, 114, 102, 23, 0},
    {IDC_FRA_FUEL_LEAK, 668, 218, 114, 114, 98, 23, 0},
    {IDC_FRA_MISC, 350, 338, 432, 74, 150, 24, 200},
}};

constexpr DWORD kButton = BS_PUSHBUTTON | WS_TABSTOP;
constexpr DWORD kLabel = SS_LEFT | SS_NOPREFIX;

}  // namespace

frmMain::frmMain(engine::Engine& engine, FileDialog& fileDialog)
    : engine_(engine), fileDialog_(fileDialog) {
    INITCOMMONCONTROLSEX common{sizeof common, ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
    InitCommonControlsEx(&common);
    yellow_ = CreateSolidBrush(kLightYellow);
    white_ = CreateSolidBrush(kWhite);

    Create(SKYFAULT_CLASS_MAIN, engine::kApplicationTitle,
           WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, kClientWidth, kClientHeight,
           BuildMenu());
    BuildControls();
    ApplyDpi(Dpi());

    engine_.SetChangedCallback([this] {
        Refresh();
        UpdateWindow(Control(IDC_TXT_MESSAGE));  // a failure's text shows before its sound starts
    });
    engine_.SetQuitCallback([this] {
        unloaded_ = true;
        // Every other window goes with the main window, without its own handling.
        dialogs_.UnloadAll();
        for (Window* dialog :
             {static_cast<Window*>(frmPreferences_.get()),
              static_cast<Window*>(frmSystemSettings_.get()), static_cast<Window*>(frmAbout_.get()),
              static_cast<Window*>(frmFailureLog_.get())}) {
            if (dialog != nullptr) {
                ShowWindow(dialog->hwnd(), SW_HIDE);
            }
        }
        ShowWindow(hwnd(), SW_HIDE);
        PostQuitMessage(0);
    });

    // The Preferences dialog exists, hidden, for the whole run.
    frmPreferences_ = std::make_unique<frmPreferences>(*this);
    Refresh();
}

frmMain::~frmMain() {
    engine_.SetChangedCallback(nullptr);
    engine_.SetQuitCallback(nullptr);
    frmFailureLog_.reset();
    frmAbout_.reset();
    frmSystemSettings_.reset();
    frmPreferences_.reset();
    if (toolTip_ != nullptr) {
        DestroyWindow(toolTip_);
    }
    // The picture goes before the bitmap it shows.
    DestroyWindow(Control(IDC_IMAGE1));
    DestroyBanner();
    DeleteObject(yellow_);
    DeleteObject(white_);
}

void frmMain::DestroyBanner() {
    if (banner_ != nullptr) {
        DeleteObject(banner_);
        banner_ = nullptr;
    }
}

HMENU frmMain::BuildMenu() {
    // Every item has an access key (Alt+F, D opens Default Settings); the
    // captions' letters are the items' names.
    const HMENU file = CreatePopupMenu();
    AppendMenuW(file, MF_STRING, IDM_FILE_DEFAULT, Widen(caption::kMnuFileDefault).c_str());
    AppendMenuW(file, MF_STRING, IDM_FILE_SPECIFIC, Widen(caption::kMnuSpecificSystems).c_str());
    AppendMenuW(file, MF_STRING, IDM_FILE_EXIT, Widen(caption::kMnuFileExit).c_str());
    const HMENU flight = CreatePopupMenu();
    AppendMenuW(flight, MF_STRING | MF_GRAYED, IDM_FLIGHT_REPAIR,
                Widen(engine::kRepairItemCaption).c_str());
    AppendMenuW(flight, MF_STRING, IDM_FLIGHT_LOG, Widen(engine::kFailureLogItemCaption).c_str());
    const HMENU help = CreatePopupMenu();
    AppendMenuW(help, MF_STRING, IDM_HELP_ABOUT, Widen(caption::kMnuHelpAbout).c_str());
    const HMENU bar = CreateMenu();
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(file), Widen(caption::kMnuFile).c_str());
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(flight),
                Widen(engine::kFlightMenuCaption).c_str());
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(help), Widen(caption::kMnuHelp).c_str());
    return bar;
}

void frmMain::BuildControls() {
    // Status frame: the status line and the two switches.
    AddFrame(caption::kFraStatus, IDC_FRA_STATUS, 8, 6, 324, 96);
    Add("EDIT", caption::kTxtMessage,
        ES_LEFT | ES_AUTOHSCROLL | ES_READONLY | WS_BORDER | WS_TABSTOP, IDC_TXT_MESSAGE, 18, 28,
        304, 24, true);
    const HWND activate =
        Add("BUTTON", caption::kCmdActivate, kButton, IDC_CMD_ACTIVATE, 18, 62, 100, 28);
    EnableWindow(activate, FALSE);  // the program starts activated
    Add("BUTTON", caption::kCmdDisable, kButton, IDC_CMD_DISABLE, 222, 62, 100, 28);

    Add("BUTTON", caption::kCmdDefault, kButton, IDC_CMD_DEFAULT, 8, 112, 158, 32, true);
    Add("BUTTON", caption::kCmdSpecific, kButton, IDC_CMD_SPECIFIC, 174, 112, 158, 32, true);
    Add("BUTTON", caption::kBtnExit, kButton, IDC_BTN_EXIT, 120, 152, 100, 32, true);

    // The banner in a frame without caption.
    Add("STATIC", "", SS_ETCHEDFRAME, IDC_FRAME1, 8, 306, 324, 110);
    const HWND image =
        Add("STATIC", "", SS_BITMAP | SS_REALSIZECONTROL, IDC_IMAGE1, 20, 311, 300, 100);
    banner_ =
        static_cast<HBITMAP>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDB_BANNER),
                                        IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR));
    // A 24-bit bitmap: the control shows it as it is, without a copy of its
    // own; the window frees it once the control is gone.
    SendMessageW(image, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(banner_));

    // Current settings: the default probability, the interval and the systems.
    AddFrame(caption::kFraCurrentSettings, IDC_FRA_CURRENT_SETTINGS, 340, 6, 452, 414);
    Add("STATIC", caption::kLblRateHeading, kLabel, IDC_LBL_RATE_HEADING, 352, 30, 140, 18);
    Add("STATIC", caption::kLblRate, kLabel, IDC_LBL_RATE, 496, 30, 280, 18);
    Add("STATIC", caption::kLblCheckInterval, kLabel, IDC_LBL_CHECK_INTERVAL, 352, 50, 140, 18);
    Add("STATIC", caption::kLblInterval, kLabel, IDC_LBL_INTERVAL, 496, 50, 280, 18);
    Add("STATIC", caption::kLblAllowedFailures, kLabel, IDC_LBL_ALLOWED_FAILURES, 352, 74, 240, 18,
        true);

    for (std::size_t i = 0; i < kSystemFrames.size(); ++i) {
        const FramePlace& place = kFramePlaces[i];
        const std::string caption(GroupCaption(kSystemFrames[i].group));
        AddFrame(caption.c_str(), place.id, place.x, place.y, place.width, place.height);
    }
    // In tab order: frame by frame, row by row.
    const auto& catalogue = Catalogue();
    for (std::size_t i = 0; i < kSystemFrames.size(); ++i) {
        const SystemFrame& frame = kSystemFrames[i];
        const FramePlace& place = kFramePlaces[i];
        for (std::size_t n = 0; n < frame.systems.size(); ++n) {
            const int id = frame.systems[n];
            const int row = static_cast<int>(n) / frame.columns;
            const int column = static_cast<int>(n) % frame.columns;
            const std::string caption(catalogue[id].caption);
            const HWND check =
                Add("BUTTON", caption.c_str(), BS_3STATE | WS_TABSTOP, IDC_CHK_FAILURE_TYPE(id),
                    place.x + 10 + column * place.columnStep, place.y + 20 + row * place.rowStep,
                    place.boxWidth, 20);
            SendMessageW(check, BM_SETCHECK, BST_CHECKED, 0);  // every system allowed to fail
        }
    }

    // The whole status text in the status line's tool tip.
    toolTip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                               WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd(), nullptr,
                               GetModuleHandleW(nullptr), nullptr);
    toolTipText_ = Widen(caption::kTxtMessage);
    TOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = hwnd();
    tool.uId = reinterpret_cast<UINT_PTR>(Control(IDC_TXT_MESSAGE));
    tool.lpszText = toolTipText_.data();
    SendMessageW(toolTip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    SendMessageW(toolTip_, TTM_SETMAXTIPWIDTH, 0, 600);
}

void frmMain::Refresh() {
    const engine::EngineState& state = engine_.state();
    const engine::MainWindowState& window = state.window;
    SetText(hwnd(), window.title);

    const HWND message = Control(IDC_TXT_MESSAGE);
    SetText(message, window.txtMessage.text);
    // Every message is shown from its start; the whole of it is in the tool tip.
    SendMessageW(message, EM_SETSEL, 0, 0);
    SendMessageW(message, EM_SCROLLCARET, 0, 0);
    if (const std::wstring tip = Widen(window.txtMessage.text); toolTipText_ != tip) {
        toolTipText_ = tip;
        TOOLINFOW tool{};
        tool.cbSize = sizeof tool;
        tool.hwnd = hwnd();
        tool.uId = reinterpret_cast<UINT_PTR>(message);
        tool.lpszText = toolTipText_.data();
        SendMessageW(toolTip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
    }
    InvalidateRect(message, nullptr, TRUE);  // its colour may have changed

    // The button that comes on first, so that the focus of the one going
    // off can move on to it (after Activate, Tab goes on from Disable).
    const HWND activate = Control(IDC_CMD_ACTIVATE);
    const HWND disable = Control(IDC_CMD_DISABLE);
    if (window.cmdActivateEnabled) {
        Enable(activate, true);
        Enable(disable, window.cmdDisableEnabled);
    } else {
        Enable(disable, window.cmdDisableEnabled);
        Enable(activate, false);
    }
    SetText(Control(IDC_LBL_RATE), window.lblRate);
    SetText(Control(IDC_LBL_INTERVAL), state.lblInterval());

    for (int id = 0; id < kSystemCount; ++id) {
        const HWND box = Control(IDC_CHK_FAILURE_TYPE(id));
        WPARAM check = BST_CHECKED;
        switch (engine::CheckStateOf(state.settings.allowed[id])) {
            case engine::CheckState::Unchecked:
                check = BST_UNCHECKED;
                break;
            case engine::CheckState::Greyed:
                check = BST_INDETERMINATE;
                break;
            case engine::CheckState::Checked:
                break;
        }
        if (static_cast<WPARAM>(SendMessageW(box, BM_GETCHECK, 0, 0)) != check) {
            SendMessageW(box, BM_SETCHECK, check, 0);
        }
        Enable(box, window.chkFailureTypeEnabled[id]);
    }
    // The menu before the Failure Log: whoever sees a failure's row there
    // finds Repair All Systems enabled.
    EnableMenuItem(GetMenu(hwnd()), IDM_FLIGHT_REPAIR,
                   MF_BYCOMMAND | (engine_.AnyFailed() ? MF_ENABLED : MF_GRAYED));
    if (frmFailureLog_) {
        frmFailureLog_->Refresh();
    }
}

void frmMain::Command(int id) {
    if (unloaded_) {
        return;
    }
    const HWND control = Control(id);
    if (control != nullptr && IsWindowEnabled(control) == FALSE) {
        return;  // a disabled control has no command
    }
    if (control == nullptr &&
        (GetMenuState(GetMenu(hwnd()), static_cast<UINT>(id), MF_BYCOMMAND) & MF_GRAYED) != 0) {
        return;  // nor a greyed menu item
    }
    switch (id) {
        case IDC_CMD_ACTIVATE:
            engine_.cmdActivate_Click();
            break;
        case IDC_CMD_DISABLE:
            engine_.cmdDisable_Click();
            break;
        case IDC_CMD_DEFAULT:
        case IDM_FILE_DEFAULT:
            ShowDialog(engine::DialogId::Preferences);
            break;
        case IDC_CMD_SPECIFIC:
        case IDM_FILE_SPECIFIC:
            ShowDialog(engine::DialogId::SystemSettings);
            break;
        case IDC_BTN_EXIT:
            engine_.btnExit_Click();
            break;
        case IDM_FILE_EXIT:
            engine_.mnuFileExit_Click();
            break;
        case IDM_FLIGHT_REPAIR:
            engine_.mnuFlightRepair_Click();
            break;
        case IDM_FLIGHT_LOG:
            ShowDialog(engine::DialogId::FailureLog);
            break;
        case IDM_HELP_ABOUT:
            ShowDialog(engine::DialogId::About);
            break;
        default:
            if (id >= IDC_CHK_FAILURE_TYPE(0) && id < IDC_CHK_FAILURE_TYPE(kSystemCount)) {
                engine::chkFailureType_Click(engine_, id - IDC_CHK_FAILURE_TYPE(0));
            }
            break;
    }
    if (!unloaded_) {
        Refresh();  // e.g. a save that failed keeps the window, showing why
    }
}

void frmMain::ShowDialog(engine::DialogId dialog) {
    const bool make = dialogs_.Show(dialog);
    Window* window = nullptr;
    switch (dialog) {
        case engine::DialogId::Preferences:
            frmPreferences_->Showing();
            window = frmPreferences_.get();
            break;
        case engine::DialogId::SystemSettings:
            if (make || !frmSystemSettings_) {
                frmSystemSettings_ = std::make_unique<frmSystemSettings>(*this);
            }
            frmSystemSettings_->Showing();
            window = frmSystemSettings_.get();
            break;
        case engine::DialogId::About:
            if (make || !frmAbout_) {
                frmAbout_ = std::make_unique<frmAbout>(*this);
            }
            window = frmAbout_.get();
            break;
        case engine::DialogId::FailureLog:
            if (make || !frmFailureLog_) {
                frmFailureLog_ = std::make_unique<frmFailureLog>(*this);
            }
            frmFailureLog_->Refresh();
            window = frmFailureLog_.get();
            break;
    }
    // Modeless and without owner: shown and activated, the main window stays
    // usable. A dialog that was not shown opens with the focus on its first
    // box (About on its OK); the main window keeps its own focus (the control
    // that opened the dialog) for when it is active again.
    if (IsWindowVisible(window->hwnd()) == FALSE && dialog != engine::DialogId::About) {
        window->FocusFirstControl();
    }
    ShowWindow(window->hwnd(), SW_SHOW);
    SetForegroundWindow(window->hwnd());
}

void frmMain::DialogEnded(engine::DialogId dialog, engine::DialogEnd how) {
    Window* window = nullptr;
    switch (dialog) {
        case engine::DialogId::Preferences:
            window = frmPreferences_.get();
            break;
        case engine::DialogId::SystemSettings:
            window = frmSystemSettings_.get();
            break;
        case engine::DialogId::About:
            window = frmAbout_.get();
            break;
        case engine::DialogId::FailureLog:
            window = frmFailureLog_.get();
            break;
    }
    const bool active = window != nullptr && GetActiveWindow() == window->hwnd();
    if (window != nullptr) {
        ShowWindow(window->hwnd(), SW_HIDE);
    }
    if (active && !unloaded_) {
        // Back to the main window and the control that opened the dialog.
        SetForegroundWindow(hwnd());
        SetActiveWindow(hwnd());
    }
    if (dialogs_.End(dialog, how)) {
        // Destroyed once the handler that ended it has returned.
        PostMessageW(hwnd(), kUnloadDialogMessage, static_cast<WPARAM>(dialog), 0);
    }
}

void frmMain::UnloadDialog(WPARAM which) {
    // Anything may post this message: only a dialog's number is taken.
    engine::DialogId dialog{};
    switch (which) {
        case static_cast<WPARAM>(engine::DialogId::SystemSettings):
            dialog = engine::DialogId::SystemSettings;
            break;
        case static_cast<WPARAM>(engine::DialogId::About):
            dialog = engine::DialogId::About;
            break;
        default:
            return;  // Preferences is never destroyed
    }
    if (dialogs_.Presence(dialog) != engine::DialogPresence::Unloaded) {
        return;  // shown again since: it is that window now
    }
    if (dialog == engine::DialogId::SystemSettings) {
        frmSystemSettings_.reset();
    } else if (dialog == engine::DialogId::About) {
        frmAbout_.reset();
    }
}

LRESULT frmMain::ControlColour(UINT message, HDC dc, HWND control) {
    const int id = GetDlgCtrlID(control);
    if (id == IDC_TXT_MESSAGE) {
        const bool red = engine_.state().window.txtMessage.colour == engine::TextColour::Red;
        SetTextColor(dc, red ? kRed : kBlack);
        SetBkColor(dc, kWhite);
        return reinterpret_cast<LRESULT>(white_);
    }
    if (id >= IDC_CHK_FAILURE_TYPE(0) && id < IDC_CHK_FAILURE_TYPE(kSystemCount)) {
        SetBkColor(dc, kWhite);
        return reinterpret_cast<LRESULT>(white_);
    }
    for (std::size_t i = 0; i < kSystemFrames.size(); ++i) {
        if (kFramePlaces[i].id == id) {
            SetTextColor(dc, Colour(kSystemFrames[i].captionColour));
            const bool white = kSystemFrames[i].white;
            SetBkColor(dc, white ? kWhite : kLightYellow);
            return reinterpret_cast<LRESULT>(white ? white_ : yellow_);
        }
    }
    switch (id) {
        case IDC_FRA_CURRENT_SETTINGS:
        case IDC_LBL_RATE_HEADING:
        case IDC_LBL_RATE:
        case IDC_LBL_CHECK_INTERVAL:
        case IDC_LBL_INTERVAL:
        case IDC_LBL_ALLOWED_FAILURES:
            SetTextColor(dc, kBlack);
            SetBkColor(dc, kLightYellow);
            return reinterpret_cast<LRESULT>(yellow_);
        default:
            return DefWindowProcW(hwnd(), message, reinterpret_cast<WPARAM>(dc),
                                  reinterpret_cast<LPARAM>(control));
    }
}

void frmMain::PaintBackground(HDC dc) {
    RECT client;
    GetClientRect(hwnd(), &client);
    FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
    // The light-yellow frame and the white system frames, inside their borders.
    auto fill = [&](int id, HBRUSH brush) {
        const HWND frame = Control(id);
        RECT rect{};
        if (frame == nullptr || GetWindowRect(frame, &rect) == FALSE) {
            return;  // not made yet
        }
        MapWindowPoints(nullptr, hwnd(), reinterpret_cast<POINT*>(&rect), 2);
        rect.top += Scale(8);
        InflateRect(&rect, -1, -1);
        FillRect(dc, &rect, brush);
    };
    fill(IDC_FRA_CURRENT_SETTINGS, yellow_);
    for (std::size_t i = 0; i < kSystemFrames.size(); ++i) {
        if (kSystemFrames[i].white) {
            fill(kFramePlaces[i].id, white_);
        }
    }
}

LRESULT frmMain::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            // Clicks, menu items and accelerators; not the controls' other news.
            if (HIWORD(wParam) <= 1) {
                Command(LOWORD(wParam));
            }
            return 0;
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN:
            return ControlColour(message, reinterpret_cast<HDC>(wParam),
                                 reinterpret_cast<HWND>(lParam));
        case WM_ERASEBKGND:
            PaintBackground(reinterpret_cast<HDC>(wParam));
            return 1;
        case WM_CLOSE:
            // The close box: the link is closed and the program ends, saving nothing.
            if (!unloaded_) {
                engine_.Unload();
            }
            return 0;
        case kUnloadDialogMessage:
            UnloadDialog(wParam);
            return 0;
        default:
            return Window::HandleMessage(message, wParam, lParam);
    }
}

}  // namespace skyfault::win32
