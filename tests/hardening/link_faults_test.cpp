// The link over the local transport against skyfault-sim as a process and
// against rogue servers: every fault ends an exchange with its code within
// its tries (that the link stays open and delivers nothing then is the
// link's own, checked on the in-process server); the stand-in serves only
// fit blocks of its user.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "link/link.h"
#include "link/local_ipc.h"
#include "link/local_ipc_posix.h"
#include "link/transport_posix.h"
#include "sim/sim_core.h"

namespace skyfault::hardening {
namespace {

namespace fs = std::filesystem;
namespace local = link::local;
constexpr std::uint32_t kIasOffset = 0x02BC;
constexpr std::uint32_t kStartingIas = 120u * 128u;  // the stand-in's starting value

sockaddr_un Address(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    return address;
}

// A listening socket at `path` (a stale file there is replaced).
int ListenAt(const std::string& path) {
    unlink(path.c_str());
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_un address = Address(path);
    EXPECT_EQ(bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0) << path;
    EXPECT_EQ(listen(fd, 16), 0);
    return fd;
}

// A program (skyfault-sim unless named) with its output and errors on a pipe
// and SIGPIPE at its default action.
class Process {
public:
    explicit Process(std::vector<std::string> args = {}, std::string program = SKYFAULT_SIM_PATH) {
        int out[2];
        EXPECT_EQ(pipe2(out, O_CLOEXEC), 0);
        args.insert(args.begin(), program);
        std::vector<char*> argv;
        for (std::string& a : args) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        pid_ = fork();
        if (pid_ == 0) {  // only calls safe between fork and exec
            dup2(open("/dev/null", O_RDONLY), 0);
            dup2(out[1], 1);
            dup2(out[1], 2);
            signal(SIGPIPE, SIG_DFL);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(out[1]);
        out_ = out[0];
    }
    ~Process() {
        Signal(SIGKILL);
        Wait();
        CloseOutput();
    }
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    bool Ready() { return Printed("\nready\n"); }
    // Whether its output holds `text` within 10 s (what came before is dropped).
    bool Printed(const std::string& text) {
        char chunk[512];
        pollfd p{out_, POLLIN, 0};
        while (output_.find(text) == std::string::npos) {
            const ssize_t got = poll(&p, 1, 10000) > 0 ? read(out_, chunk, sizeof chunk) : 0;
            if (got <= 0) {
                return false;
            }
            output_.append(chunk, static_cast<std::size_t>(got));
        }
        output_.clear();
        return true;
    }
    void CloseOutput() { close(std::exchange(out_, -1)); }
    // The exit code (128 + signal), waiting for the end.
    int Wait() {
        int status = 0;
        if (pid_ <= 0 || waitpid(std::exchange(pid_, -1), &status, 0) < 0) {
            return -1;
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    // SIGTERM; SIGCONT; SIGSTOP, waiting until it has stopped (the system
    // still queues its connections and frames).
    void Signal(int signal) {
        int status = 0;
        if (pid_ > 0 && kill(pid_, signal) == 0 && signal == SIGSTOP) {
            waitpid(pid_, &status, WUNTRACED);
        }
    }

private:
    pid_t pid_ = -1;
    int out_ = -1;
    std::string output_;
};

// What the stand-in answers to a request naming a block in `directory`.
std::vector<std::uint8_t> Serve(const std::string& directory, const std::string& name,
                                std::uint32_t sequence) {
    const int fd = open((directory + "/" + name).c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
    void* block = mmap(nullptr, link::kBlockSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    std::uint32_t answer = 0;
    if (block != MAP_FAILED) {
        sim::OffsetSpace space;
        answer = sim::ProcessBlock(static_cast<std::uint8_t*>(block), space, [](const auto&) {});
        munmap(block, link::kBlockSize);
    }
    close(fd);
    const auto reply = local::EncodeReply({sequence, answer});
    return {reply.begin(), reply.end()};
}

// A rogue server on the meeting place's socket in `directory`: it serves the
// first request frame as the stand-in would (the open), then `reply` turns
// the sequence number of each frame into the bytes sent back (none: it hangs up).
class RogueServer {
public:
    using Reply = std::function<std::vector<std::uint8_t>(std::uint32_t sequence)>;
    RogueServer(const std::string& directory, Reply reply)
        : listen_(ListenAt(directory + "/UIPCMAIN")), thread_([this, directory, reply] {
              std::array<std::uint8_t, local::kRequestFrameSize> frame{};
              const timeval limit{0, 200000};
              while (!stop_) {
                  pollfd p{listen_, POLLIN, 0};
                  const int fd = poll(&p, 1, 20) > 0 ? accept(listen_, nullptr, nullptr) : -1;
                  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
                  while (fd >= 0 && recv(fd, frame.data(), frame.size(), MSG_WAITALL) ==
                                        static_cast<ssize_t>(frame.size())) {
                      const auto request =
                          local::DecodeRequest(frame.data()).value_or(local::RequestFrame{});
                      const auto bytes = frames_++ == 0
                                             ? Serve(directory, request.name, request.sequence)
                                             : reply(request.sequence);
                      if (bytes.empty()) {
                          break;
                      }
                      send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
                  }
                  close(fd);
              }
          }) {}
    ~RogueServer() {
        stop_ = true;
        thread_.join();
        close(listen_);
    }
    int Frames() const { return frames_; }

private:
    std::atomic<bool> stop_{false};
    std::atomic<int> frames_{0};
    int listen_;
    std::thread thread_;
};

class LinkFaultTest : public ::testing::Test {
protected:
    LinkFaultTest() { setenv("XDG_RUNTIME_DIR", dir.c_str(), 1); }
    ~LinkFaultTest() override {
        link.LinkClose();
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }

    const std::string dir = [] {
        char pattern[] = "/tmp/skyfault-test-XXXXXX";
        return std::string(mkdtemp(pattern));
    }();
    const std::string meeting = dir + "/skyfault-ipc", server = meeting + "/UIPCMAIN";
    const std::string block = meeting + "/" + link::BlockName(getpid());
    int pauses = 0;  // the pauses between tries
    std::unique_ptr<link::Transport> transport =
        link::MakeLocalTransport({50, [this](std::uint32_t) { ++pauses; }});
    link::Link link{*transport};

    std::int32_t Open() {
        std::int32_t result = -1;
        link.LinkOpen(0, result);
        return result;
    }
    std::uint32_t value = 0;  // the airspeed the last exchange read
    // One read of the airspeed: the result code.
    std::int32_t Exchange() {
        value = 0;
        std::int32_t result = -1;
        EXPECT_TRUE(link.LinkRead(kIasOffset, 4, &value, result));
        link.LinkProcess(result);
        return result;
    }
    void ExpectServed() {
        EXPECT_EQ(Exchange(), link::kOkay);
        EXPECT_EQ(value, kStartingIas);
    }
    // The server's answer to a client that names the block `name` (none: no answer).
    static std::optional<std::uint32_t> Ask(const std::string& name) {
        const auto raw = link::MakeLocalTransport();
        std::uint32_t answer = 0, error = 0;
        return raw->SendMessageTimeout(raw->FindServerWindow("UIPCMAIN"),
                                       raw->RegisterMessage("FSASMLIB:IPC"), raw->AddAtom(name), 0,
                                       5000, answer, error)
                   ? std::optional(answer)
                   : std::nullopt;
    }
};

// Each rogue answers the open as a server would, then as it likes: the link
// stays with the window it opened.
TEST_F(LinkFaultTest, RogueServersGiveTheProtocolsCodes) {
    std::string place, error;
    ASSERT_TRUE(local::PrepareMeetingDirectory(place, error)) << error;
    const std::pair<RogueServer::Reply, std::int32_t> cases[] = {
        {[](std::uint32_t) { return std::vector<std::uint8_t>(12, 0x5A); }, link::kSendFailed},
        {[](std::uint32_t sequence) {  // always the answer to another request
             const auto reply = local::EncodeReply({sequence + 1000, 1});
             return std::vector<std::uint8_t>(reply.begin(), reply.end());
         },
         link::kTimedOut},
        {[](std::uint32_t) { return std::vector<std::uint8_t>(); }, link::kSendFailed},
    };
    for (const auto& [reply, code] : cases) {
        SCOPED_TRACE(code);
        RogueServer rogue(meeting, reply);
        ASSERT_EQ(Open(), link::kOkay);
        const int opening = rogue.Frames();
        EXPECT_EQ(Exchange(), code);
        EXPECT_GT(rogue.Frames(), opening);
        link.LinkClose();
    }
}

TEST_F(LinkFaultTest, AServerThatStopsReadingOrAcceptingCostsEachStepItsTriesNeverAHang) {
    Process sim;
    ASSERT_TRUE(sim.Ready());
    ASSERT_EQ(Open(), link::kOkay);
    sim.Signal(SIGSTOP);
    std::atomic<bool> done{false}, fired{false};
    std::thread watchdog([&] {  // resumes it after 30 s: a hang then fails instead
        for (int i = 0; i < 3000 && !done; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        fired = !done;
        sim.Signal(SIGCONT);
    });
    // Every try connects again: 4 exchanges of 11 tries overfill the listen queue.
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(Exchange(), link::kTimedOut) << "exchange " << i;
    }
    const int probe = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const sockaddr_un address = Address(server);
    EXPECT_NE(connect(probe, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0)
        << "the listen queue is full";
    close(probe);
    link.LinkClose();
    EXPECT_EQ(Open(), link::kTimedOut);
    done = true;
    watchdog.join();
    EXPECT_FALSE(fired) << "the link waited until the server came back";
    for (int i = 0; i < 100 && Open() != link::kOkay; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ExpectServed();
}

TEST_F(LinkFaultTest, ALeftoverBlockFileOfOurNameIsReplacedNeverOpened) {
    Process sim;
    ASSERT_TRUE(sim.Ready());
    const std::string elsewhere = dir + "/elsewhere";
    ASSERT_EQ(close(open(elsewhere.c_str(), O_CREAT | O_WRONLY, 0600)), 0);
    const std::function<int()> leftovers[] = {
        [&] { return ::link(elsewhere.c_str(), block.c_str()); },  // a short file
        [&] { return mkfifo(block.c_str(), 0600); },
        [&] { return symlink(elsewhere.c_str(), block.c_str()); },
    };
    for (const auto& leave : leftovers) {
        ASSERT_EQ(leave(), 0);
        EXPECT_EQ(Ask(link::BlockName(getpid())), 0u) << "the server serves no such file";
        ASSERT_EQ(Open(), link::kOkay);
        struct stat info {};
        ASSERT_EQ(lstat(block.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode, S_IFREG | 0600);
        EXPECT_EQ(info.st_size, 32768);
        EXPECT_EQ(fs::file_size(elsewhere), 0u) << "nothing behind the name is touched";
        ExpectServed();
        link.LinkClose();
        EXPECT_FALSE(fs::exists(block));
    }
    // The block of a link that this process holds is no leftover.
    ASSERT_EQ(Open(), link::kOkay);
    auto other = link::MakeLocalTransport({20, [](std::uint32_t) {}});
    link::Link second(*other);
    std::int32_t result = -1;
    EXPECT_FALSE(second.LinkOpen(0, result));
    EXPECT_EQ(result, link::kMappingFailed);
    ExpectServed();
}

TEST_F(LinkFaultTest, UnfitMeetingPlacesAreTakenForNoServer) {
    const std::string elsewhere = dir + "/elsewhere";
    const mode_t mask = umask(0);
    // Open to group, to others, another user's, a link, not a folder.
    for (const mode_t mode : {0750, 0701, 0700, 0, 1}) {
        std::error_code ignored;
        fs::remove_all(meeting, ignored);
        if (mode == 0) {
            ASSERT_EQ(mkdir(elsewhere.c_str(), 0700), 0);
            ASSERT_EQ(symlink(elsewhere.c_str(), meeting.c_str()), 0);
        } else if (mode == 1) {
            ASSERT_EQ(close(open(meeting.c_str(), O_CREAT | O_WRONLY, 0600)), 0);
        } else {
            ASSERT_EQ(mkdir(meeting.c_str(), mode), 0);
            if (mode == 0700 && chown(meeting.c_str(), 12345, 12345) != 0) {
                continue;  // needs root
            }
        }
        std::string path, error;
        EXPECT_FALSE(local::PrepareMeetingDirectory(path, error)) << mode;
        EXPECT_FALSE(error.empty()) << mode;
        const int listener = fs::is_directory(meeting) ? ListenAt(server) : -1;
        EXPECT_EQ(Open(), link::kNoServer) << mode;
        close(listener);
    }
    umask(mask);
    fs::remove_all(meeting);
    EXPECT_EQ(Open(), link::kNoServer);
    struct stat info {};
    ASSERT_EQ(lstat(meeting.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u) << "made private";
    setenv("XDG_RUNTIME_DIR", "relative/dir", 1);
    EXPECT_EQ(local::MeetingDirectory(), "/tmp/skyfault-ipc-" + std::to_string(geteuid()));
}

TEST_F(LinkFaultTest, TheStandInTakesOverAStaleSocketNeverALiveOneAndIsANewWindowWhenStartedAgain) {
    ASSERT_EQ(mkdir(meeting.c_str(), 0700), 0);
    const std::string wide = meeting + "/FS98MAIN";
    close(ListenAt(wide));  // as a killed server leaves it
    Process sim({"--class", "FS98MAIN"});
    ASSERT_TRUE(sim.Ready());
    Process second({"--class", "FS98MAIN"});
    ASSERT_TRUE(second.Printed("already listening"));
    EXPECT_EQ(second.Wait(), 1);
    EXPECT_EQ(Open(), link::kOkay);
    // Killed, it leaves its socket: a server gone is known at once, by a
    // look or at the first send, without a try again; started again, it is a
    // new window that takes a new open.
    sim.Signal(SIGKILL);
    sim.Wait();
    EXPECT_FALSE(link.ServerPresent());
    const int pausesBefore = pauses;
    EXPECT_EQ(Exchange(), link::kSendFailed);
    EXPECT_EQ(pauses, pausesBefore);
    Process again({"--class", "FS98MAIN"});
    ASSERT_TRUE(again.Ready());
    EXPECT_EQ(Exchange(), link::kSendFailed);
    EXPECT_TRUE(link.ServerLost());
    link.LinkInitialize();
    EXPECT_EQ(Open(), link::kOkay);
    ExpectServed();
    again.Signal(SIGTERM);
    EXPECT_EQ(again.Wait(), 0);
    EXPECT_FALSE(fs::exists(wide));
}

TEST_F(LinkFaultTest, LinkcheckWhoseReaderHasGoneStillClosesItsLink) {
    Process sim;
    ASSERT_TRUE(sim.Ready());
    // Far more output than a pipe takes, printed while the link is open, to nobody.
    Process check({"read", "0", "30000"}, SKYFAULT_LINKCHECK_PATH);
    check.CloseOutput();
    EXPECT_EQ(check.Wait(), 0) << "128 + 13: ended by SIGPIPE";
    EXPECT_EQ(std::distance(fs::directory_iterator(meeting), {}), 1)
        << "its block file was left beside the socket";
}

TEST_F(LinkFaultTest, TheServerServesNoPeerOfAnotherUserEvenThroughAnOpenPlace) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to run a child as another user";
    }
    Process sim;
    ASSERT_TRUE(sim.Ready());
    ASSERT_EQ(Open(), link::kOkay);
    // The other user reaches the socket from a place of its own and names our block.
    const std::string other = dir + "/other";
    ASSERT_FALSE(mkdir(other.c_str(), 0700) || chown(other.c_str(), 65534, 65534) ||
                 chmod(dir.c_str(), 0755) || chmod(meeting.c_str(), 0755) ||
                 chmod(server.c_str(), 0777));
    const pid_t pid = fork();
    if (pid == 0) {
        setenv("XDG_RUNTIME_DIR", other.c_str(), 1);
        std::string place, error;
        if (setgid(65534) != 0 || setuid(65534) != 0 ||
            !local::PrepareMeetingDirectory(place, error) ||
            symlink(server.c_str(), (place + "/UIPCMAIN").c_str()) != 0) {
            _exit(3);
        }
        _exit(static_cast<int>(Ask(link::BlockName(getppid())).value_or(2)));
    }
    int status = -1;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_EQ(status, 0) << "exit 1: served, 2: no answer, 3: no other user";
    ExpectServed();
}

}  // namespace
}  // namespace skyfault::hardening
