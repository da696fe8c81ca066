#include "link/transport_posix.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "link/local_ipc.h"
#include "link/local_ipc_posix.h"

namespace skyfault::link {

namespace {

#if defined(MSG_NOSIGNAL)
constexpr int kSendFlags = MSG_NOSIGNAL;
#else
constexpr int kSendFlags = 0;
#endif

// Window classes become file names: letters, digits and '_' only.
bool IsSafeClassName(std::string_view name) {
    return !name.empty() && name.size() <= 64 && std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
               c == '_';
    });
}

using Clock = std::chrono::steady_clock;

// How often a connection is tried again while the server's listen queue is
// full (it takes no connection now, but may soon).
constexpr int kConnectRetryMs = 10;

// Milliseconds left until `deadline` (0 once it has passed), rounded up.
int MillisecondsLeft(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    return static_cast<int>(std::clamp<std::int64_t>(left.count(), 0, 0x7FFFFFFF));
}

// Waits until `fd` is ready for `events` or `deadline` passes. True when
// ready (or in error: the next call on `fd` tells which); false on time-out
// or when poll itself fails, with `error` 0 for a time-out.
bool WaitUntil(int fd, short events, Clock::time_point deadline, int& error) {
    for (;;) {
        const int left = MillisecondsLeft(deadline);
        if (left == 0) {
            error = 0;
            return false;
        }
        pollfd wait{fd, events, 0};
        const int ready = poll(&wait, 1, left);
        if (ready > 0) {
            return true;
        }
        if (ready < 0 && errno != EINTR) {
            error = errno;
            return false;
        }
    }
}

// A connected, non-blocking socket to `path` before `deadline`, or -1. On -1,
// `error` is 0 when the server took no connection in time (its listen queue
// stayed full) and the errno of the failure otherwise (nobody listens, ...).
// A deadline that has passed still makes one attempt.
int ConnectWithin(const std::string& path, Clock::time_point deadline, int& error) {
    sockaddr_un address{};
    if (path.size() >= sizeof address.sun_path) {
        error = ENAMETOOLONG;
        return -1;
    }
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        error = errno;
        return -1;
    }
    const auto fail = [fd, &error](int code) {
        close(fd);
        error = code;
        return -1;
    };
    for (;;) {
        if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
            return fd;
        }
        if (errno == EINPROGRESS || errno == EALREADY || errno == EINTR) {
            // Completes in the background: wait for it, then ask how it ended.
            int code = 0;
            if (!WaitUntil(fd, POLLOUT, deadline, code)) {
                return fail(code);
            }
            socklen_t length = sizeof code;
            if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &code, &length) != 0) {
                return fail(errno);
            }
            return code == 0 ? fd : fail(code);
        }
        if (errno != EAGAIN) {
            return fail(errno);
        }
        // The listen queue is full: someone listens but accepts nothing now.
        const int left = MillisecondsLeft(deadline);
        if (left == 0) {
            return fail(0);
        }
        poll(nullptr, 0, std::min(left, kConnectRetryMs));
    }
}

// Writes all of `data` to the non-blocking `fd` before `deadline`. False with
// `error` 0 on time-out (the server reads nothing), the errno otherwise.
bool SendWithin(int fd, const std::uint8_t* data, std::size_t size, Clock::time_point deadline,
                int& error) {
    while (size > 0) {
        const ssize_t sent = send(fd, data, size, kSendFlags);
        if (sent >= 0) {
            data += sent;
            size -= static_cast<std::size_t>(sent);
            continue;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            error = errno;
            return false;
        }
        if (!WaitUntil(fd, POLLOUT, deadline, error)) {
            return false;
        }
    }
    return true;
}

int CreateBlockFile(const std::string& path) {
    return open(path.c_str(), O_CREAT | O_EXCL | O_NOFOLLOW | O_RDWR | O_CLOEXEC, 0600);
}

// The block files that links of this process hold now: the one kind of file
// of our own name that is not a leftover.
struct BlockRegistry {
    std::mutex lock;
    std::set<std::string> paths;
};

