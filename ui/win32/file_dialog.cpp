#include "ui/win32/file_dialog.h"

#include <commdlg.h>

namespace skyfault::win32 {

std::string Win32FileDialog::ChooseFile(HWND owner, const std::string& title) {
    std::wstring path(32768, L'\0');
    const std::wstring wideTitle = Widen(title);
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.lpstrFile = path.data();
    dialog.nMaxFile = static_cast<DWORD>(path.size());
    dialog.lpstrTitle = title.empty() ? nullptr : wideTitle.c_str();
    dialog.Flags =
        OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    if (::GetOpenFileNameW(&dialog) == FALSE) {
        return {};
    }
    path.resize(path.find(L'\0'));
    return Narrow(path);
}

}  // namespace skyfault::win32
