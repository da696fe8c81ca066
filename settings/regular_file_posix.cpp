// Opening a user's file on POSIX systems: the name is looked at first, so
// that nothing but a regular file is ever opened; the open itself does not
// wait (O_NONBLOCK), and the opened file is checked again, since the name may
// have changed in between.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

#include "settings/regular_file.h"

namespace skyfault {
namespace {

std::string Quoted(const std::string& path) {
    return "\"" + path + "\"";
}

std::string NotRegularReason(const std::string& path, mode_t mode) {
    return Quoted(path) + (S_ISDIR(mode) ? " is a folder" : " is not a regular file");
}

}  // namespace

void RegularFile::Open(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        const int error = errno;
        status_ = error == ENOENT || error == ENOTDIR ? Status::Missing : Status::Failed;
        error_ = std::generic_category().message(error);
        return;
    }
    if (!S_ISREG(info.st_mode)) {
        status_ = Status::NotRegular;
        error_ = NotRegularReason(path, info.st_mode);
        return;
    }
    int fd = -1;
    do {
        fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        const int error = errno;
        status_ = error == ENOENT || error == ENOTDIR ? Status::Missing : Status::Failed;
        error_ = std::generic_category().message(error);
        return;
    }
    if (::fstat(fd, &info) != 0) {
        error_ = std::generic_category().message(errno);
        ::close(fd);
        return;
    }
    if (!S_ISREG(info.st_mode)) {
        ::close(fd);
        status_ = Status::NotRegular;
        error_ = NotRegularReason(path, info.st_mode);
        return;
    }
    status_ = Status::Open;
    size_ = info.st_size > 0 ? static_cast<std::uint64_t>(info.st_size) : 0;
    handle_ = fd;
}

RegularFile::~RegularFile() {
    if (handle_ >= 0) {
        ::close(static_cast<int>(handle_));
    }
}

bool RegularFile::Read(std::size_t count, std::string& out) {
    if (handle_ < 0) {
        return false;
    }
    char buffer[65536];
    while (count > 0) {
        const ssize_t got =
            ::read(static_cast<int>(handle_), buffer, std::min(count, sizeof buffer));
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            error_ = "error while reading the file: " + std::generic_category().message(errno);
            return false;
        }
        if (got == 0) {
            break;
        }
        out.append(buffer, static_cast<std::size_t>(got));
        count -= static_cast<std::size_t>(got);
    }
    return true;
}

}  // namespace skyfault
