#pragma once

// The local transport's meeting place (POSIX only): the directory D where the
// server's sockets and the clients' block files live, and the ownership checks
// that client and server both make before trusting anything in it.

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace skyfault::link::local {

// D: "$XDG_RUNTIME_DIR/skyfault-ipc" when XDG_RUNTIME_DIR is an absolute
// path, else "/tmp/skyfault-ipc-<uid>" (effective uid in decimal).
std::string MeetingDirectory();

// The reason why `path` must not be used as D (a symbolic link, not a
// directory, not owned by the effective uid, or open to group or others), or
// nothing when it is fit for use.
std::optional<std::string> CheckMeetingDirectory(const std::string& path);

// Creates D with mode 0700 when it does not exist yet, then checks it. True
// with D's path in `path`; false with the reason in `error`.
bool PrepareMeetingDirectory(std::string& path, std::string& error);

// D/<entry>.
std::string MeetingPath(const std::string& directory, std::string_view entry);

// The file behind `fd` is a regular file of exactly `size` bytes, owned by
// the effective uid.
bool IsOwnRegularFile(int fd, std::uint64_t size);

// Same checks by path, without following a final symbolic link.
bool IsOwnRegularFile(const std::string& path, std::uint64_t size);

// The uid of the process at the other end of a connected AF_UNIX socket.
std::optional<uid_t> PeerUid(int socketFd);

// The peer runs under the effective uid of this process.
bool PeerIsEffectiveUser(int socketFd);

}  // namespace skyfault::link::local
