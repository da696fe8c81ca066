#include "ui/win32/frmAbout.h"

#include <string>

#include "engine/front_end.h"
#include "ui/win32/frmMain.h"
#include "ui/win32/resource.h"

namespace skyfault::win32 {

namespace {

constexpr int kClientWidth = 440;
constexpr int kClientHeight = 226;

}  // namespace

frmAbout::frmAbout(frmMain& main) : main_(main) {
    Create(SKYFAULT_CLASS_ABOUT, "", WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU, kClientWidth,
           kClientHeight);
    Add("STATIC", "", SS_ETCHEDHORZ, IDC_LIN_TOP, 8, 8, 424, 2);
    const HWND picture =
        Add("STATIC", "", SS_ICON | SS_REALSIZECONTROL, IDC_PIC_ICON, 16, 20, 64, 64);
    icon_ = static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_SKYFAULT),
                                          IMAGE_ICON, 64, 64, 0));
    SendMessageW(picture, STM_SETICON, reinterpret_cast<WPARAM>(icon_), 0);
    Add("EDIT", engine::AboutText("\r\n").c_str(),
        ES_LEFT | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL | WS_BORDER | WS_TABSTOP,
        IDC_TXT_ABOUT, 92, 18, 340, 146);
    Add("STATIC", "", SS_ETCHEDHORZ, IDC_LIN_BOTTOM, 8, 174, 424, 2);
    Add("BUTTON", "OK", BS_DEFPUSHBUTTON | WS_TABSTOP, IDC_CMD_OK, 348, 186, 84, 28);
    ApplyDpi(Dpi());
    Form_Load();
}

frmAbout::~frmAbout() {
    // The picture goes before the icon it shows.
    DestroyWindow(Control(IDC_PIC_ICON));
    if (icon_ != nullptr) {
        DestroyIcon(icon_);
    }
}

void frmAbout::Form_Load() {
    SetText(hwnd(), std::string("About ") + engine::kApplicationTitle);
    FocusControl(Control(IDC_CMD_OK));  // once the window is active
}

void frmAbout::Unload() {
    if (unloading_) {
        return;
    }
    unloading_ = true;
    main_.DialogEnded(engine::DialogId::About, engine::DialogEnd::Ok);
}

LRESULT frmAbout::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            // OK, and Enter and Escape.
            if (HIWORD(wParam) == BN_CLICKED &&
                (LOWORD(wParam) == IDC_CMD_OK || LOWORD(wParam) == IDOK ||
                 LOWORD(wParam) == IDCANCEL)) {
                Unload();
            }
            return 0;
        case DM_GETDEFID:
            return MAKELRESULT(IDC_CMD_OK, DC_HASDEFID);
        case WM_CLOSE:
            Unload();
            return 0;
        default:
            return Window::HandleMessage(message, wParam, lParam);
    }
}

}  // namespace skyfault::win32
