// Opening a user's file on Windows: the UTF-8 path goes to the wide-character
// file API, so that any folder or file name works; a folder is refused by its
// attributes, anything that is not a file on disk (a pipe, a console, a
// device such as NUL or COM1) by the type of the opened handle.
#include "platform/win32.h"

#include <algorithm>
#include <string>

#include "settings/file_text.h"
#include "settings/regular_file.h"

namespace skyfault {
namespace {

// Another program holds the file (opened without sharing, or locked).
bool IsHeld(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

bool IsMissing(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

HANDLE AsHandle(std::intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

}  // namespace

std::string PathInCurrentFolder(std::string_view name) {
    const DWORD size = GetCurrentDirectoryW(0, nullptr);
    if (size == 0) {
        return std::string(name);
    }
    std::wstring folder(size, L'\0');
    const DWORD length = GetCurrentDirectoryW(size, folder.data());
    if (length == 0 || length >= size) {
        return std::string(name);
    }
    folder.resize(length);
    if (!folder.ends_with(L'\\')) {
        folder += L'\\';
    }
    return win32::Narrow(folder) + std::string(name);
}

std::string NarrowText(std::u16string_view text) {
    return Utf8ToFileText(win32::Narrow(
        std::wstring_view(reinterpret_cast<const wchar_t*>(text.data()), text.size())));
}

void RegularFile::Open(const std::string& path) {
    const std::wstring wide = win32::Widen(path);
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        status_ = Status::NotRegular;
        error_ = "it is a folder (\"" + path + "\")";  // what is wrong first
        return;
    }
    const HANDLE file = CreateFileW(wide.c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        status_ = IsMissing(error) ? Status::Missing
                  : IsHeld(error)  ? Status::Busy
                                   : Status::Failed;
        error_ = win32::SystemMessage(error);
        return;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileType(file) != FILE_TYPE_DISK || !GetFileInformationByHandle(file, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        CloseHandle(file);
        status_ = Status::NotRegular;
        error_ = "it is not a regular file (\"" + path + "\")";
        return;
    }
    status_ = Status::Open;
    size_ = (std::uint64_t(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    handle_ = reinterpret_cast<std::intptr_t>(file);
}

RegularFile::~RegularFile() {
    if (status_ == Status::Open) {
        CloseHandle(AsHandle(handle_));
    }
}

bool RegularFile::Read(std::size_t count, std::string& out) {
    if (status_ != Status::Open) {
        return false;
    }
    char buffer[65536];
    readLocked_ = false;
    while (count > 0) {
        DWORD got = 0;
        const DWORD chunk = static_cast<DWORD>(std::min(count, sizeof buffer));
        if (!ReadFile(AsHandle(handle_), buffer, chunk, &got, nullptr)) {
            const DWORD error = GetLastError();
            readLocked_ = IsHeld(error);
            error_ = "error while reading the file: " + win32::SystemMessage(error);
            return false;
        }
        if (got == 0) {
            break;
        }
        out.append(buffer, got);
        count -= got;
    }
    return true;
}

}  // namespace skyfault
