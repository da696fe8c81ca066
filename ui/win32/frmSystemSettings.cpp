#include "ui/win32/frmSystemSettings.h"

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

using engine::SystemBox;

constexpr int kClientWidth = 440;
constexpr int kClientHeight = 334;
constexpr DWORD kButton = BS_PUSHBUTTON | WS_TABSTOP;
constexpr DWORD kBox = ES_LEFT | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP;
constexpr DWORD kLabel = SS_LEFT | SS_NOPREFIX;

struct BoxId {
    SystemBox box;
    int id;
};
constexpr BoxId kBoxes[] = {
    {SystemBox::SystemRate, IDC_TXT_SYSTEM_RATE}, {SystemBox::BegIAS, IDC_TXT_BEG_IAS},
    {SystemBox::EndIAS, IDC_TXT_END_IAS},         {SystemBox::BegOAT, IDC_TXT_BEG_OAT},
    {SystemBox::EndOAT, IDC_TXT_END_OAT},         {SystemBox::BegAlt, IDC_TXT_BEG_ALT},
    {SystemBox::EndAlt, IDC_TXT_END_ALT},         {SystemBox::SystemSound, IDC_TXT_SYSTEM_SOUND},
};

}  // namespace

frmSystemSettings::frmSystemSettings(frmMain& main) : main_(main), model_(main.Engine()) {
    Create(SKYFAULT_CLASS_SYSTEM_SETTINGS, caption::kFrmSystemSettings,
           WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU, kClientWidth, kClientHeight);
    BuildControls();
    ApplyDpi(Dpi());
    Render();
}

frmSystemSettings::~frmSystemSettings() = default;

void frmSystemSettings::BuildControls() {
    Add("STATIC", caption::kLblSystemTitle, kLabel, IDC_LBL_SYSTEM_TITLE, 8, 12, 64, 20);
    const HWND list = Add("COMBOBOX", "", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP,
                          IDC_CMB_SYSTEM, 76, 8, 250, 320);
    for (std::string_view entry : engine::SystemListEntries()) {
        const std::string text(entry);
        SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(text).c_str()));
    }

    Add("STATIC", caption::kLblEnterFailureRate, kLabel, IDC_LBL_SYS_ENTER_FAILURE_RATE, 8, 46, 104,
        20);
    Add("EDIT", caption::kTxtRateDenominator, kBox, IDC_TXT_SYSTEM_RATE, 114, 43, 76, 22);
    Add("STATIC", caption::kLblShowTimePeriod, kLabel, IDC_LBL_SHOW_TIME_PERIOD, 198, 46, 234, 20);

    AddFrame(caption::kFraFailureCriteria, IDC_FRA_FAILURE_CRITERIA, 8, 74, 424, 154);
    Add("STATIC", caption::kLblFailureNote, kLabel, IDC_LBL_FAILURE_NOTE, 20, 94, 400, 36);
    Add("STATIC", caption::kLblIAS, kLabel, IDC_LBL_IAS, 20, 139, 200, 20);
    Add("EDIT", "", kBox, IDC_TXT_BEG_IAS, 226, 136, 94, 22);
    Add("EDIT", "", kBox, IDC_TXT_END_IAS, 326, 136, 94, 22);
    Add("STATIC", caption::kLblOAT, kLabel, IDC_LBL_OAT, 20, 167, 204, 20);
    Add("EDIT", "", kBox, IDC_TXT_BEG_OAT, 226, 164, 94, 22);
    Add("EDIT", "", kBox, IDC_TXT_END_OAT, 326, 164, 94, 22);
    Add("STATIC", caption::kLblAltitude, kLabel, IDC_LBL_ALTITUDE, 20, 195, 200, 20);
    Add("EDIT", "", kBox, IDC_TXT_BEG_ALT, 226, 192, 94, 22);
    Add("EDIT", "", kBox, IDC_TXT_END_ALT, 326, 192, 94, 22);

    Add("STATIC", caption::kLblSystemSound, kLabel, IDC_LBL_SYSTEM_SOUND, 8, 238, 424, 18);
    Add("EDIT", "", kBox, IDC_TXT_SYSTEM_SOUND, 8, 258, 338, 22);
    Add("BUTTON", caption::kBrowse, kButton, IDC_CMD_SOUND_BROWSE, 352, 257, 80, 24);

    Add("BUTTON", caption::kOK, kButton, IDC_CMD_OK_SYSTEM_SETTINGS, 88, 296, 84, 28);
    Add("BUTTON", caption::kCmdResetSystemSettings, kButton, IDC_CMD_RESET_SYSTEM_SETTINGS, 178,
        296, 84, 28);
    Add("BUTTON", caption::kCancel, kButton, IDC_CMD_CANCEL_SYSTEM_SETTINGS, 268, 296, 84, 28);
}

