#pragma once

// skyfault-sim as a child process on a private meeting place, and raw pieces
// of the local protocol to talk to it or stand in for it (POSIX only).

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "link/codec.h"
#include "link/local_ipc.h"

extern char** environ;

namespace skyfault::test_support {

// A private XDG_RUNTIME_DIR (and so a private meeting place) for one test.
class RuntimeDir {
public:
    RuntimeDir() {
        char pattern[] = "/tmp/skyfault-test-XXXXXX";
        path_ = mkdtemp(pattern);
        setenv("XDG_RUNTIME_DIR", path_.c_str(), 1);
    }
    ~RuntimeDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    RuntimeDir(const RuntimeDir&) = delete;
    RuntimeDir& operator=(const RuntimeDir&) = delete;
    const std::string& Path() const { return path_; }
    std::string Meeting() const { return path_ + "/skyfault-ipc"; }
    std::string Socket(const char* windowClass = "UIPCMAIN") const {
        return Meeting() + "/" + windowClass;
    }

private:
    std::string path_;
};

// Reads exactly `size` bytes; false at the end, on an error or a time-out.
inline bool ReadFull(int fd, std::uint8_t* out, std::size_t size, int timeoutMs) {
    for (std::size_t got = 0; got < size;) {
        pollfd p{fd, POLLIN, 0};
        const ssize_t n = poll(&p, 1, timeoutMs) > 0 ? read(fd, out + got, size - got) : 0;
        if (n <= 0) {
            return false;
        }
        got += static_cast<std::size_t>(n);
    }
    return true;
}

inline sockaddr_un SocketAddress(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    return address;
}

// A listening socket at `path` (a stale file there is replaced).
inline int ListenAt(const std::string& path) {
    unlink(path.c_str());
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_un address = SocketAddress(path);
    EXPECT_EQ(bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0) << path;
    EXPECT_EQ(listen(fd, 16), 0);
    return fd;
}

#ifdef SKYFAULT_SIM_PATH
// skyfault-sim with its input on a pipe and its output and errors on another.
class SimProcess {
public:
    explicit SimProcess(std::vector<std::string> args = {}) {
        int in[2], out[2];
        EXPECT_EQ(pipe2(in, O_CLOEXEC) | pipe2(out, O_CLOEXEC), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_adddup2(&actions, out[1], 2);
        args.insert(args.begin(), SKYFAULT_SIM_PATH);
        std::vector<char*> argv;
        for (std::string& a : args) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        EXPECT_EQ(posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        close(in[0]);
        close(out[1]);
        in_ = in[1];
        out_ = out[0];
    }
    ~SimProcess() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            Wait();
        }
        close(in_);
        close(out_);
    }
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    bool Ready() { return WaitFor("ready"); }
    void Send(const std::string& line) {
        const std::string text = line + "\n";
        EXPECT_EQ(write(in_, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    }
    // The next line it printed, or nothing after 10 s or at its end.
    std::optional<std::string> NextLine() {
        for (std::size_t end; (end = buffer_.find('\n')) == std::string::npos;) {
            char chunk[512];
            pollfd p{out_, POLLIN, 0};
            const ssize_t got = poll(&p, 1, 10000) > 0 ? read(out_, chunk, sizeof chunk) : 0;
            if (got <= 0) {
                return std::nullopt;
            }
            buffer_.append(chunk, static_cast<std::size_t>(got));
        }
        std::string line = buffer_.substr(0, buffer_.find('\n'));
        buffer_.erase(0, line.size() + 1);
        return line;
    }
    // Skips lines until one equals (or, with `part`, holds) `line`.
    bool WaitFor(const std::string& line, bool part = false) {
        while (auto next = NextLine()) {
            if (*next == line || (part && next->find(line) != std::string::npos)) {
                return true;
            }
        }
        return false;
    }
    // The exit code (128 + signal), waiting for the end.
    int Wait() {
        int status = 0;
        if (pid_ > 0 && waitpid(pid_, &status, 0) == pid_) {
            exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        pid_ = -1;
        return exitCode_;
    }
    void Terminate() { kill(pid_, SIGTERM); }
    // Stops it: the system still queues connections and frames. Resume may
    // come from another thread.
    void Pause() {
        kill(pid_, SIGSTOP);
        int status = 0;
        waitpid(pid_, &status, WUNTRACED);
    }
    void Resume() { kill(pid_, SIGCONT); }

private:
    pid_t pid_ = -1;
    int exitCode_ = -1;
    int in_ = -1, out_ = -1;
    std::string buffer_;
};
#endif

// A block file in the meeting place, as a client creates it, with one read
// of 4 bytes queued (and a write of 1 byte to 0x0B71 when `write` is given).
class BlockFile {
public:
    explicit BlockFile(const std::string& path, std::uint32_t offset,
                       const std::uint8_t* write = nullptr) {
        fd_ = open(path.c_str(), O_CREAT | O_EXCL | O_RDWR | O_NOFOLLOW | O_CLOEXEC, 0600);
        EXPECT_EQ(ftruncate(fd_, link::kBlockSize), 0) << path;
        void* view = mmap(nullptr, link::kBlockSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd_, 0);
        EXPECT_NE(view, MAP_FAILED);
        block_.Attach(static_cast<std::uint8_t*>(view));
        block_.AppendRead(offset, 4, 1);
        if (write != nullptr) {
            block_.AppendWrite(0x0B71, 1, write);
        }
        block_.Terminate();
    }
    ~BlockFile() {
        munmap(block_.Data(), link::kBlockSize);
        close(fd_);
    }
    // The four bytes of the read's data, cleared for the next request.
    std::uint32_t Delivered() {
        std::uint8_t* data = block_.Data() + link::kReadHeaderSize;
        const std::uint32_t value = link::GetLe32(data);
        link::PutLe32(data, 0);
        return value;
    }

private:
    int fd_ = -1;
    link::RequestBlock block_;
};

// A raw client connection speaking the frames: the answer to a request, or
// nothing when the server closed the connection or gave no reply to it.
class RawClient {
public:
    explicit RawClient(const std::string& socketPath) {
        const sockaddr_un address = SocketAddress(socketPath);
        connected_ = connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    }
    ~RawClient() { close(fd_); }
    RawClient(const RawClient&) = delete;
    RawClient& operator=(const RawClient&) = delete;
    bool Connected() const { return connected_; }

    std::optional<std::uint32_t> Request(
        const std::string& name, std::uint32_t message = link::local::MessageNumber("FSASMLIB:IPC"),
        char magic = 'S') {
        auto bytes = link::local::EncodeRequest({++sequence_, message, 0xC000, 0, name});
        bytes[0] = static_cast<std::uint8_t>(magic);
        std::array<std::uint8_t, link::local::kReplyFrameSize> reply{};
        if (send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) !=
                static_cast<ssize_t>(bytes.size()) ||
            !ReadFull(fd_, reply.data(), reply.size(), 5000)) {
            return std::nullopt;
        }
        const auto frame = link::local::DecodeReply(reply.data());
        return frame && frame->sequence == sequence_ ? std::optional(frame->answer) : std::nullopt;
    }

private:
    int fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    bool connected_ = false;
    std::uint32_t sequence_ = 0;
};

}  // namespace skyfault::test_support
