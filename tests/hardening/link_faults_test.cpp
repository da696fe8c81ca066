// The link against a real skyfault-sim process that goes wrong: killed in
// the middle of an exchange, restarted, answering late, answering 0, and a
// rogue server in the test that answers garbage. The link stays open, each
// exchange ends with the protocol's code (11 time-out, 12 send failed, 13 bad
// data), and once a sound server is back the next exchange works again.
// A server that hangs (stopped: it neither accepts nor reads) costs each
// exchange its tries and nothing more. A block file left by a killed process
// does not lock out a later one of the same id. Also: the server refuses a
// peer of another user.

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <iostream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "link/link.h"
#include "link/result.h"
#include "link/transport_posix.h"
#include "tests/support/sim_process_posix.h"

namespace skyfault::hardening {
namespace {

namespace local = link::local;
using namespace test_support;
constexpr std::uint32_t kIasOffset = 0x02BC;
constexpr std::uint32_t kStartingIas = 120u * 128u;  // the stand-in's starting value

// What a rogue server does with each request frame.
enum class Rogue {
    kGarbage,        // a reply that is not a reply frame
    kWrongSequence,  // well-formed replies, never to the request asked
    kScribble,       // answers 1 after filling the block with 0xFF
    kHangUp,         // reads the frame and closes the connection
};

// A rogue server on the meeting place's socket, one connection at a time.
class RogueServer {
public:
    RogueServer(const RuntimeDir& dir, Rogue mode) : dir_(dir), mode_(mode) {
        listen_ = ListenAt(dir.Socket());
        thread_ = std::thread([this] { Run(); });
    }
    ~RogueServer() {
        stop_ = true;
        thread_.join();
        close(listen_);
        unlink(dir_.Socket().c_str());
    }
    int Frames() const { return frames_; }

private:
    void Run() {
        while (!stop_) {
            pollfd p{listen_, POLLIN, 0};
            if (poll(&p, 1, 20) <= 0) {
                continue;
            }
            const int fd = accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) {
                continue;
            }
            Serve(fd);
            close(fd);
        }
    }

    void Serve(int fd) {
        std::array<std::uint8_t, local::kRequestFrameSize> frame{};
        while (!stop_ && ReadFull(fd, frame.data(), frame.size(), 200)) {
            ++frames_;
            const auto request = local::DecodeRequest(frame.data());
            std::array<std::uint8_t, local::kReplyFrameSize> reply{};
            switch (mode_) {
                case Rogue::kGarbage:
                    reply.fill(0x5A);
                    break;
                case Rogue::kWrongSequence:
                    reply = local::EncodeReply({request ? request->sequence + 1000 : 0, 1});
                    break;
                case Rogue::kScribble:
                    if (request) {
                        Scribble(dir_.Meeting() + "/" + request->name);
                    }
                    reply = local::EncodeReply({request ? request->sequence : 0, 1});
                    break;
                case Rogue::kHangUp:
                    return;
            }
            send(fd, reply.data(), reply.size(), MSG_NOSIGNAL);
        }
    }

    static void Scribble(const std::string& path) {
        const int fd = open(path.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) {
            return;
        }
        const std::array<std::uint8_t, 256> bytes = [] {
            std::array<std::uint8_t, 256> b{};
            b.fill(0xFF);
            return b;
        }();
        EXPECT_EQ(pwrite(fd, bytes.data(), bytes.size(), 0), 256);
        close(fd);
    }

    const RuntimeDir& dir_;
    Rogue mode_;
    int listen_ = -1;
    std::atomic<bool> stop_{false};
    std::atomic<int> frames_{0};
    std::thread thread_;
};

// Resumes a paused server once `patience` has passed: a link that would
// wait for it for good is released, and the test fails instead of hanging.
class Watchdog {
public:
    Watchdog(SimProcess& sim, std::chrono::seconds patience)
        : thread_([this, &sim, patience] {
              std::unique_lock lock(mutex_);
              if (!stopped_.wait_for(lock, patience, [this] { return done_; })) {
                  fired_ = true;
                  sim.Resume();
              }
          }) {}
    ~Watchdog() { Stop(); }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

