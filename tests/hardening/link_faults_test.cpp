// The link against a real skyfault-sim process that goes wrong: killed in
// the middle of an exchange, restarted, answering late, answering 0, and a
// rogue server in the test that answers garbage. The link stays open, each
// exchange ends with the protocol's code (11 time-out, 12 send failed, 13 bad
// data), and once a sound server is back the next exchange works again.
// Also: the server refuses a peer of another user.

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

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
    std::int32_t Exchange(std::uint32_t& value) {
        value = 0;
        std::int32_t result = -1;
        EXPECT_TRUE(link.LinkRead(kIasOffset, 4, &value, result));
        link.LinkProcess(result);
        return result;
    }

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
