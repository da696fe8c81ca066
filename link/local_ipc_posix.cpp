#include "link/local_ipc_posix.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace skyfault::link::local {

std::string MeetingDirectory() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] == '/') {
        std::string path = runtime;
        while (path.size() > 1 && path.back() == '/') {
            path.pop_back();
        }
        if (path != "/") {
            path += '/';
        }
        return path + "skyfault-ipc";
    }
    return "/tmp/skyfault-ipc-" + std::to_string(static_cast<unsigned long>(geteuid()));
}

std::optional<std::string> CheckMeetingDirectory(const std::string& path) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0) {
        return path + ": " + std::strerror(errno);
    }
    if (S_ISLNK(info.st_mode)) {
        return path + " is a symbolic link";
    }
    if (!S_ISDIR(info.st_mode)) {
        return path + " is not a directory";
    }
    if (info.st_uid != geteuid()) {
        return path + " is not owned by this user";
    }
    if ((info.st_mode & 0077) != 0) {
        return path + " is open to group or others";
    }
    return std::nullopt;
}

bool PrepareMeetingDirectory(std::string& path, std::string& error) {
    path = MeetingDirectory();
    if (mkdir(path.c_str(), 0700) == 0) {
        // The umask may have taken bits away that the owner needs.
        const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd >= 0) {
            if (fchmod(fd, 0700) != 0) {
                error = path + ": " + std::strerror(errno);
                close(fd);
                return false;
            }
            close(fd);
        }
    } else if (errno != EEXIST) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    if (auto refusal = CheckMeetingDirectory(path)) {
        error = *refusal;
        return false;
    }
    return true;
}

std::string MeetingPath(const std::string& directory, std::string_view entry) {
    std::string path = directory;
    path += '/';
    path += entry;
    return path;
}

bool IsOwnRegularFile(int fd, std::uint64_t size) {
    struct stat info {};
    return fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == geteuid() &&
           info.st_size >= 0 && static_cast<std::uint64_t>(info.st_size) == size;
}

bool IsOwnRegularFile(const std::string& path, std::uint64_t size) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == geteuid() &&
           info.st_size >= 0 && static_cast<std::uint64_t>(info.st_size) == size;
}

std::optional<uid_t> PeerUid(int socketFd) {
#if defined(SO_PEERCRED)
    struct ucred credentials {};
    socklen_t length = sizeof credentials;
    if (getsockopt(socketFd, SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0 ||
        length != sizeof credentials) {
        return std::nullopt;
    }
    return credentials.uid;
#else
    uid_t uid = 0;
    gid_t gid = 0;
    if (getpeereid(socketFd, &uid, &gid) != 0) {
        return std::nullopt;
    }
    return uid;
#endif
}

bool PeerIsEffectiveUser(int socketFd) {
    const auto uid = PeerUid(socketFd);
    return uid.has_value() && *uid == geteuid();
}

}  // namespace skyfault::link::local