void frmSystemSettings::Showing() {
    model_.Show();  // after OK: from the tables again
    Render();
}

void frmSystemSettings::Render() {
    rendering_ = true;
    const engine::SystemSettingsForm& form = model_.form();
    const HWND list = Control(IDC_CMB_SYSTEM);
    if (SendMessageW(list, CB_GETCURSEL, 0, 0) != form.cmbSystem) {
        SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(form.cmbSystem), 0);
    }
    for (const BoxId& box : kBoxes) {
        SetText(Control(box.id), form.Box(box.box));
    }
    SetText(Control(IDC_LBL_SHOW_TIME_PERIOD), form.lblShowTimePeriod);
    rendering_ = false;
}

void frmSystemSettings::Command(int id, int notification) {
    if (rendering_) {
        return;
    }
    if (id == IDC_CMB_SYSTEM) {
        if (notification == CBN_SELCHANGE) {
            const auto position = static_cast<int>(SendMessageW(Control(id), CB_GETCURSEL, 0, 0));
            if (position >= 0) {
                model_.cmbSystem_Click(position);
                Render();
            }
        }
        return;
    }
    if (notification == EN_CHANGE) {
        for (const BoxId& box : kBoxes) {
            if (box.id == id && !model_.SetText(box.box, GetText(Control(id)))) {
                Render();
                ShowRefusal(Control(id));
            }
        }
        return;
    }
    if (notification != BN_CLICKED) {
        return;
    }
    switch (id) {
        case IDC_CMD_OK_SYSTEM_SETTINGS:
            model_.cmdOKSystemSettings_Click();
            Render();
            if (!model_.visible()) {
                main_.DialogEnded(engine::DialogId::SystemSettings, engine::DialogEnd::Ok);
            }
            return;
        case IDC_CMD_RESET_SYSTEM_SETTINGS:
            model_.cmdResetSystemSettings_Click();
            break;
        case IDC_CMD_CANCEL_SYSTEM_SETTINGS:
        case IDCANCEL:  // the Escape key
            if (model_.unloaded()) {
                return;
            }
            model_.cmdCancelSystemSettings_Click();
            Render();
            if (model_.unloaded()) {
                // Destroyed by the main window once this handler has returned.
                main_.DialogEnded(engine::DialogId::SystemSettings, engine::DialogEnd::Cancel);
            }
            return;
        case IDC_CMD_SOUND_BROWSE:
            // The platform's own title: the dialog has none of its own.
            if (!model_.cmdSoundBrowse_Click(main_.Files().ChooseFile(hwnd(), std::string()))) {
                Render();
                ShowRefusal(Control(IDC_TXT_SYSTEM_SOUND));
                return;
            }
            break;
        default:
            return;
    }
    Render();
}

LRESULT frmSystemSettings::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            Command(LOWORD(wParam), HIWORD(wParam));
            return 0;
        case WM_CLOSE:  // the frame's close box is Cancel
            Command(IDC_CMD_CANCEL_SYSTEM_SETTINGS, BN_CLICKED);
            return 0;
        default:
            return Window::HandleMessage(message, wParam, lParam);
    }
}

}  // namespace skyfault::win32
