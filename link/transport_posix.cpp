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

// A connected socket to `path`, or -1 with errno set.
int ConnectTo(const std::string& path) {
    sockaddr_un address{};
    if (path.size() >= sizeof address.sun_path) {
        errno = ENAMETOOLONG;
        return -1;
    }
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return -1;
    }
    int outcome = 0;
    do {
        outcome = connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    } while (outcome != 0 && errno == EINTR);
    if (outcome != 0) {
        const int error = errno;
        close(fd);
        errno = error;
        return -1;
    }
    return fd;
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
            close(mapping.fd);
            unlink(mapping.path.c_str());
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
        connection.fd = ConnectTo(connection.path);
        if (connection.fd < 0) {
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
        mapping.fd =
            open(mapping.path.c_str(), O_CREAT | O_EXCL | O_NOFOLLOW | O_RDWR | O_CLOEXEC, 0600);
        if (mapping.fd < 0) {
            // Someone else's file stays where it is: the handle is 0.
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
            close(found->second.fd);
            unlink(found->second.path.c_str());
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
        Connection& connection = found->second;
        if (connection.fd < 0) {
            connection.fd = ConnectTo(connection.path);
            if (connection.fd < 0) {
                lastError = ErrorCode(errno);
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
        if (!SendAll(connection.fd, frame.data(), frame.size())) {
            return Lost(connection, errno, lastError);
        }

        if (options_.sendTimeoutCapMs) {
            timeoutMs = std::min(timeoutMs, *options_.sendTimeoutCapMs);
        }
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
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
                // A late answer to an earlier send: not ours.
            }
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                return false;  // a plain time-out: lastError stays 0
            }
            pollfd wait{connection.fd, POLLIN, 0};
            const int ready = poll(&wait, 1, static_cast<int>(left.count()));
            if (ready < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return Lost(connection, errno, lastError);
            }
            if (ready == 0) {
                continue;  // the deadline check above ends the wait
            }
            std::uint8_t buffer[256];
            const ssize_t count = recv(connection.fd, buffer, sizeof buffer, 0);
            if (count < 0) {
                if (errno == EINTR || errno == EAGAIN) {
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
    };
    struct Mapping {
        std::string path;
        int fd = -1;
        std::uint32_t size = 0;
    };

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

    static bool SendAll(int fd, const std::uint8_t* data, std::size_t size) {
        while (size > 0) {
            const ssize_t sent = send(fd, data, size, kSendFlags);
            if (sent < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return false;
            }
            data += sent;
            size -= static_cast<std::size_t>(sent);
        }
        return true;
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
