#pragma once

#include <string>

#include "platform/win32.h"

namespace skyfault::win32 {

// The platform's file-open dialog, as the dialogs' Browse buttons use it:
// the full path of the chosen file, or an empty text when the user cancels.
class FileDialog {
public:
    virtual ~FileDialog() = default;
    // Owned by `owner` only (the other windows stay usable); no file-type
    // filter; an empty `title` gives the platform's own.
    virtual std::string ChooseFile(HWND owner, const std::string& title) = 0;
};

// GetOpenFileNameW: the path in UTF-8, whatever its characters (the dialog
// that takes it decides whether the settings can hold it). The current
// folder (where skyfault.cfg lives) is left as it was.
class Win32FileDialog final : public FileDialog {
public:
    std::string ChooseFile(HWND owner, const std::string& title) override;
};

}  // namespace skyfault::win32
