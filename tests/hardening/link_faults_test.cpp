// The link over the local transport against skyfault-sim and rogue servers:
// every fault ends an exchange with its code within its tries, link kept open.

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <iostream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "link/link.h"
#include "link/local_ipc_posix.h"
#include "link/transport_posix.h"
#include "tests/support/sim_process_posix.h"

namespace skyfault::hardening {
namespace {

namespace fs = std::filesystem;
namespace local = link::local;
using namespace test_support;
using Clock = std::chrono::steady_clock;
constexpr std::uint32_t kIasOffset = 0x02BC;
constexpr std::uint32_t kStartingIas = 120u * 128u;  // the stand-in's starting value

// A rogue server on the meeting place's socket: `reply` turns the sequence
// number of each request frame into the bytes sent back (none: it hangs up).
class RogueServer {
public:
    using Reply = std::function<std::vector<std::uint8_t>(std::uint32_t sequence)>;
    RogueServer(const RuntimeDir& dir, Reply reply)
        : listen_(ListenAt(dir.Socket())), thread_([this, reply] {
              while (!stop_) {
                  pollfd p{listen_, POLLIN, 0};
                  const int fd =
                      poll(&p, 1, 20) > 0 ? accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC) : -1;
                  std::array<std::uint8_t, local::kRequestFrameSize> frame{};
                  while (fd >= 0 && !stop_ && ReadFull(fd, frame.data(), frame.size(), 200)) {
                      ++frames_;
                      const auto bytes = reply(local::DecodeRequest(frame.data())
                                                   .value_or(local::RequestFrame{})
                                                   .sequence);
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

long long MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

class LinkFaultTest : public ::testing::Test {
protected:
    RuntimeDir dir;
    std::unique_ptr<link::Transport> transport =
        link::MakeLocalTransport({50, [](std::uint32_t) {}});
    link::Link link{*transport};

    ~LinkFaultTest() override { link.LinkClose(); }

    std::int32_t Open() {
        std::int32_t result = -1;
        link.LinkOpen(0, result);
        return result;
    }
    // One read of the airspeed: the result code, and the value in `value`.
    static std::int32_t Exchange(link::Link& over, std::uint32_t& value) {
        value = 0;
        std::int32_t result = -1;
        EXPECT_TRUE(over.LinkRead(kIasOffset, 4, &value, result));
        over.LinkProcess(result);
        return result;
    }
    void ExpectServed(link::Link& over) {
        std::uint32_t value = 0;
        EXPECT_EQ(Exchange(over, value), link::kOkay);
        EXPECT_EQ(value, kStartingIas);
    }
    std::string BlockPath() const { return dir.Meeting() + "/" + link::BlockName(getpid()); }
};

TEST_F(LinkFaultTest, RogueServersGiveTheProtocolsCodes) {
    {
        SimProcess sim;
        ASSERT_TRUE(sim.Ready());
        ASSERT_EQ(Open(), link::kOkay);
    }
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
        RogueServer rogue(dir, reply);
        std::uint32_t value = 0;
        const auto started = Clock::now();
        EXPECT_EQ(Exchange(link, value), code);
        EXPECT_LT(MillisecondsSince(started), 5000) << "bounded by 11 tries of 50 ms";
        EXPECT_EQ(value, 0u);
        EXPECT_GT(rogue.Frames(), 0);
        EXPECT_TRUE(link.IsOpen());
    }
    SimProcess sim;
    ASSERT_TRUE(sim.Ready());
    ExpectServed(link);
}

TEST_F(LinkFaultTest, TheStandInsOptionsAreWhatTheLinkMeetsAtOpen) {
    const std::pair<std::vector<std::string>, std::int32_t> cases[] = {
        {{"--version", "0x19980004"}, link::kWrongVersion},
        {{"--version", "0x19980005", "--sim-code", "5"}, link::kOkay},
        {{"--wrong-version"}, link::kWrongVersion},
        {{"--class", "FS98MAIN", "--wrong-version"}, link::kWideClientNoServer},
        {{"--answer", "0"}, link::kBadData},
        {{"--late", "200"}, link::kTimedOut},  // tries of 50 ms
    };
    for (const auto& [args, code] : cases) {
        SCOPED_TRACE(args.front() + " " + args.back());
        SimProcess sim(args);
        ASSERT_TRUE(sim.Ready());
        EXPECT_EQ(Open(), code);
        if (code == link::kOkay) {
            ExpectServed(link);
        }
        link.LinkClose();
    }
}

TEST_F(LinkFaultTest, AServerThatStopsReadingOrAcceptingCostsEachStepItsTriesNeverAHang) {
    // 40 exchanges overfill the connection's buffer and the listen queue.
    constexpr std::uint32_t kTryMs = 10;
    auto quick = link::MakeLocalTransport({kTryMs, [](std::uint32_t) {}});
    link::Link hung(*quick);
    SimProcess sim;
    ASSERT_TRUE(sim.Ready());
    std::int32_t result = -1;
    ASSERT_TRUE(hung.LinkOpen(0, result)) << result;
    sim.Pause();
    // A link that waits for the server for good fails instead of hanging.
    std::atomic<bool> done{false}, fired{false};
    std::thread watchdog([&] {
        for (const auto end = Clock::now() + std::chrono::seconds(30); !done;) {
            if (Clock::now() > end) {
                fired = true;
                sim.Resume();
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    });
    long long exchangeMs = 0;
    for (int i = 0; i < 40; ++i) {
        std::uint32_t value = 0;
        const auto started = Clock::now();
        EXPECT_EQ(Exchange(hung, value), link::kTimedOut) << "exchange " << i;
        exchangeMs = std::max(exchangeMs, MillisecondsSince(started));
    }
    const int probe = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const sockaddr_un address = SocketAddress(dir.Socket());
    EXPECT_NE(connect(probe, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0)
        << "the listen queue is full";
    close(probe);
    hung.LinkClose();
    const auto started = Clock::now();
    EXPECT_FALSE(hung.LinkOpen(0, result));
    EXPECT_EQ(result, link::kTimedOut);
    const long long openMs = MillisecondsSince(started);
    done = true;
    watchdog.join();
    EXPECT_FALSE(fired) << "the link waited until the server came back";
    std::cout << "hung server: 40 exchanges, each 11 after at most " << exchangeMs
              << " ms; open 11 after " << openMs << " ms (11 tries of " << kTryMs << " ms)\n";
    sim.Resume();
    for (int i = 0; i < 100 && !hung.LinkOpen(0, result); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ExpectServed(hung);
}

TEST_F(LinkFaultTest, ALeftoverBlockFileOfOurNameIsReplacedNeverOpened) {
    SimProcess sim;
    ASSERT_TRUE(sim.Ready());
    const std::string elsewhere = dir.Path() + "/elsewhere";
    const auto file = [](const std::string& path, off_t size) {
        const int fd = open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0600);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(ftruncate(fd, size), 0);
        close(fd);
    };
    const std::function<void()> leftovers[] = {
        [&] { file(BlockPath(), 32768); },  // as a killed process leaves it
        [&] { ASSERT_EQ(mkfifo(BlockPath().c_str(), 0400), 0); },
        [&] { ASSERT_EQ(symlink(elsewhere.c_str(), BlockPath().c_str()), 0); },
    };
    for (const auto& leave : leftovers) {
        file(elsewhere, 4);
        leave();
        ASSERT_EQ(Open(), link::kOkay);
        struct stat info {};
        ASSERT_EQ(lstat(BlockPath().c_str(), &info), 0);
        EXPECT_TRUE(S_ISREG(info.st_mode));
        EXPECT_EQ(info.st_mode & 0777, 0600u);
        EXPECT_EQ(info.st_size, 32768);
        EXPECT_EQ(fs::file_size(elsewhere), 4u) << "nothing behind the name is touched";
        ExpectServed(link);
        link.LinkClose();
        EXPECT_FALSE(fs::exists(BlockPath()));
    }
    // The block of a link that this process holds is no leftover.
    ASSERT_EQ(Open(), link::kOkay);
    auto other = link::MakeLocalTransport({20, [](std::uint32_t) {}});
    link::Link second(*other);
    std::int32_t result = -1;
    EXPECT_FALSE(second.LinkOpen(0, result));
    EXPECT_EQ(result, link::kMappingFailed);
    ExpectServed(link);
}

TEST_F(LinkFaultTest, UnfitMeetingPlacesAreTakenForNoServer) {
    const std::string meeting = dir.Meeting(), elsewhere = dir.Path() + "/elsewhere";
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
        const int listener = fs::is_directory(meeting) ? ListenAt(dir.Socket()) : -1;
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
    setenv("XDG_RUNTIME_DIR", dir.Path().c_str(), 1);
}

TEST_F(LinkFaultTest, LinkcheckWhoseReaderHasGoneStillClosesItsLink) {
    SimProcess sim;
    ASSERT_TRUE(sim.Ready());
    int out[2];
    ASSERT_EQ(pipe2(out, O_CLOEXEC), 0);
    close(out[0]);  // nobody reads: every write fails with a broken pipe
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t pipeSignal;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes, &pipeSignal);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
    // Far more output than a pipe takes, printed while the link is open.
    std::string program = SKYFAULT_LINKCHECK_PATH, verb = "read", offset = "0", size = "30000";
    char* argv[] = {program.data(), verb.data(), offset.data(), size.data(), nullptr};
    pid_t pid = -1;
    ASSERT_EQ(posix_spawn(&pid, argv[0], &actions, &attributes, argv, environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    close(out[1]);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Meeting()), {}), 1)
        << "its block file was left beside the socket";
}

TEST_F(LinkFaultTest, ServerRefusesAPeerOfAnotherUser) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to run a child as another user";
    }
    SimProcess sim;
    ASSERT_TRUE(sim.Ready());
    const std::string name = "FSASMLIB:IPC:ABC:1";
    BlockFile block(dir.Meeting() + "/" + name, kIasOffset);
    // Exit code 0: refused; 1: carried out; 2: cannot connect; 3: cannot change user.
    const auto asNobody = [&] {
        const pid_t pid = fork();
        if (pid == 0) {
            if (setgid(65534) != 0 || setuid(65534) != 0) {
                _exit(3);
            }
            RawClient client(dir.Socket());
            const auto answer = client.Connected() ? client.Request(name) : std::nullopt;
            _exit(!client.Connected() ? 2 : !answer || *answer == 0 ? 0 : 1);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    EXPECT_EQ(asNobody(), 2) << "the meeting place (0700) keeps others out";
    // Opened up to everyone, the server still serves only its own user.
    ASSERT_EQ(chmod(dir.Path().c_str(), 0755), 0);
    ASSERT_EQ(chmod(dir.Meeting().c_str(), 0755), 0);
    ASSERT_EQ(chmod(dir.Socket().c_str(), 0777), 0);
    EXPECT_EQ(asNobody(), 0);
    EXPECT_EQ(block.Delivered(), 0u);
    EXPECT_EQ(RawClient(dir.Socket()).Request(name), std::optional<std::uint32_t>(1));
    EXPECT_EQ(block.Delivered(), kStartingIas);
}

}  // namespace
}  // namespace skyfault::hardening
