#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace skyfault {

// A file named by the user, opened for reading only when it is a regular
// file on disk. A folder, a FIFO, a device or a socket is refused before
// anything is read, and opening never waits (a FIFO without a writer would
// hold the caller for good). Every read is bounded by its caller. The path
// is taken as the bytes it holds: the platform's file-name encoding.
class RegularFile final {
public:
    enum class Status {
        Open,        // a regular file, ready to read
        Missing,     // nothing by that name, also a link that leads nowhere
        NotRegular,  // a folder, FIFO, device or socket: never read
        Failed,      // there, but it cannot be opened (permissions and the like)
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

private:
    // Opens a name already known to be usable; the platform's part.
    void Open(const std::string& path);

    Status status_ = Status::Failed;
    std::string error_;
    std::uint64_t size_ = 0;
    std::intptr_t handle_ = -1;  // the descriptor or handle; -1 when not open
};

}  // namespace skyfault
