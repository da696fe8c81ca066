#include "ui/win32/frmPreferences.h"

#include <algorithm>
#include <string>

#include "engine/captions.h"
#include "engine/engine.h"
#include "engine/front_end.h"
#include "ui/win32/file_dialog.h"
#include "ui/win32/frmMain.h"
#include "ui/win32/resource.h"

namespace skyfault::win32 {

namespace caption = engine::caption;

namespace {

constexpr int kClientWidth = 400;
constexpr int kClientHeight = 332;
constexpr DWORD kButton = BS_PUSHBUTTON | WS_TABSTOP;
constexpr DWORD kBox = ES_LEFT | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP;
constexpr DWORD kLabel = SS_LEFT | SS_NOPREFIX;

WPARAM CheckOf(int value) {
    switch (engine::CheckStateOf(value)) {
        case engine::CheckState::Unchecked:
            return BST_UNCHECKED;
        case engine::CheckState::Greyed:
            return BST_INDETERMINATE;
        case engine::CheckState::Checked:
            break;
    }
    return BST_CHECKED;
}

void ShowCheck(HWND box, WPARAM check) {
    if (static_cast<WPARAM>(SendMessageW(box, BM_GETCHECK, 0, 0)) != check) {
        SendMessageW(box, BM_SETCHECK, check, 0);
    }
}

}  // namespace

frmPreferences::frmPreferences(frmMain& main) : main_(main), model_(main.Engine()) {
    Create(SKYFAULT_CLASS_PREFERENCES, caption::kFrmPreferences,
           WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU, kClientWidth, kClientHeight);
    BuildControls();
    ApplyDpi(Dpi());
    Render();
}

frmPreferences::~frmPreferences() = default;

void frmPreferences::BuildControls() {
    Add("STATIC", caption::kLblEnterFailureRate, kLabel, IDC_LBL_ENTER_FAILURE_RATE, 20, 32, 104,
        20);
    Add("EDIT", caption::kTxtRateDenominator, kBox, IDC_TXT_RATE_DENOMINATOR, 126, 29, 80, 22);
    // Made before its label, so that it lies over the label's blanks (placed
    // by AfterLayout) and follows the rate box in the tab order.
    Add("EDIT", caption::kTxtInterval, kBox, IDC_TXT_INTERVAL, 170, 59, 60, 22);
    const std::string intervalText = engine::IntervalLabel();
    // Clipped, so that it never draws over the box lying on it.
    Add("STATIC", intervalText.c_str(), kLabel | WS_CLIPSIBLINGS, IDC_LBL_INTERVAL_DESC, 20, 62,
        360, 20);
    // The frame around them comes last: below them, it does not clip the label.
    AddFrame(caption::kFraFrequencySettings, IDC_FRA_FREQUENCY_SETTINGS, 8, 6, 384, 84);

    Add("STATIC", caption::kLblDefaultSound, kLabel, IDC_LBL_DEFAULT_SOUND, 8, 100, 384, 18);
    Add("EDIT", "", kBox, IDC_TXT_DEFAULT_SOUND, 8, 120, 298, 22);
    Add("BUTTON", caption::kBrowse, kButton, IDC_CMD_DEFAULT_BROWSE, 312, 119, 80, 24);
    Add("BUTTON", caption::kChkAudio, BS_3STATE | WS_TABSTOP, IDC_CHK_AUDIO, 8, 152, 384, 20);
    Add("BUTTON", caption::kChkText, BS_3STATE | WS_TABSTOP, IDC_CHK_TEXT, 8, 176, 384, 20);

    AddFrame(caption::kFraFuelLeakSpeed, IDC_FRA_FUEL_LEAK_SPEED, 8, 202, 384, 54);
    for (int index = 0; index < 3; ++index) {
        // One group: the arrow keys move between the options; the Tab key
        // stops at the selected one (see Render).
        const DWORD group = index == 0 ? WS_GROUP | WS_TABSTOP : 0;
        Add("BUTTON", caption::kOptFuelLeakSpeed[index], BS_RADIOBUTTON | group,
            IDC_OPT_FUEL_LEAK_SPEED(index), 20 + index * 124, 226, 110, 20);
    }
    Add("BUTTON", caption::kChkPause, BS_3STATE | WS_TABSTOP | WS_GROUP, IDC_CHK_PAUSE, 8, 266, 384,
        20);

    Add("BUTTON", caption::kOK, kButton, IDC_CMD_PREFS_OK, 110, 298, 84, 28);
    Add("BUTTON", caption::kCancel, kButton, IDC_CMD_PREFS_CANCEL, 206, 298, 84, 28);
}

void frmPreferences::AfterLayout() {
    // The interval box over the blanks between "every" and "seconds".
    const HWND label = Control(IDC_LBL_INTERVAL_DESC);
    const HWND box = Control(IDC_TXT_INTERVAL);
    if (label == nullptr || box == nullptr) {
        return;
    }
    const HDC dc = GetDC(label);
    const HGDIOBJ old = SelectObject(dc, Font());
    SIZE lead{};
    SIZE blanks{};
    const std::string leadText = std::string(engine::kIntervalLead) + " ";
    const std::string blankText(engine::kIntervalBlanks - 2, ' ');
    GetTextExtentPoint32W(dc, Widen(leadText).c_str(), static_cast<int>(leadText.size()), &lead);
    GetTextExtentPoint32W(dc, Widen(blankText).c_str(), static_cast<int>(blankText.size()),
                          &blanks);
    SelectObject(dc, old);
    ReleaseDC(label, dc);
    RECT rect;
    GetWindowRect(label, &rect);
    MapWindowPoints(nullptr, hwnd(), reinterpret_cast<POINT*>(&rect), 2);
    const int height = Scale(22);
    MoveWindow(box, rect.left + lead.cx, rect.top + (rect.bottom - rect.top - height) / 2,
               std::max(static_cast<int>(blanks.cx), Scale(50)), height, TRUE);
}

void frmPreferences::Showing() {
    model_.Show();
    Render();
}

void frmPreferences::Render() {
    rendering_ = true;
    const engine::PreferencesForm& form = model_.form();
    SetText(Control(IDC_TXT_RATE_DENOMINATOR), form.txtRateDenominator);
    SetText(Control(IDC_TXT_INTERVAL), form.txtInterval);
    SetText(Control(IDC_TXT_DEFAULT_SOUND), form.txtDefaultSound);
    ShowCheck(Control(IDC_CHK_AUDIO), CheckOf(form.chkAudio));
    ShowCheck(Control(IDC_CHK_TEXT), CheckOf(form.chkText));
    ShowCheck(Control(IDC_CHK_PAUSE), CheckOf(form.chkPause));
    const int tabStop =
        form.optFuelLeakSpeed >= 0 && form.optFuelLeakSpeed < 3 ? form.optFuelLeakSpeed : 0;
    for (int index = 0; index < 3; ++index) {
        const HWND option = Control(IDC_OPT_FUEL_LEAK_SPEED(index));
        ShowCheck(option, form.optFuelLeakSpeed == index ? BST_CHECKED : BST_UNCHECKED);
        const LONG_PTR style = GetWindowLongPtrW(option, GWL_STYLE);
        SetWindowLongPtrW(option, GWL_STYLE,
                          index == tabStop ? style | WS_TABSTOP : style & ~LONG_PTR{WS_TABSTOP});
    }
    rendering_ = false;
}

void frmPreferences::Ended(engine::DialogEnd how) {
    if (!model_.visible()) {
        main_.DialogEnded(engine::DialogId::Preferences, how);
    }
}

void frmPreferences::Command(int id, int notification) {
    if (notification == EN_CHANGE) {
        if (rendering_) {
            return;
        }
        const std::string text = GetText(Control(id));
        if (id == IDC_TXT_RATE_DENOMINATOR) {
            model_.SetRateText(text);
        } else if (id == IDC_TXT_INTERVAL) {
            model_.SetIntervalText(text);
        } else if (id == IDC_TXT_DEFAULT_SOUND && !model_.SetSoundText(text)) {
            Render();
            ShowRefusal(Control(id));
        }
        return;
    }
    if (notification != BN_CLICKED) {
        return;
    }
    switch (id) {
        case IDC_CMD_PREFS_OK:
            model_.cmdPrefsOK_Click();
            Render();
            Ended(engine::DialogEnd::Ok);
            return;
        case IDC_CMD_PREFS_CANCEL:
        case IDCANCEL:  // the Escape key
            model_.cmdPrefsCancel_Click();
            Render();
            Ended(engine::DialogEnd::Cancel);
            return;
        case IDC_CMD_DEFAULT_BROWSE:
            if (!model_.cmdDefaultBrowse_Click(
                    main_.Files().ChooseFile(hwnd(), std::string(engine::kOpenSoundFileTitle)))) {
                Render();
                ShowRefusal(Control(IDC_TXT_DEFAULT_SOUND));
                return;
            }
            break;
        case IDC_CHK_AUDIO:
            model_.chkAudio_Click();
            break;
        case IDC_CHK_TEXT:
            model_.chkText_Click();
            break;
        case IDC_CHK_PAUSE:
            model_.chkPause_Click();
            break;
        default:
            if (id >= IDC_OPT_FUEL_LEAK_SPEED(0) && id <= IDC_OPT_FUEL_LEAK_SPEED(2)) {
                model_.optFuelLeakSpeed_Click(id - IDC_OPT_FUEL_LEAK_SPEED(0));
            }
            break;
    }
    Render();
}

LRESULT frmPreferences::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            Command(LOWORD(wParam), HIWORD(wParam));
            return 0;
        case WM_CLOSE:  // the frame's close box is Cancel
            Command(IDC_CMD_PREFS_CANCEL, BN_CLICKED);
            return 0;
        default:
            return Window::HandleMessage(message, wParam, lParam);
    }
}

}  // namespace skyfault::win32
