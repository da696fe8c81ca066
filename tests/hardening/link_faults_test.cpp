// The link against a real skyfault-sim process that goes wrong: killed in
// the middle of an exchange, restarted, answering late, answering 0, and a
// rogue server in the test that answers garbage. The link stays open, each
// exchange ends with the protocol's code (11 time-out, 12 send failed, 13 bad
// data), and once a sound server is back the next exchange works again.
// Also: the server refuses a peer of another user and never opens a block
// file that is a symbolic link.

#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "link/codec.h"
#include "link/link.h"
#include "link/local_ipc.h"
#include "link/result.h"
#include "link/transport_posix.h"
#include "tests/hardening/sim_process.h"

namespace skyfault::hardening {
namespace {

namespace local = link::local;
constexpr std::size_t kBlock = 32768;
constexpr std::uint32_t kIasOffset = 0x02BC;
constexpr std::uint32_t kStartingIas = 120u * 128u;  // the stand-in's starting value

int Listen(const std::string& path) {
    unlink(path.c_str());
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    EXPECT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(listen(fd, 16), 0);
    return fd;
}

int Connect(const std::string& path) {
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

bool ReadFull(int fd, std::uint8_t* out, std::size_t size, int timeoutMs) {
    std::size_t got = 0;
    while (got < size) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, timeoutMs) <= 0) {
            return false;
        }
        const ssize_t n = read(fd, out + got, size - got);
        if (n <= 0) {
            return false;
        }
        got += static_cast<std::size_t>(n);
    }
    return true;
}

// One request frame naming `name`; the answer, or nothing when the server
// closed the connection or gave no reply.
std::optional<std::uint32_t> RawRequest(int fd, const std::string& name) {
    const auto frame =
        local::EncodeRequest({7, local::MessageNumber("FSASMLIB:IPC"), 0xC000, 0, name});
    if (send(fd, frame.data(), frame.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(frame.size())) {
        return std::nullopt;
    }
    std::array<std::uint8_t, local::kReplyFrameSize> reply{};
    if (!ReadFull(fd, reply.data(), reply.size(), 5000)) {
        return std::nullopt;
    }
    const auto decoded = local::DecodeReply(reply.data());
    if (!decoded || decoded->sequence != 7) {
        return std::nullopt;
    }
    return decoded->answer;
}

// A block file of 32768 bytes holding one read of the airspeed.
class BlockFile {
public:
    explicit BlockFile(const std::string& path) {
        fd_ = open(path.c_str(), O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC, 0600);
        EXPECT_GE(fd_, 0) << path;
        EXPECT_EQ(ftruncate(fd_, kBlock), 0);
        view_ = static_cast<std::uint8_t*>(
            mmap(nullptr, kBlock, PROT_READ | PROT_WRITE, MAP_SHARED, fd_, 0));
        link::RequestBlock block(view_);
        block.AppendRead(kIasOffset, 4, 1);
        block.Terminate();
    }
    ~BlockFile() {
        munmap(view_, kBlock);
        close(fd_);
    }
    // The value the server delivered into the read (0 when it did nothing).
    std::uint32_t Delivered() const { return link::GetLe32(view_ + link::kReadHeaderSize); }

private:
    int fd_ = -1;
    std::uint8_t* view_ = nullptr;
};

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
        listen_ = Listen(dir.Socket());
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

TEST_F(LinkFaultTest, LateServerTimesOut) {
    {
        SimProcess sim;
        OpenAgainst(sim);
    }
    {
        SimProcess late({"--late", "300"});
        ASSERT_TRUE(late.Ready());
        std::uint32_t value = 0;
        EXPECT_EQ(Exchange(value), link::kTimedOut);
        EXPECT_EQ(value, 0u);
    }
    ExpectRecovery();
}

TEST_F(LinkFaultTest, ServerAnsweringZeroGivesBadData) {
    {
        SimProcess sim;
        OpenAgainst(sim);
    }
    {
        SimProcess refusing({"--answer", "0"});
        ASSERT_TRUE(refusing.Ready());
        std::uint32_t value = 0;
        EXPECT_EQ(Exchange(value), link::kBadData);
        EXPECT_EQ(Exchange(value), link::kBadData);
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
    const std::string socketPath = dir.Socket();

    // As the meeting place stands (0700), another user cannot even connect.
    EXPECT_EQ(RunInChild([&] {
                  if (setgid(65534) != 0 || setuid(65534) != 0) {
                      return 3;
                  }
                  const int fd = Connect(socketPath);
                  return fd < 0 ? 0 : 1;
              }),
              0);

    // Opened up to everyone, the server still serves nobody but its own user.
    ASSERT_EQ(chmod(dir.Path().c_str(), 0755), 0);
    ASSERT_EQ(chmod(dir.Meeting().c_str(), 0755), 0);
    ASSERT_EQ(chmod(socketPath.c_str(), 0777), 0);
    EXPECT_EQ(RunInChild([&] {
                  if (setgid(65534) != 0 || setuid(65534) != 0) {
                      return 3;
                  }
                  const int fd = Connect(socketPath);
                  if (fd < 0) {
                      return 4;
                  }
                  const auto answer = RawRequest(fd, name);
                  close(fd);
                  return !answer || *answer == 0 ? 0 : 1;
              }),
              0);
    EXPECT_EQ(block.Delivered(), 0u);

    // The same frame from the server's own user is carried out.
    const int fd = Connect(socketPath);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(RawRequest(fd, name), std::optional<std::uint32_t>(1));
    close(fd);
    EXPECT_EQ(block.Delivered(), kStartingIas);
}

TEST_F(LinkFaultTest, BlockFileThatIsASymbolicLinkIsNeverOpened) {
    SimProcess sim;
    ASSERT_TRUE(sim.Ready());
    const std::string name = "FSASMLIB:IPC:ABD:1";
    // The target is a perfectly good block file outside the meeting place.
    BlockFile target(dir.Path() + "/elsewhere");
    ASSERT_EQ(symlink((dir.Path() + "/elsewhere").c_str(), (dir.Meeting() + "/" + name).c_str()),
              0);
    const int fd = Connect(dir.Socket());
    ASSERT_GE(fd, 0);
    EXPECT_EQ(RawRequest(fd, name), std::optional<std::uint32_t>(0));
    // A name with a path in it is refused before any file is looked at.
    EXPECT_EQ(RawRequest(fd, "../elsewhere"), std::optional<std::uint32_t>(0));
    close(fd);
    EXPECT_EQ(target.Delivered(), 0u);
}

}  // namespace
}  // namespace skyfault::hardening