    // True when it had to resume the server.
    bool Stop() {
        {
            const std::lock_guard lock(mutex_);
            done_ = true;
        }
        stopped_.notify_all();
        if (thread_.joinable()) {
            thread_.join();
        }
        return fired_;
    }

private:
    std::mutex mutex_;
    std::condition_variable stopped_;
    bool done_ = false;
    std::atomic<bool> fired_{false};
    std::thread thread_;
};

// Connections to `socketPath` until its listen queue is full.
class FullBacklog {
public:
    explicit FullBacklog(const std::string& socketPath) {
        const sockaddr_un address = SocketAddress(socketPath);
        for (int i = 0; i < 1000; ++i) {
            const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
            if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
                full_ = errno == EAGAIN;
                close(fd);
                return;
            }
            fds_.push_back(fd);
        }
    }
    ~FullBacklog() {
        for (int fd : fds_) {
            close(fd);
        }
    }
    FullBacklog(const FullBacklog&) = delete;
    FullBacklog& operator=(const FullBacklog&) = delete;
    bool Full() const { return full_; }

private:
    std::vector<int> fds_;
    bool full_ = false;
};

// The block files in the meeting place.
std::vector<std::string> BlockFiles(const RuntimeDir& dir) {
    std::vector<std::string> paths;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Meeting())) {
        if (entry.path().filename().string().starts_with("FSASMLIB:IPC:")) {
            paths.push_back(entry.path().string());
        }
    }
    return paths;
}

long long MillisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 start)
        .count();
}

// One read of the airspeed over `link`: the result code, and the value in
// `value`.
std::int32_t ReadIas(link::Link& link, std::uint32_t& value) {
    value = 0;
    std::int32_t result = -1;
    EXPECT_TRUE(link.LinkRead(kIasOffset, 4, &value, result));
    link.LinkProcess(result);
    return result;
}

// Waits until a resumed server serves again (it answers a raw request).
void ExpectServing(const RuntimeDir& dir) {
    RawClient probe(dir.Socket());
    ASSERT_TRUE(probe.Connected());
    EXPECT_TRUE(probe.Request("FSASMLIB:IPC:0:1").has_value());
}

class LinkFaultTest : public ::testing::Test {
protected:
    RuntimeDir dir;
    std::unique_ptr<link::Transport> transport =
        link::MakeLocalTransport({50, [](std::uint32_t) {}});
    link::Link link{*transport};

    ~LinkFaultTest() override { link.LinkClose(); }

    void OpenAgainst(SimProcess& sim) {
        ASSERT_TRUE(sim.Ready());
        std::int32_t result = -1;
        ASSERT_TRUE(link.LinkOpen(0, result)) << result;
    }

    // One read of the airspeed: the result code, and the value in `value`.
    std::int32_t Exchange(std::uint32_t& value) { return ReadIas(link, value); }

    // After a fault: a sound server again, and the next exchange works.
    void ExpectRecovery() {
        SimProcess sim;
        ASSERT_TRUE(sim.Ready());
        std::uint32_t value = 0;
        EXPECT_EQ(Exchange(value), link::kOkay);
        EXPECT_EQ(value, kStartingIas);
        EXPECT_TRUE(link.IsOpen());
    }
};

TEST_F(LinkFaultTest, ServerKilledInTheMiddleOfAnExchangeThenRestarted) {
    // The real waits of the transport here: the server dies while the link
    // waits for its answer.
    auto patient = link::MakeLocalTransport();
    link::Link waiting(*patient);
    std::int32_t result = -1;
    {
        SimProcess sim;
        ASSERT_TRUE(sim.Ready());
        ASSERT_TRUE(waiting.LinkOpen(0, result)) << result;
    }
    {
        SimProcess sim({"--late", "1500"});
        ASSERT_TRUE(sim.Ready());
        std::thread killer([&sim] {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            sim.Kill();
        });
        std::uint32_t value = 0;
        const auto started = std::chrono::steady_clock::now();
        ASSERT_TRUE(waiting.LinkRead(kIasOffset, 4, &value, result));
        EXPECT_FALSE(waiting.LinkProcess(result));
        const auto waited = std::chrono::steady_clock::now() - started;
        killer.join();
        EXPECT_EQ(result, link::kSendFailed);
        EXPECT_EQ(value, 0u);  // nothing delivered
        // The link noticed the end of the connection at once, without
        // waiting out its time-outs.
        EXPECT_LT(waited, std::chrono::milliseconds(1400));
        EXPECT_TRUE(waiting.IsOpen());
    }
    SimProcess sim;
    ASSERT_TRUE(sim.Ready());
    std::uint32_t value = 0;
    ASSERT_TRUE(waiting.LinkRead(kIasOffset, 4, &value, result));
    EXPECT_TRUE(waiting.LinkProcess(result));
    EXPECT_EQ(result, link::kOkay);
    EXPECT_EQ(value, kStartingIas);
    waiting.LinkClose();
}

