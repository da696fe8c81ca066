#include "ui/win32/file_dialog.h"

#include <commdlg.h>

namespace skyfault::win32 {

std::string Win32FileDialog::ChooseFile(HWND owner, const std::string& title) {
    std::string path(32768, '\0');
    OPENFILENAMEA dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.lpstrFile = path.data();
    dialog.nMaxFile = static_cast<DWORD>(path.size());
    dialog.lpstrTitle = title.empty() ? nullptr : title.c_str();
    dialog.Flags =
        OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    if (::GetOpenFileNameA(&dialog) == FALSE) {
        return {};
    }
    path.resize(path.find('\0'));
    return path;
}

std::string ScriptedFileDialog::ChooseFile(HWND owner, const std::string& title) {
    titlesAsked_.push_back(title);
    ownersAsked_.push_back(owner);
    if (answers_.empty()) {
        return {};
    }
    std::string answer = answers_.front();
    answers_.pop_front();
    return answer;
}

}  // namespace skyfault::win32
