// The simulator stand-in's server on POSIX systems: a listening AF_UNIX
// stream socket named after the server's class in the meeting directory,
// served by a poll loop on a thread of its own. Each request frame names a
// block file in the same directory, which is mapped and handed to the
// handler.

#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <thread>
#include <utility>
#include <vector>

#include "link/codec.h"
#include "link/local_ipc.h"
#include "link/local_ipc_posix.h"
#include "sim/server.h"

namespace skyfault::sim {
namespace {

namespace local = link::local;

constexpr std::size_t kBlockBytes = link::kBlockSize;
constexpr std::size_t kMaxConnections = 64;

std::string ErrnoText(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

bool FillAddress(const std::string& path, sockaddr_un& address) {
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) {
        return false;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return true;
}

// Whether a server answers at the socket path.
bool SomeoneListens(const sockaddr_un& address) {
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    const bool listening =
        connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return listening;
}

struct Connection {
    int fd = -1;
    bool trusted = false;  // the peer runs under our own uid
    std::vector<std::uint8_t> pending;
};

// A block file kept mapped between requests: mapping and unmapping it for
// every request costs far more than the exchange itself. The file is known
// again by its device and inode; the mapping keeps the inode alive, so its
// number cannot be taken by another file meanwhile.
struct MappedBlock {
    std::string name;
    dev_t device = 0;
    ino_t inode = 0;
    std::uint8_t* view = nullptr;
};
constexpr std::size_t kMaxMappedBlocks = 8;

class PosixServer final : public BlockServer {
public:
    PosixServer(std::string className, BlockHandler handler)
        : className_(std::move(className)), handler_(std::move(handler)) {}
    ~PosixServer() override { Stop(); }
    PosixServer(const PosixServer&) = delete;
    PosixServer& operator=(const PosixServer&) = delete;

    bool Start(std::string& error) override;
    void Stop() override;

private:
    bool Listen(std::string& error);
    void Run();
    void Accept();
    // False when the connection is to be closed.
    bool Receive(Connection& connection);
    std::uint32_t Answer(const Connection& connection, const local::RequestFrame& frame);
    std::uint32_t ProcessBlockFile(const std::string& name);
    // The view of the block file `name`, mapped now or kept from an earlier
    // request; nullptr when the file is not fit to serve.
    std::uint8_t* BlockView(const std::string& name);
    void UnmapBlocks();
    void CloseAll();

    std::string className_;
    BlockHandler handler_;
    std::string directory_;
    std::string socketPath_;
    ino_t socketInode_ = 0;
    dev_t socketDevice_ = 0;
    int listenFd_ = -1;
    int wakeRead_ = -1;
    int wakeWrite_ = -1;
    std::uint32_t message_ = local::MessageNumber(link::kMessageName);
    std::vector<Connection> connections_;
    std::vector<MappedBlock> mapped_;  // most recently used last
    uid_t uid_ = geteuid();            // asked once: a system call costs
    std::thread thread_;
};

bool PosixServer::Start(std::string& error) {
    if (thread_.joinable()) {
        error = "the server is already running";
        return false;
    }
    if (!local::PrepareMeetingDirectory(directory_, error)) {
        error = "cannot use the meeting directory: " + error;
        return false;
    }
    if (!Listen(error)) {
        CloseAll();
        return false;
    }
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) {
        error = ErrnoText("pipe");
        CloseAll();
        return false;
    }
    wakeRead_ = pipeFds[0];
    wakeWrite_ = pipeFds[1];
    thread_ = std::thread([this] { Run(); });
    return true;
}

bool PosixServer::Listen(std::string& error) {
    socketPath_ = local::MeetingPath(directory_, className_);
    sockaddr_un address{};
    if (className_.empty() || className_.find('/') != std::string::npos ||
        !FillAddress(socketPath_, address)) {
        error = "cannot listen at '" + socketPath_ + "': not a usable socket path";
        socketPath_.clear();
        return false;
    }
    // A socket left behind by a server that died is removed; a live server
    // keeps its place.
    struct stat info {};
    if (lstat(socketPath_.c_str(), &info) == 0) {
        if (!S_ISSOCK(info.st_mode)) {
            error = socketPath_ + " exists and is not a socket";
            socketPath_.clear();
            return false;
        }
        if (SomeoneListens(address)) {
            error = "another server is already listening at " + socketPath_;
            socketPath_.clear();
            return false;
        }
        if (unlink(socketPath_.c_str()) != 0 && errno != ENOENT) {
            error = ErrnoText("cannot remove the stale socket " + socketPath_);
            socketPath_.clear();
            return false;
        }
    }
    listenFd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (listenFd_ < 0) {
        error = ErrnoText("socket");
        socketPath_.clear();
        return false;
    }
    if (bind(listenFd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        error = ErrnoText("cannot bind " + socketPath_);
        socketPath_.clear();
        return false;
    }
    if (lstat(socketPath_.c_str(), &info) == 0) {
        socketInode_ = info.st_ino;
        socketDevice_ = info.st_dev;
    }
    if (listen(listenFd_, 16) != 0) {
        error = ErrnoText("cannot listen at " + socketPath_);
        return false;
    }
    return true;
}

void PosixServer::Stop() {
    if (thread_.joinable()) {
        const char wake = 1;
        while (write(wakeWrite_, &wake, 1) < 0 && errno == EINTR) {
        }
        thread_.join();
    }
    CloseAll();
}

void PosixServer::CloseAll() {
    for (Connection& c : connections_) {
        close(c.fd);
    }
    connections_.clear();
    UnmapBlocks();
    for (int* fd : {&listenFd_, &wakeRead_, &wakeWrite_}) {
        if (*fd >= 0) {
            close(*fd);
            *fd = -1;
        }
    }
    // Remove our own socket file only, never one a newer server put there.
    if (!socketPath_.empty()) {
        struct stat info {};
        if (lstat(socketPath_.c_str(), &info) == 0 && S_ISSOCK(info.st_mode) &&
            info.st_ino == socketInode_ && info.st_dev == socketDevice_) {
            unlink(socketPath_.c_str());
        }
        socketPath_.clear();
    }
}

void PosixServer::Run() {
    std::vector<pollfd> fds;
    for (;;) {
        fds.clear();
        fds.push_back({wakeRead_, POLLIN, 0});
        fds.push_back({listenFd_, POLLIN, 0});
        for (const Connection& c : connections_) {
            fds.push_back({c.fd, POLLIN, 0});
        }
        if (poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        if (fds[0].revents != 0) {
            return;
        }
        // Connections first, in the order of fds (accepting changes the list).
        std::vector<Connection> kept;
        kept.reserve(connections_.size());
        for (std::size_t i = 0; i < connections_.size(); ++i) {
            Connection& c = connections_[i];
            if (fds[i + 2].revents != 0 && !Receive(c)) {
                close(c.fd);
                continue;
            }
            kept.push_back(std::move(c));
        }
        connections_ = std::move(kept);
        if (fds[1].revents != 0) {
            Accept();
        }
    }
}

void PosixServer::Accept() {
    for (;;) {
        const int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) {
            return;  // EAGAIN: nothing more waiting; other errors: try at the next wake
        }
        if (connections_.size() >= kMaxConnections) {
            close(fd);
            continue;
        }
        connections_.push_back({fd, local::PeerIsEffectiveUser(fd), {}});
    }
}

bool PosixServer::Receive(Connection& connection) {
    std::array<std::uint8_t, 512> buffer{};
    const ssize_t got = read(connection.fd, buffer.data(), buffer.size());
    if (got == 0) {
        return false;
    }
    if (got < 0) {
        return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
    }
    connection.pending.insert(connection.pending.end(), buffer.begin(), buffer.begin() + got);
    std::size_t used = 0;
    while (connection.pending.size() - used >= local::kRequestFrameSize) {
        const std::uint8_t* bytes = connection.pending.data() + used;
        used += local::kRequestFrameSize;
        const auto frame = local::DecodeRequest(bytes);
        if (!frame) {
            return false;  // not our protocol: the stream cannot be trusted any further
        }
        const auto reply = local::EncodeReply({frame->sequence, Answer(connection, *frame)});
        std::size_t sent = 0;
        while (sent < reply.size()) {
            const ssize_t n =
                send(connection.fd, reply.data() + sent, reply.size() - sent, MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                return false;
            }
            sent += static_cast<std::size_t>(n);
        }
    }
    connection.pending.erase(connection.pending.begin(),
                             connection.pending.begin() + static_cast<std::ptrdiff_t>(used));
    return true;
}

std::uint32_t PosixServer::Answer(const Connection& connection, const local::RequestFrame& frame) {
    if (!local::IsValidBlockName(frame.name) || frame.message != message_ || !connection.trusted) {
        return 0;
    }
    return ProcessBlockFile(frame.name);
}

std::uint32_t PosixServer::ProcessBlockFile(const std::string& name) {
    std::uint8_t* view = BlockView(name);
    return view != nullptr ? handler_(view) : 0;
}

std::uint8_t* PosixServer::BlockView(const std::string& name) {
    const std::string path = local::MeetingPath(directory_, name);
    // What is at the path now, without following a symbolic link: a kept
    // mapping serves only while the path still names that same file, and
    // the file is still ours and of the block's size.
    struct stat info {};
    const bool present = lstat(path.c_str(), &info) == 0;
    const bool fit = present && S_ISREG(info.st_mode) && info.st_uid == uid_ && info.st_size >= 0 &&
                     static_cast<std::uint64_t>(info.st_size) == kBlockBytes;
    auto kept = std::find_if(mapped_.begin(), mapped_.end(),
                             [&name](const MappedBlock& m) { return m.name == name; });
    if (kept != mapped_.end()) {
        if (fit && kept->device == info.st_dev && kept->inode == info.st_ino) {
            return kept->view;
        }
        munmap(kept->view, kBlockBytes);
        mapped_.erase(kept);
    }
    if (!fit) {
        return nullptr;
    }

    // O_NONBLOCK: a FIFO planted under the name must not hang the server.
    const int fd = open(path.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return nullptr;
    }
    struct stat opened {};
    void* view = MAP_FAILED;
    if (local::IsOwnRegularFile(fd, kBlockBytes) && fstat(fd, &opened) == 0) {
        view = mmap(nullptr, kBlockBytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    }
    close(fd);
    if (view == MAP_FAILED) {
        return nullptr;
    }
    if (mapped_.size() >= kMaxMappedBlocks) {
        munmap(mapped_.front().view, kBlockBytes);
        mapped_.erase(mapped_.begin());
    }
    mapped_.push_back({name, opened.st_dev, opened.st_ino, static_cast<std::uint8_t*>(view)});
    return mapped_.back().view;
}

void PosixServer::UnmapBlocks() {
    for (const MappedBlock& m : mapped_) {
        munmap(m.view, kBlockBytes);
    }
    mapped_.clear();
}

}  // namespace

std::unique_ptr<BlockServer> MakePlatformServer(const std::string& className,
                                                BlockHandler handler) {
    return std::make_unique<PosixServer>(className, std::move(handler));
}

}  // namespace skyfault::sim