TEST_F(LinkFaultTest, LateOrRefusingServersGive11And13) {
    {
        SimProcess sim;
        OpenAgainst(sim);
    }
    const std::pair<std::vector<std::string>, std::int32_t> cases[] = {
        {{"--late", "300"}, link::kTimedOut}, {{"--answer", "0"}, link::kBadData}};
    for (const auto& [options, code] : cases) {
        SimProcess faulty(options);
        ASSERT_TRUE(faulty.Ready());
        std::uint32_t value = 0;
        EXPECT_EQ(Exchange(value), code);
        EXPECT_EQ(value, 0u);
    }
    ExpectRecovery();
}

TEST_F(LinkFaultTest, RogueServersGiveTheProtocolsCodes) {
    {
        SimProcess sim;
        OpenAgainst(sim);
    }
    const std::pair<Rogue, std::int32_t> cases[] = {
        {Rogue::kGarbage, link::kSendFailed},
        {Rogue::kWrongSequence, link::kTimedOut},
        {Rogue::kScribble, link::kBadData},
        {Rogue::kHangUp, link::kSendFailed},
    };
    for (const auto& [mode, code] : cases) {
        SCOPED_TRACE(static_cast<int>(mode));
        RogueServer rogue(dir, mode);
        std::uint32_t value = 0;
        EXPECT_EQ(Exchange(value), code);
        EXPECT_EQ(value, 0u);
        EXPECT_GT(rogue.Frames(), 0);
        EXPECT_TRUE(link.IsOpen());
    }
    ExpectRecovery();
}

TEST_F(LinkFaultTest, AServerThatStopsReadingCostsEachExchangeItsTriesNeverAHang) {
    // Short tries, so that many exchanges fit: 40 exchanges of 11 tries send
    // more frames than one connection's buffer holds (some 300 of 44 bytes)
    // and try more connections than the server's listen queue takes (17).
    constexpr std::uint32_t kTryMs = 10;
    constexpr int kExchanges = 40;
    auto quick = link::MakeLocalTransport({kTryMs, [](std::uint32_t) {}});
    link::Link hung(*quick);
    SimProcess sim;
    ASSERT_TRUE(sim.Ready());
    std::int32_t result = -1;
    ASSERT_TRUE(hung.LinkOpen(0, result)) << result;
    sim.Pause();

    long long longest = 0;
    Watchdog watchdog(sim, std::chrono::seconds(30));
    for (int i = 0; i < kExchanges; ++i) {
        std::uint32_t value = 0;
        const auto started = std::chrono::steady_clock::now();
        EXPECT_EQ(ReadIas(hung, value), link::kTimedOut) << "exchange " << i;
        longest = std::max(longest, MillisecondsSince(started));
        EXPECT_EQ(value, 0u);
    }
    EXPECT_FALSE(watchdog.Stop()) << "an exchange waited until the server came back";
    std::cout << "hung server (stops reading): " << kExchanges
              << " exchanges, each 11 after at most " << longest << " ms (11 tries of " << kTryMs
              << " ms)\n";

    sim.Resume();
    ExpectServing(dir);
    std::uint32_t value = 0;
    EXPECT_EQ(ReadIas(hung, value), link::kOkay);
    EXPECT_EQ(value, kStartingIas);
}

