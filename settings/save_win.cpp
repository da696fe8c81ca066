// Replacing the configuration file on Windows: a new file beside the old one,
// flushed to disk, then put in its place in one step: ReplaceFileW where the
// old file exists (it keeps the old file's attributes, owner and
// permissions), MoveFileExW where it does not. Names go to the
// wide-character file API.
#include "platform/win32.h"

#include <charconv>
#include <string>

#include "settings/config.h"

namespace skyfault {
namespace {

// The system's reason first, so that a message cut short by its box still
// says what went wrong.
std::string Reason(const std::string& step, DWORD error) {
    return win32::SystemMessage(error) + " (" + step + ")";
}

// Waits up to a second while another program holds `name` so that it cannot
// be replaced (opened without sharing its deletion). False, with the last
// error set, when it is still held.
bool WaitUntilFree(const std::wstring& name) {
    for (int attempt = 0;; ++attempt) {
        const HANDLE probe = CreateFileW(name.c_str(), DELETE,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (probe != INVALID_HANDLE_VALUE) {
            CloseHandle(probe);
            return true;
        }
        const DWORD error = GetLastError();
        if ((error != ERROR_SHARING_VIOLATION && error != ERROR_LOCK_VIOLATION) || attempt >= 20) {
            SetLastError(error);
            return error != ERROR_SHARING_VIOLATION && error != ERROR_LOCK_VIOLATION;
        }
        Sleep(50);
    }
}

bool Exists(const std::wstring& name) {
    return GetFileAttributesW(name.c_str()) != INVALID_FILE_ATTRIBUTES ||
           GetLastError() == ERROR_SHARING_VIOLATION;
}

// True while a process of that id runs.
bool Running(DWORD pid) {
    const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (process == nullptr) {
        return GetLastError() != ERROR_INVALID_PARAMETER;  // no such process
    }
    DWORD code = 0;
    const bool running = GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
    CloseHandle(process);
    return running;
}

// Removes the temporary files that saves of processes no longer running left
// beside `path` when they were killed before their move.
void RemoveAbandonedTemporaries(const std::wstring& path) {
    const std::wstring prefix = path + L".tmp";
    const auto slash = path.find_last_of(L"\\/");
    const std::wstring folder = slash == std::wstring::npos ? L"" : path.substr(0, slash + 1);
    const std::wstring namePrefix = prefix.substr(folder.size());
    WIN32_FIND_DATAW found{};
    const HANDLE search = FindFirstFileW((prefix + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return;
    }
    do {
        // The rest of the name is "<pid>-<attempt>".
        const std::string rest = win32::Narrow(
            std::wstring_view(found.cFileName)
                .substr(std::min(namePrefix.size(), std::wstring_view(found.cFileName).size())));
        DWORD pid = 0;
        const auto [end, status] = std::from_chars(rest.data(), rest.data() + rest.size(), pid);
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 || status != std::errc() ||
            end == rest.data() || end == rest.data() + rest.size() || *end != '-' || pid == 0 ||
            Running(pid)) {
            continue;
        }
        DeleteFileW((folder + found.cFileName).c_str());
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

}  // namespace

std::string SaveConfigFile(const std::string& path, std::string_view bytes,
                           std::string* keptOldAs) {
    if (path.empty()) {
        return "no file name";
    }
    const std::wstring target = win32::Widen(path);
    // A fresh name beside the target; CREATE_NEW never reuses an existing file.
    std::wstring temp;
    HANDLE file = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 100 && file == INVALID_HANDLE_VALUE; ++attempt) {
        temp = target + L".tmp" + std::to_wstring(GetCurrentProcessId()) + L"-" +
               std::to_wstring(attempt);
        file = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            const DWORD error = GetLastError();
            if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
                return Reason("cannot create a new file beside \"" + path + "\"", error);
            }
        }
    }
    if (file == INVALID_HANDLE_VALUE) {
        return "every temporary name is taken (cannot create a new file beside \"" + path + "\")";
    }

    auto fail = [&](const std::string& step, DWORD error) {
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
        }
        DeleteFileW(temp.c_str());
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

    const DWORD attributes = GetFileAttributesW(target.c_str());
    const bool hadFile =
        attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    if (attributes != INVALID_FILE_ATTRIBUTES && !hadFile) {
        return fail("cannot replace \"" + path + "\", a folder", ERROR_DIRECTORY);
    }
    // The old file kept under a name not yet taken.
    std::wstring kept;
    if (keptOldAs != nullptr && hadFile) {
        for (int n = 1; n <= 100 && kept.empty(); ++n) {
            const std::wstring name = target + L".unread" + (n > 1 ? std::to_wstring(n) : L"");
            if (!Exists(name)) {
                kept = name;
            }
        }
        if (kept.empty()) {
            return fail("cannot keep the old file: every name is taken", ERROR_FILE_EXISTS);
        }
    }
    if (hadFile) {
        // A read-only file refuses to be replaced: the attribute is lifted
        // for the replacement, which takes the old file's attributes, and
        // put back on whichever file then stands there.
        const bool readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
        if (readOnly &&
            !SetFileAttributesW(target.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY)) {
            return fail("cannot replace the read-only \"" + path + "\"", GetLastError());
        }
        // Another program reading the old file (a virus scanner, a sync
        // tool) may hold it for a moment: the replacement waits up to a
        // second for it to be let go.
        if (!WaitUntilFree(target)) {
            const DWORD error = GetLastError();
            if (readOnly) {
                SetFileAttributesW(target.c_str(), attributes);
            }
            return fail("cannot replace \"" + path + "\"", error);
        }
        const BOOL replaced =
            ReplaceFileW(target.c_str(), temp.c_str(), kept.empty() ? nullptr : kept.c_str(),
                         REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr);
        const DWORD error = GetLastError();
        if (readOnly) {
            SetFileAttributesW(target.c_str(), attributes);
        }
        if (!replaced) {
            // Past ERROR_UNABLE_TO_MOVE_REPLACEMENT(_2) the old file is no
            // longer at its name: it is put back from the kept one.
            if ((error == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2 || !Exists(target)) && !kept.empty()) {
                MoveFileExW(kept.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH);
            }
            return fail("cannot replace \"" + path + "\"", error);
        }
    } else if (!MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH)) {
        return fail("cannot save \"" + path + "\"", GetLastError());
    }
    if (keptOldAs != nullptr) {
        *keptOldAs = win32::Narrow(kept);
    }
    RemoveAbandonedTemporaries(target);
    return "";
}

}  // namespace skyfault