BlockRegistry& BlocksInUse() {
    static BlockRegistry registry;
    return registry;
}

class LocalTransport final : public Transport {
public:
    explicit LocalTransport(LocalTransportOptions options) : options_(std::move(options)) {}

    ~LocalTransport() override {
        for (auto& [handle, connection] : windows_) {
            Disconnect(connection);
        }
        for (auto& [view, size] : views_) {
            munmap(view, size);
        }
        for (auto& [handle, mapping] : mappings_) {
            RemoveBlockFile(mapping);
        }
    }

    std::uintptr_t FindServerWindow(std::string_view className) override {
        std::string directory;
        std::string error;
        if (!IsSafeClassName(className) || !local::PrepareMeetingDirectory(directory, error)) {
            return 0;
        }
        Connection connection;
        connection.path = local::MeetingPath(directory, className);
        // One attempt, no waiting. A server whose listen queue is full is
        // there all the same: the first send connects again, within its own
        // deadline.
        int failure = 0;
        connection.fd = ConnectWithin(connection.path, Clock::now(), failure);
        if ((connection.fd < 0 && failure != 0) || !Identify(connection)) {
            Disconnect(connection);
            return 0;
        }
        const std::uintptr_t handle = nextHandle_++;
        windows_.emplace(handle, std::move(connection));
        return handle;
    }

    void ReleaseWindow(std::uintptr_t window) override {
        const auto found = windows_.find(window);
        if (found != windows_.end()) {
            Disconnect(found->second);
            windows_.erase(found);
        }
    }

    // The window is the socket found at the open, while someone listens at
    // it. A server started again binds a new socket: another window.
    bool WindowExists(std::uintptr_t window) override {
        const auto found = windows_.find(window);
        if (found == windows_.end() || !IsSameSocket(found->second)) {
            return false;
        }
        Connection& connection = found->second;
        if (connection.fd >= 0 && !PeerHungUp(connection.fd)) {
            return true;
        }
        Disconnect(connection);
        // One attempt, no waiting; a connection made is the next send's.
        int failure = 0;
        connection.fd = ConnectWithin(connection.path, Clock::now(), failure);
        return connection.fd >= 0 || failure == 0;
    }

    std::uint32_t RegisterMessage(std::string_view name) override {
        return local::MessageNumber(name);
    }

    std::uint32_t CurrentProcessId() override { return static_cast<std::uint32_t>(getpid()); }

    std::uint16_t AddAtom(std::string_view name) override {
        if (name.empty()) {
            return 0;
        }
        for (std::uint32_t atom = 0xC000; atom <= 0xFFFF; ++atom) {
            const auto key = static_cast<std::uint16_t>(atom);
            if (atoms_.find(key) == atoms_.end()) {
                atoms_.emplace(key, std::string(name));
                return key;
            }
        }
        return 0;
    }

    void DeleteAtom(std::uint16_t atom) override { atoms_.erase(atom); }

    std::uintptr_t CreateMapping(std::string_view name, std::uint32_t size,
                                 bool& alreadyExisted) override {
        alreadyExisted = false;
        std::string directory;
        std::string error;
        if (!local::IsValidBlockName(name) || size == 0 ||
            !local::PrepareMeetingDirectory(directory, error)) {
            return 0;
        }
        Mapping mapping;
        mapping.path = local::MeetingPath(directory, name);
        mapping.size = size;
        const std::lock_guard names(BlocksInUse().lock);
        if (BlocksInUse().paths.count(mapping.path) != 0) {
            // Another link of this very process holds that block.
            alreadyExisted = true;
            return 0;
        }
        mapping.fd = CreateBlockFile(mapping.path);
        if (mapping.fd < 0 && errno == EEXIST) {
            // The place is ours alone and the name carries our process id:
            // what lies there was left by an earlier process that had the
            // same id and ended without closing its link. It is removed,
            // never opened, whatever it is.
            if (unlink(mapping.path.c_str()) == 0 || errno == ENOENT) {
                mapping.fd = CreateBlockFile(mapping.path);
            }
        }
        if (mapping.fd < 0) {
            alreadyExisted = errno == EEXIST;
            return 0;
        }
        // The umask may have taken away bits that the server needs.
        if (fchmod(mapping.fd, 0600) != 0 || ftruncate(mapping.fd, size) != 0 ||
            !local::IsOwnRegularFile(mapping.fd, size)) {
            close(mapping.fd);
            unlink(mapping.path.c_str());
            return 0;
        }
        BlocksInUse().paths.insert(mapping.path);
        const std::uintptr_t handle = nextHandle_++;
        mappings_.emplace(handle, std::move(mapping));
        return handle;
    }

