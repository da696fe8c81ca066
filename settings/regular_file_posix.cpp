// Opening a user's file on POSIX systems: the name is looked at first, so
// that nothing but a regular file is ever opened; the open itself does not
// wait (O_NONBLOCK), and the opened file is checked again, since the name may
// have changed in between.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <system_error>

#include "settings/regular_file.h"

namespace skyfault {
namespace {

std::string Quoted(const std::string& path) {
    return "\"" + path + "\"";
}

std::string NotRegularReason(const std::string& path, mode_t mode) {
    // What is wrong first: a long path must not hide it.
    return (S_ISDIR(mode) ? "it is a folder (" : "it is not a regular file (") + Quoted(path) + ")";
}

}  // namespace

std::string PathInCurrentFolder(std::string_view name) {
    for (std::size_t size = 4096; size <= (1u << 20); size *= 4) {
        const auto buffer = std::make_unique<char[]>(size);
        if (::getcwd(buffer.get(), size) != nullptr) {
            std::string path = buffer.get();
            if (!path.ends_with('/')) {
                path += '/';
            }
            return path + std::string(name);
        }
        if (errno != ERANGE) {
            break;
        }
    }
    return std::string(name);
}

std::string NarrowText(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;  // half a pair
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | c >> 6);
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | c >> 12);
            out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | c >> 18);
            out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
            out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

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
        // A lease held by another program refuses an open that may not wait.
        status_ = error == ENOENT || error == ENOTDIR ? Status::Missing
                  : error == EWOULDBLOCK              ? Status::Busy
                                                      : Status::Failed;
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
    readLocked_ = false;
    while (count > 0) {
        const ssize_t got =
            ::read(static_cast<int>(handle_), buffer, std::min(count, sizeof buffer));
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            readLocked_ = errno == EAGAIN;  // a mandatory lock of another program
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
