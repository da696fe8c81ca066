// Replacing the configuration file on POSIX systems: a new file beside the old
// one, flushed to disk, then renamed over it in one step. A symbolic link is
// followed to the file it leads to, which is replaced; the link stays.
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

// The system's reason first, so that a message cut short by its box still
// says what went wrong.
std::string Reason(const std::string& step, int error) {
    return std::generic_category().message(error) + " (" + step + ")";
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

// Where a chain of symbolic links starting at `path` ends: the name of the
// file to replace, which need not exist yet (a dangling link is saved to the
// name it leads to). `path` itself when it is no link.
bool FollowLinks(const std::string& path, std::string& target, std::string& reason) {
    target = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat info {};
        if (::lstat(target.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
            return true;
        }
        char buffer[4096];
        const ssize_t length = ::readlink(target.c_str(), buffer, sizeof buffer);
        if (length < 0) {
            reason = Reason("cannot follow the link \"" + target + "\"", errno);
            return false;
        }
        if (static_cast<std::size_t>(length) == sizeof buffer) {
            reason = Reason("cannot follow the link \"" + target + "\"", ENAMETOOLONG);
            return false;
        }
        const std::string next(buffer, static_cast<std::size_t>(length));
        target = next.starts_with('/') ? next : FolderOf(target) + "/" + next;
    }
    reason = Reason("cannot follow the link \"" + path + "\"", ELOOP);
    return false;
}

}  // namespace

std::string SaveConfigFile(const std::string& path, std::string_view bytes,
                           std::string* keptOldAs) {
    if (path.empty()) {
        return "no file name";
    }
    std::string target;
    std::string reason;
    if (!FollowLinks(path, target, reason)) {
        return reason;
    }
    // Only a regular file is replaced; its permission bits go to the new one.
    struct stat old {};
    const bool hadFile = ::stat(target.c_str(), &old) == 0;
    if (hadFile && !S_ISREG(old.st_mode)) {
        return std::string(S_ISDIR(old.st_mode) ? "it is a folder" : "it is not a regular file") +
               " (cannot replace \"" + target + "\")";
    }
    // A fresh name beside the target; O_EXCL never reuses an existing file.
    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = target + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(attempt);
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (fd < 0 && errno != EEXIST) {
            return Reason("cannot create a new file beside \"" + target + "\"", errno);
        }
    }
    if (fd < 0) {
        return "every temporary name is taken (cannot create a new file beside \"" + target + "\")";
    }

    auto fail = [&](const std::string& step, int error) {
        if (fd >= 0) {
            ::close(fd);
        }
        ::unlink(temp.c_str());
        return Reason(step, error);
    };

    if (hadFile && ::fchmod(fd, old.st_mode & 0777) != 0) {
        return fail("cannot give the new file the old one's permissions", errno);
    }

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
    // The old file kept: a second name for it, under which it stays once
    // the new file has taken its place.
    // Where the file system has no second names (FAT, some network file
    // systems) the old file is moved to the free name instead, and moved
    // back should the new one not take its place.
    std::string kept;
    bool moved = false;
    if (keptOldAs != nullptr && hadFile) {
        for (int n = 1; n <= 100 && kept.empty(); ++n) {
            const std::string name = target + ".unread" + (n > 1 ? std::to_string(n) : "");
            struct stat taken {};
            if (::link(target.c_str(), name.c_str()) == 0) {
                kept = name;
            } else if (errno != EEXIST && ::lstat(name.c_str(), &taken) != 0 && errno == ENOENT) {
                if (::rename(target.c_str(), name.c_str()) != 0) {
                    return fail("cannot keep the old file as \"" + name + "\"", errno);
                }
                kept = name;
                moved = true;
            } else if (errno != EEXIST) {
                return fail("cannot keep the old file as \"" + name + "\"", errno);
            }
        }
        if (kept.empty()) {
            return fail("cannot keep the old file: every name is taken", EEXIST);
        }
    }
    if (::rename(temp.c_str(), target.c_str()) != 0) {
        const int error = errno;
        if (moved) {
            ::rename(kept.c_str(), target.c_str());
        } else if (!kept.empty()) {
            ::unlink(kept.c_str());
        }
        return fail("cannot replace \"" + target + "\"", error);
    }
    if (keptOldAs != nullptr) {
        *keptOldAs = kept;
    }
    SyncFolder(FolderOf(target));
    RemoveAbandonedTemporaries(target);
    return "";
}

}  // namespace skyfault