    std::uint8_t* MapView(std::uintptr_t mapping) override {
        const auto found = mappings_.find(mapping);
        if (found == mappings_.end()) {
            return nullptr;
        }
        void* address = mmap(nullptr, found->second.size, PROT_READ | PROT_WRITE, MAP_SHARED,
                             found->second.fd, 0);
        if (address == MAP_FAILED) {
            return nullptr;
        }
        auto* view = static_cast<std::uint8_t*>(address);
        views_.emplace(view, found->second.size);
        return view;
    }

    void UnmapView(std::uint8_t* view) override {
        const auto found = views_.find(view);
        if (found != views_.end()) {
            munmap(found->first, found->second);
            views_.erase(found);
        }
    }

    void CloseMapping(std::uintptr_t mapping) override {
        const auto found = mappings_.find(mapping);
        if (found != mappings_.end()) {
            RemoveBlockFile(found->second);
            mappings_.erase(found);
        }
    }

    bool SendMessageTimeout(std::uintptr_t window, std::uint32_t message, std::int32_t wParam,
                            std::int32_t lParam, std::uint32_t timeoutMs, std::uint32_t& answer,
                            std::uint32_t& lastError) override {
        lastError = 0;
        const auto found = windows_.find(window);
        const auto atom = atoms_.find(static_cast<std::uint16_t>(wParam));
        if (found == windows_.end() || atom == atoms_.end()) {
            lastError = EINVAL;
            return false;
        }
        // Connecting, sending and waiting for the reply all share the one
        // deadline of this try: a server that hangs at any step costs no more.
        if (options_.sendTimeoutCapMs) {
            timeoutMs = std::min(timeoutMs, *options_.sendTimeoutCapMs);
        }
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        Connection& connection = found->second;
        int error = 0;
        if (connection.fd < 0) {
            if (!IsSameSocket(connection)) {
                lastError = ENOENT;  // the window is gone
                return false;
            }
            connection.fd = ConnectWithin(connection.path, deadline, error);
            if (connection.fd < 0) {
                lastError = static_cast<std::uint32_t>(error);  // 0: a plain time-out
                return false;
            }
        }

        const std::uint32_t sequence = ++sequence_;
        // The frame's fields are set in place: its name keeps its storage
        // from one send to the next, so that a send allocates nothing.
        request_.sequence = sequence;
        request_.message = message;
        request_.wParam = wParam;
        request_.lParam = lParam;
        request_.name = atom->second;
        const auto frame = local::EncodeRequest(request_);
        if (!SendWithin(connection.fd, frame.data(), frame.size(), deadline, error)) {
            return Ended(connection, error, lastError);
        }

        for (;;) {
            while (connection.received.size() >= local::kReplyFrameSize) {
                const auto reply = local::DecodeReply(connection.received.data());
                connection.received.erase(connection.received.begin(),
                                          connection.received.begin() + local::kReplyFrameSize);
                if (!reply) {
                    return Lost(connection, EPROTO, lastError);
                }
                if (reply->sequence == sequence) {
                    answer = reply->answer;
                    return true;
                }
                // An answer to an earlier send: not ours.
            }
            if (!WaitUntil(connection.fd, POLLIN, deadline, error)) {
                return Ended(connection, error, lastError);
            }
            std::uint8_t buffer[256];
            const ssize_t count = recv(connection.fd, buffer, sizeof buffer, 0);
            if (count < 0) {
                if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) {
                    continue;
                }
                return Lost(connection, errno, lastError);
            }
            if (count == 0) {
                return Lost(connection, ECONNRESET, lastError);
            }
            connection.received.insert(connection.received.end(), buffer, buffer + count);
        }
    }

    void Sleep(std::uint32_t milliseconds) override {
        if (options_.sleep) {
            options_.sleep(milliseconds);
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
        }
    }