TEST_F(LinkFaultTest, AServerThatStopsAcceptingCostsTheOpenItsTriesNeverAHang) {
    SimProcess sim;
    OpenAgainst(sim);
    sim.Pause();
    const auto backlog = std::make_unique<FullBacklog>(dir.Socket());
    ASSERT_TRUE(backlog->Full());

    Watchdog watchdog(sim, std::chrono::seconds(30));
    std::uint32_t value = 0;
    auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(Exchange(value), link::kTimedOut);
    const long long exchangeMs = MillisecondsSince(started);
    // Opening again now finds the server there, but it takes no connection.
    link.LinkClose();
    std::int32_t result = -1;
    started = std::chrono::steady_clock::now();
    EXPECT_FALSE(link.LinkOpen(0, result));
    EXPECT_EQ(result, link::kTimedOut);
    const long long openMs = MillisecondsSince(started);
    EXPECT_FALSE(watchdog.Stop()) << "the link waited until the server came back";
    std::cout << "hung server (stops accepting): exchange 11 after " << exchangeMs
              << " ms, open 11 after " << openMs << " ms (11 tries of 50 ms)\n";

    sim.Resume();
    ExpectServing(dir);
    ASSERT_TRUE(link.LinkOpen(0, result)) << result;
    EXPECT_EQ(Exchange(value), link::kOkay);
    EXPECT_EQ(value, kStartingIas);
}

TEST_F(LinkFaultTest, ABlockFileLeftByAKilledProcessIsReplacedByTheNextOfTheSameId) {
    SimProcess sim;
    ASSERT_TRUE(sim.Ready());
    const int ended = RunInChild([] {
        auto transport = link::MakeLocalTransport();
        link::Link child(*transport);
        std::int32_t result = -1;
        if (!child.LinkOpen(0, result)) {
            return 1;
        }
        raise(SIGKILL);  // ends with the link open
        return 2;
    });
    ASSERT_EQ(ended, 128 + SIGKILL);
    const auto left = BlockFiles(dir);
    ASSERT_EQ(left.size(), 1u);
    // What a later process with the same id finds.
    const std::string ours = dir.Meeting() + "/" + link::BlockName(getpid());
    ASSERT_EQ(rename(left[0].c_str(), ours.c_str()), 0);

    std::int32_t result = -1;
    ASSERT_TRUE(link.LinkOpen(0, result)) << result;
    std::uint32_t value = 0;
    EXPECT_EQ(Exchange(value), link::kOkay);
    EXPECT_EQ(value, kStartingIas);
    link.LinkClose();
    EXPECT_TRUE(BlockFiles(dir).empty());
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
    EXPECT_TRUE(BlockFiles(dir).empty()) << "its block file was left behind";
}

TEST_F(LinkFaultTest, ServerRefusesAPeerOfAnotherUser) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to run a child as another user";
    }
    SimProcess sim;
    ASSERT_TRUE(sim.Ready());
    const std::string name = "FSASMLIB:IPC:ABC:1";
    BlockFile block(dir.Meeting() + "/" + name);
    block.WithRead(kIasOffset, 4);
    // 0: refused; 1: carried out; 2: cannot connect; 3: cannot change user.
    const auto asNobody = [&] {
        return RunInChild([&] {
            if (setgid(65534) != 0 || setuid(65534) != 0) {
                return 3;
            }
            RawClient client(dir.Socket());
            if (!client.Connected()) {
                return 2;
            }
            const auto answer = client.Request(name);
            return !answer || *answer == 0 ? 0 : 1;
        });
    };
    // As the meeting place stands (0700), another user cannot even connect.
    EXPECT_EQ(asNobody(), 2);
    // Opened up to everyone, the server still serves nobody but its own user.
    ASSERT_EQ(chmod(dir.Path().c_str(), 0755), 0);
    ASSERT_EQ(chmod(dir.Meeting().c_str(), 0755), 0);
    ASSERT_EQ(chmod(dir.Socket().c_str(), 0777), 0);
    EXPECT_EQ(asNobody(), 0);
    EXPECT_EQ(block.Delivered(), 0u);
    // The same frame from the server's own user is carried out.
    EXPECT_EQ(RawClient(dir.Socket()).Request(name), std::optional<std::uint32_t>(1));
    EXPECT_EQ(block.Delivered(), kStartingIas);
}

}  // namespace
}  // namespace skyfault::hardening
