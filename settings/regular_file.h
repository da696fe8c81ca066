#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace skyfault {

// The full path of `name` in the current folder, as it is when called: the
// program asks once, at start, so that a later change of the current folder
// (Windows' file-open dialog makes one) moves nothing. Just `name` when the
// current folder cannot be found out. Paths in this library are UTF-8 on
// Windows (see below) and the file system's bytes elsewhere.
std::string PathInCurrentFolder(std::string_view name);

// Text in UTF-16 (a file saved as "Unicode") as the 8-bit text this program
// holds: UTF-8 on POSIX systems, the ANSI code page on Windows, where a
// character the code page lacks becomes "?".
std::string NarrowText(std::u16string_view text);

// A file named by the user, opened for reading only when it is a regular
// file on disk. A folder, a FIFO, a device or a socket is refused before
// anything is read, and opening never waits (a FIFO without a writer would
// hold the caller for good). Every read is bounded by its caller. On POSIX
// systems the path is taken as the bytes it holds; on Windows it is UTF-8,
// opened through the wide-character file API, and a name that is not UTF-8
// is taken in the ANSI code page (as older files hold sound paths).
class RegularFile final {
public:
    enum class Status {
        Open,        // a regular file, ready to read
        Missing,     // nothing by that name, also a link that leads nowhere
        NotRegular,  // a folder, FIFO, device or socket: never read
        Failed,      // there, but it cannot be opened (permissions and the like)
        Busy,        // held by another program (Windows' sharing, a lease): try later
    };

    explicit RegularFile(const std::string& path);
    ~RegularFile();
    RegularFile(const RegularFile&) = delete;
    RegularFile& operator=(const RegularFile&) = delete;

    Status status() const { return status_; }
    // Why the file is not open, or why a read failed; a text for the user.
    const std::string& error() const { return error_; }
    // The size in bytes when the file was opened.
    std::uint64_t size() const { return size_; }

    // Appends at most `count` further bytes to `out`, fewer only at the end
    // of the file. False on a read error (error() says why) or when the file
    // is not open.
    bool Read(std::size_t count, std::string& out);
    // The last read failed because another program locked part of the file.
    bool readLocked() const { return readLocked_; }

private:
    // Opens a name already known to be usable; the platform's part.
    void Open(const std::string& path);

    Status status_ = Status::Failed;
    std::string error_;
    std::uint64_t size_ = 0;
    bool readLocked_ = false;
    std::intptr_t handle_ = -1;  // the descriptor or handle; -1 when not open
};

}  // namespace skyfault