private:
    struct Connection {
        std::string path;
        int fd = -1;
        std::vector<std::uint8_t> received;  // bytes of replies not yet taken
        // The socket found at the open. A file made anew may get the number
        // of one removed just before, never also its time of making.
        dev_t device = 0;
        ino_t inode = 0;
        timespec changed{};
    };

    // The server has closed the connection (it ended, or was killed). A late
    // reply waiting to be read is no hang-up; it is dropped at the next send.
    static bool PeerHungUp(int fd) {
        pollfd wait{fd, POLLIN, 0};
        if (poll(&wait, 1, 0) <= 0) {
            return false;
        }
        if ((wait.revents & (POLLHUP | POLLERR)) != 0) {
            return true;
        }
        std::uint8_t byte = 0;
        return recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT) == 0;
    }

    // Records which socket lies at the connection's path; false when none.
    static bool Identify(Connection& connection) {
        struct stat status {};
        if (stat(connection.path.c_str(), &status) != 0 || !S_ISSOCK(status.st_mode)) {
            return false;
        }
        connection.device = status.st_dev;
        connection.inode = status.st_ino;
        connection.changed = status.st_ctim;
        return true;
    }

    static bool IsSameSocket(const Connection& connection) {
        struct stat status {};
        return stat(connection.path.c_str(), &status) == 0 && S_ISSOCK(status.st_mode) &&
               status.st_dev == connection.device && status.st_ino == connection.inode &&
               status.st_ctim.tv_sec == connection.changed.tv_sec &&
               status.st_ctim.tv_nsec == connection.changed.tv_nsec;
    }
    struct Mapping {
        std::string path;
        int fd = -1;
        std::uint32_t size = 0;
    };

    static void RemoveBlockFile(const Mapping& mapping) {
        close(mapping.fd);
        unlink(mapping.path.c_str());
        const std::lock_guard names(BlocksInUse().lock);
        BlocksInUse().paths.erase(mapping.path);
    }

    static std::uint32_t ErrorCode(int error) {
        return error != 0 ? static_cast<std::uint32_t>(error) : static_cast<std::uint32_t>(EIO);
    }

    static void Disconnect(Connection& connection) {
        if (connection.fd >= 0) {
            close(connection.fd);
        }
        connection.fd = -1;
        connection.received.clear();
    }

    // The connection is gone; a later send connects again.
    static bool Lost(Connection& connection, int error, std::uint32_t& lastError) {
        lastError = ErrorCode(error);
        Disconnect(connection);
        return false;
    }

    // A try that ended before its answer: `error` 0 for a time-out. Either
    // way the connection is not used again: a server that reads nothing
    // would find the frames of every later try piled up in it, and a late
    // answer can never be taken for the next one.
    static bool Ended(Connection& connection, int error, std::uint32_t& lastError) {
        if (error != 0) {
            return Lost(connection, error, lastError);
        }
        lastError = 0;
        Disconnect(connection);
        return false;
    }

    LocalTransportOptions options_;
    std::uintptr_t nextHandle_ = 1;
    std::uint32_t sequence_ = 0;
    local::RequestFrame request_;  // the last frame sent
    std::map<std::uintptr_t, Connection> windows_;
    std::map<std::uint16_t, std::string> atoms_;
    std::map<std::uintptr_t, Mapping> mappings_;
    std::map<std::uint8_t*, std::size_t> views_;
};

}  // namespace

std::unique_ptr<Transport> MakeLocalTransport(LocalTransportOptions options) {
    return std::make_unique<LocalTransport>(std::move(options));
}

std::unique_ptr<Transport> MakePlatformTransport() {
    return MakeLocalTransport();
}

}  // namespace skyfault::link
