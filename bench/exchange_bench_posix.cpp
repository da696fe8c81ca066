// One exchange over the local transport against skyfault-sim running in
// another process, beside a raw baseline measured in the same run: the same
// 44-byte request frame and 12-byte answer over a Unix stream socket, with a
// child process as the server that touches the same kind of shared page (a
// mapped 32768-byte file) and has no protocol logic at all.
//
// Both servers live in a private XDG_RUNTIME_DIR made for the run, so that
// no other server or client is disturbed.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "bench/bench_util.h"
#include "link/link.h"
#include "link/local_ipc.h"
#include "link/transport_posix.h"

#ifndef SKYFAULT_SIM_PATH
#define SKYFAULT_SIM_PATH "skyfault-sim"
#endif

namespace skyfault::bench {
namespace {

namespace local = link::local;

constexpr std::uint32_t kIndicatedAirspeed = 0x02BC;
constexpr std::size_t kBlockBytes = 32768;

// Removes the private runtime directory at exit. A global made before any
// user of the directory, so that it goes after them (the sim and the link
// remove their own files first).
struct RuntimeDirectoryRemover {
    ~RuntimeDirectoryRemover() {
        std::error_code ignored;
        if (!path.empty()) {
            std::filesystem::remove_all(path, ignored);
        }
    }
    std::string path;
};
RuntimeDirectoryRemover gRemover;

// The private runtime directory of this run, made on first use and removed
// at exit; XDG_RUNTIME_DIR points at it from then on (the sim and the raw
// server inherit it).
const std::string& RuntimeDirectory() {
    static const std::string directory = [] {
        // On tmpfs where there is one, as XDG_RUNTIME_DIR normally is.
        std::string base = "/tmp";
        struct stat info {};
        if (stat("/dev/shm", &info) == 0 && S_ISDIR(info.st_mode) &&
            access("/dev/shm", W_OK) == 0) {
            base = "/dev/shm";
        }
        std::string pattern = base + "/skyfault-bench-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) {
            std::perror("skyfault-bench: mkdtemp");
            std::exit(1);
        }
        setenv("XDG_RUNTIME_DIR", pattern.c_str(), 1);
        gRemover.path = pattern;
        return pattern;
    }();
    return directory;
}

// Moves all `size` bytes with read() or write(), going on after interruptions.
template <typename Byte, typename Io>
bool Transfer(int fd, Byte* bytes, std::size_t size, Io io) {
    while (size > 0) {
        const ssize_t n = io(fd, bytes, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        bytes += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool WriteAll(int fd, const void* data, std::size_t size) {
    return Transfer(fd, static_cast<const std::uint8_t*>(data), size, ::write);
}

bool ReadAll(int fd, void* data, std::size_t size) {
    return Transfer(fd, static_cast<std::uint8_t*>(data), size, ::read);
}

// skyfault-sim as a child process, serving in the private runtime directory.
// Its standard output is read until "ready", then drained by a thread of its
// own (the sim prints every write it receives).
class SimProcess final {
public:
    SimProcess() {
        RuntimeDirectory();
        const char* fromEnvironment = std::getenv("SKYFAULT_SIM");
        const std::string program =
            fromEnvironment != nullptr ? fromEnvironment : SKYFAULT_SIM_PATH;
        int output[2];
        if (pipe2(output, O_CLOEXEC) != 0) {
            error_ = "pipe failed";
            return;
        }
        const pid_t parent = getpid();
        pid_ = fork();
        if (pid_ == 0) {
            // Only async-signal-safe calls until exec.
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            if (getppid() != parent) {
                _exit(127);
            }
            const int input = open("/dev/null", O_RDONLY);
            dup2(input, 0);
            dup2(output[1], 1);
            execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        close(output[1]);
        output_ = output[0];
        if (pid_ < 0) {
            error_ = "fork failed";
            return;
        }
        if (!WaitForReady()) {
            error_ = "skyfault-sim (" + program + ") did not say ready";
            return;
        }
        drain_ = std::thread([fd = output_] {
            std::array<char, 4096> buffer{};
            while (read(fd, buffer.data(), buffer.size()) > 0) {
            }
        });
        ready_ = true;
    }

    ~SimProcess() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            int status = 0;
            waitpid(pid_, &status, 0);
        }
        if (drain_.joinable()) {
            drain_.join();  // the pipe closes with the sim
        }
        if (output_ >= 0) {
            close(output_);
        }
    }

    bool Ready() const { return ready_; }
    const std::string& Error() const { return error_; }

private:
    bool WaitForReady() {
        std::string seen;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < deadline) {
            pollfd wait{output_, POLLIN, 0};
            if (poll(&wait, 1, 100) <= 0) {
                continue;
            }
            char c = 0;
            if (read(output_, &c, 1) != 1) {
                return false;
            }
            if (c == '\n') {
                if (seen == "ready") {
                    return true;
                }
                seen.clear();
            } else {
                seen.push_back(c);
            }
        }
        return false;
    }

    pid_t pid_ = -1;
    int output_ = -1;
    std::thread drain_;
    bool ready_ = false;
    std::string error_;
};

// The link over the local transport, open against skyfault-sim. Made once
// and kept for the whole run.
struct SimLink {
    SimProcess sim;
    std::unique_ptr<link::Transport> transport = link::MakeLocalTransport();
    link::Link link{*transport};
    std::string error;

    SimLink() {
        if (!sim.Ready()) {
            error = sim.Error();
            return;
        }
        std::int32_t result = 0;
        link.LinkInitialize();
        if (!link.LinkOpen(0, result)) {
            error = "the link did not open: result " + std::to_string(result);
        }
    }
};

SimLink& TheSimLink() {
    static SimLink simLink;
    return simLink;
}

void BM_Exchange_LocalTransport(benchmark::State& state) {
    SimLink& sim = TheSimLink();
    if (!sim.error.empty()) {
        state.SkipWithError(sim.error.c_str());
        return;
    }
    std::int32_t value = 0;
    std::int32_t result = 0;
    // First use: the connection's buffers reach their working size.
    sim.link.LinkRead(kIndicatedAirspeed, 4, &value, result);
    sim.link.LinkProcess(result);
    const std::uint64_t before = AllocationCount();
    std::uint64_t failures = 0;
    for (auto _ : state) {
        sim.link.LinkRead(kIndicatedAirspeed, 4, &value, result);
        if (!sim.link.LinkProcess(result)) {
            ++failures;
        }
        benchmark::DoNotOptimize(value);
    }
    ReportAllocations(state, AllocationCount() - before);
    if (failures != 0) {
        state.SkipWithError("an exchange failed");
    }
}
BENCHMARK(BM_Exchange_LocalTransport)->UseRealTime();

// The raw baseline's server: a forked child that accepts one connection and
// answers each 44-byte frame with 12 bytes after touching the shared page
// (it reads the record's size and fills its 4-byte data area). Only system
// calls and plain memory accesses: nothing else is safe after a fork.
[[noreturn]] void ServeRaw(int listening, int blockFd) {
    auto* page = static_cast<std::uint8_t*>(
        mmap(nullptr, kBlockBytes, PROT_READ | PROT_WRITE, MAP_SHARED, blockFd, 0));
    const int fd = accept(listening, nullptr, nullptr);
    if (page == MAP_FAILED || fd < 0) {
        _exit(1);
    }
    std::uint8_t frame[local::kRequestFrameSize];
    std::uint8_t reply[local::kReplyFrameSize] = {'S', 'K', 'F', '1', 0, 0, 0, 0, 1, 0, 0, 0};
    std::uint32_t value = 120 * 128;
    while (ReadAll(fd, frame, sizeof frame)) {
        std::uint32_t size = 0;
        std::memcpy(&size, page + 8, 4);
        std::memcpy(page + 16, &value, size <= 4 ? size : 4);
        std::memcpy(reply + 4, frame + 4, 4);  // the sequence number
        if (!WriteAll(fd, reply, sizeof reply)) {
            break;
        }
    }
    _exit(0);
}

struct RawPair {
    pid_t child = -1;
    int fd = -1;
    std::uint8_t* page = nullptr;
    std::string error;

    RawPair() {
        const std::string socketPath = RuntimeDirectory() + "/raw.sock";
        const std::string blockPath = RuntimeDirectory() + "/raw.block";
        const int blockFd = open(blockPath.c_str(), O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC, 0600);
        if (blockFd < 0 || ftruncate(blockFd, kBlockBytes) != 0) {
            error = "cannot make the raw block file";
            return;
        }
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socketPath.c_str());
        const int listening = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (listening < 0 ||
            bind(listening, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
            listen(listening, 1) != 0) {
            error = "cannot listen for the raw baseline";
            return;
        }
        const pid_t parent = getpid();
        child = fork();
        if (child == 0) {
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            if (getppid() != parent) {
                _exit(1);
            }
            ServeRaw(listening, blockFd);
        }
        close(listening);
        if (child < 0) {
            error = "fork failed";
            return;
        }
        fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0 ||
            connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
            error = "cannot connect to the raw baseline's server";
            return;
        }
        void* mapped = mmap(nullptr, kBlockBytes, PROT_READ | PROT_WRITE, MAP_SHARED, blockFd, 0);
        close(blockFd);
        if (mapped == MAP_FAILED) {
            error = "cannot map the raw block file";
            return;
        }
        page = static_cast<std::uint8_t*>(mapped);
    }

    ~RawPair() {
        if (fd >= 0) {
            close(fd);  // the child ends at the end of its input
        }
        if (child > 0) {
            int status = 0;
            waitpid(child, &status, 0);
        }
        if (page != nullptr) {
            munmap(page, kBlockBytes);
        }
    }
};

RawPair& TheRawPair() {
    static RawPair pair;
    return pair;
}

void BM_Exchange_RawBaseline(benchmark::State& state) {
    RawPair& raw = TheRawPair();
    if (!raw.error.empty()) {
        state.SkipWithError(raw.error.c_str());
        return;
    }
    // The same frame as the local transport sends, built once.
    const auto frame = local::EncodeRequest(
        {1, local::MessageNumber("FSASMLIB:IPC"), -16384, 0, "FSASMLIB:IPC:1A4:1"});
    std::array<std::uint8_t, local::kRequestFrameSize> request = frame;
    std::array<std::uint8_t, local::kReplyFrameSize> reply{};
    const std::uint32_t header[3] = {1, kIndicatedAirspeed, 4};
    std::uint32_t sequence = 0;
    std::uint32_t value = 0;
    std::uint64_t failures = 0;
    const std::uint64_t before = AllocationCount();
    for (auto _ : state) {
        std::memcpy(raw.page, header, sizeof header);  // a read record's header
        ++sequence;
        std::memcpy(request.data() + 4, &sequence, 4);
        if (!WriteAll(raw.fd, request.data(), request.size()) ||
            !ReadAll(raw.fd, reply.data(), reply.size())) {
            ++failures;
            break;
        }
        std::memcpy(&value, raw.page + 16, 4);
        benchmark::DoNotOptimize(value);
    }
    ReportAllocations(state, AllocationCount() - before);
    if (failures != 0) {
        state.SkipWithError("the raw exchange failed");
    }
}
BENCHMARK(BM_Exchange_RawBaseline)->UseRealTime();

}  // namespace
}  // namespace skyfault::bench
