// Opening a user's file on Windows: the UTF-8 path goes to the wide-character
// file API, so that any folder or file name works; a folder is refused by its attributes, anything
// that is not a file on disk (a pipe, a console, a device such as NUL or COM1) by the type of the
// opened handle.
#include "platform/win32.h"

#include <algorithm>
#include <string>

#include "settings/regular_file.h"

namespace skyfault {
namespace {

bool IsMissing(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

HANDLE AsHandle(std::intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

}  // namespace

void RegularFile::Open(const std::string& path) {
    const std::wstring wide = win32::Widen(path);
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        status_ = Status::NotRegular;
        error_ = "\"" + path + "\" is a folder";
        return;
    }
    const HANDLE file = CreateFileW(wide.c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        status_ = IsMissing(error) ? Status::Missing : Status::Failed;
        error_ = win32::SystemMessage(error);
        return;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileType(file) != FILE_TYPE_DISK || !GetFileInformationByHandle(file, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        CloseHandle(file);
        status_ = Status::NotRegular;
        error_ = "\"" + path + "\" is not a regular file";
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
    while (count > 0) {
        DWORD got = 0;
        const DWORD chunk = static_cast<DWORD>(std::min(count, sizeof buffer));
        if (!ReadFile(AsHandle(handle_), buffer, chunk, &got, nullptr)) {
            error_ = "error while reading the file: " + win32::SystemMessage(GetLastError());
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
