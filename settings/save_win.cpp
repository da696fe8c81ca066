// Replacing the configuration file on Windows: a new file beside the old one,
// flushed to disk, then moved over it in one step.
#include "platform/win32.h"

#include <string>

#include "settings/config.h"

namespace skyfault {
namespace {

std::string Reason(const std::string& step, DWORD error) {
    return step + ": " + win32::SystemMessage(error);
}

}  // namespace

std::string SaveConfigFile(const std::string& path, std::string_view bytes) {
    if (path.empty()) {
        return "no file name";
    }
    // A fresh name beside the target; CREATE_NEW never reuses an existing file.
    std::string temp;
    HANDLE file = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 100 && file == INVALID_HANDLE_VALUE; ++attempt) {
        temp =
            path + ".tmp" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(attempt);
        file = CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            const DWORD error = GetLastError();
            if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
                return Reason("cannot create a new file beside \"" + path + "\"", error);
            }
        }
    }
    if (file == INVALID_HANDLE_VALUE) {
        return "cannot create a new file beside \"" + path + "\": every temporary name is taken";
    }

    auto fail = [&](const std::string& step, DWORD error) {
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
        }
        DeleteFileA(temp.c_str());
        return Reason(step, error);
    };

    const char* data = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const DWORD chunk = left > (1u << 30) ? (1u << 30) : static_cast<DWORD>(left);
        DWORD written = 0;
        if (!WriteFile(file, data, chunk, &written, nullptr)) {
            return fail("cannot write the new file", GetLastError());
        }
        data += written;
        left -= written;
    }
    if (!FlushFileBuffers(file)) {
        return fail("cannot flush the new file to disk", GetLastError());
    }
    const BOOL closed = CloseHandle(file);
    file = INVALID_HANDLE_VALUE;
    if (!closed) {
        return fail("cannot close the new file", GetLastError());
    }

    // A read-only target would refuse to be replaced: lift the attribute for
    // the move, and put it back should the move fail.
    const DWORD attributes = GetFileAttributesA(path.c_str());
    const bool readOnly = attributes != INVALID_FILE_ATTRIBUTES &&
                          (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
                          (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    if (readOnly && !SetFileAttributesA(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY)) {
        return fail("cannot replace the read-only \"" + path + "\"", GetLastError());
    }
    if (!MoveFileExA(temp.c_str(), path.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD error = GetLastError();
        if (readOnly) {
            SetFileAttributesA(path.c_str(), attributes);
        }
        return fail("cannot replace \"" + path + "\"", error);
    }
    return "";
}

}  // namespace skyfault
