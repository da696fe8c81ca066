// Replacing the configuration file on POSIX systems: a new file beside the old
// one, flushed to disk, then renamed over it in one step.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "settings/config.h"

namespace skyfault {
namespace {

std::string Reason(const std::string& step, int error) {
    return step + ": " + std::generic_category().message(error);
}

std::string FolderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Best effort: makes the rename itself durable.
void SyncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// Removes the temporary files that saves of processes no longer running left
// beside `path` when they were killed before their rename.
void RemoveAbandonedTemporaries(const std::string& path) {
    const std::filesystem::path target(path);
    const std::string prefix = target.filename().string() + ".tmp";
    std::error_code error;
    const std::filesystem::path folder = target.has_parent_path() ? target.parent_path() : ".";
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        if (!name.starts_with(prefix)) {
            continue;
        }
        // The rest is "<pid>-<attempt>".
        const char* first = name.data() + prefix.size();
        const char* last = name.data() + name.size();
        pid_t pid = 0;
        const auto [end, status] = std::from_chars(first, last, pid);
        if (status != std::errc() || end == first || end == last || *end != '-' || pid <= 0) {
            continue;
        }
        if (::kill(pid, 0) != 0 && errno == ESRCH) {
            ::unlink(entry.path().c_str());
        }
    }
}

}  // namespace

std::string SaveConfigFile(const std::string& path, std::string_view bytes) {
    if (path.empty()) {
        return "no file name";
    }
    // A fresh name beside the target; O_EXCL never reuses an existing file.
    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = path + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(attempt);
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) {
            return Reason("cannot create a new file beside \"" + path + "\"", errno);
        }
    }
    if (fd < 0) {
        return "cannot create a new file beside \"" + path + "\": every temporary name is taken";
    }

    auto fail = [&](const std::string& step, int error) {
        if (fd >= 0) {
            ::close(fd);
        }
        ::unlink(temp.c_str());
        return Reason(step, error);
    };

    const char* data = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, left);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return fail("cannot write the new file", errno);
        }
        data += written;
        left -= static_cast<std::size_t>(written);
    }
    if (::fsync(fd) != 0) {
        return fail("cannot flush the new file to disk", errno);
    }
    const int closed = ::close(fd);
    fd = -1;
    if (closed != 0) {
        return fail("cannot close the new file", errno);
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        return fail("cannot replace \"" + path + "\"", errno);
    }
    SyncFolder(FolderOf(path));
    RemoveAbandonedTemporaries(path);
    return "";
}

}  // namespace skyfault
