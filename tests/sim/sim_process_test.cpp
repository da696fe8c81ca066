// skyfault-sim as a real process on the local transport: the server side's
// refusals, and the link's client talking to it. POSIX only.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "link/codec.h"
#include "link/link.h"
#include "link/local_ipc.h"
#include "link/transport_posix.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
namespace local = skyfault::link::local;
using skyfault::link::GetLe32;
using skyfault::link::PutLe32;

constexpr std::size_t kBlock = 32768;

// A private XDG_RUNTIME_DIR for one test, removed afterwards.
class RuntimeDir {
public:
    RuntimeDir() {
        char pattern[] = "/tmp/skyfault-sim-test-XXXXXX";
        path_ = mkdtemp(pattern);
        setenv("XDG_RUNTIME_DIR", path_.c_str(), 1);
    }
    ~RuntimeDir() {
        std::error_code ignored;
        fs::permissions(Meeting(), fs::perms::owner_all, ignored);
        fs::remove_all(path_, ignored);
    }
    const std::string& Path() const { return path_; }
    std::string Meeting() const { return path_ + "/skyfault-ipc"; }

private:
    std::string path_;
};

// skyfault-sim with its standard streams on pipes.
class SimProcess {
public:
    explicit SimProcess(std::vector<std::string> args) {
        int in[2];
        int out[2];
        int err[2];
        EXPECT_EQ(pipe2(in, O_CLOEXEC), 0);
        EXPECT_EQ(pipe2(out, O_CLOEXEC), 0);
        EXPECT_EQ(pipe2(err, O_CLOEXEC), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_adddup2(&actions, err[1], 2);
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
        close(err[1]);
        in_ = in[1];
        out_ = out[0];
        err_ = err[0];
    }
    ~SimProcess() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            Wait();
        }
        close(in_);
        close(out_);
        close(err_);
    }

    void Send(const std::string& line) {
        const std::string text = line + "\n";
        ASSERT_EQ(write(in_, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    }

    // The next line of standard output, or nothing after 5 s or at its end.
    std::optional<std::string> NextLine() { return ReadLine(out_, outBuffer_); }

    // Skips lines until one equals `line`.
    bool WaitFor(const std::string& line) {
        while (auto next = NextLine()) {
            if (*next == line) {
                return true;
            }
        }
        return false;
    }

    std::string AllErrors() {
        std::string all;
        while (auto line = ReadLine(err_, errBuffer_)) {
            all += *line + "\n";
        }
        return all;
    }

    // The exit code, waiting for the end.
    int Wait() {
        int status = 0;
        if (pid_ <= 0) {
            return exitCode_;
        }
        waitpid(pid_, &status, 0);
        pid_ = -1;
        exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return exitCode_;
    }

    void Terminate() { kill(pid_, SIGTERM); }

private:
    static std::optional<std::string> ReadLine(int fd, std::string& buffer) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        for (;;) {
            const std::size_t end = buffer.find('\n');
            if (end != std::string::npos) {
                std::string line = buffer.substr(0, end);
                buffer.erase(0, end + 1);
                return line;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd p{fd, POLLIN, 0};
            if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0) {
                return std::nullopt;
            }
            char chunk[512];
            const ssize_t got = read(fd, chunk, sizeof chunk);
            if (got <= 0) {
                return std::nullopt;
            }
            buffer.append(chunk, static_cast<std::size_t>(got));
        }
    }

    pid_t pid_ = -1;
    int exitCode_ = -1;
    int in_ = -1;
    int out_ = -1;
    int err_ = -1;
    std::string outBuffer_;
    std::string errBuffer_;
};

// A block file in the meeting place, as a client creates it.
class BlockFile {
public:
    explicit BlockFile(const std::string& path, mode_t mode = 0600) : path_(path) {
        fd_ = open(path.c_str(), O_CREAT | O_EXCL | O_RDWR | O_NOFOLLOW | O_CLOEXEC, mode);
        EXPECT_GE(fd_, 0) << path;
        EXPECT_EQ(ftruncate(fd_, kBlock), 0);
        void* view = mmap(nullptr, kBlock, PROT_READ | PROT_WRITE, MAP_SHARED, fd_, 0);
        EXPECT_NE(view, MAP_FAILED);
        block_.Attach(static_cast<std::uint8_t*>(view));
    }
    ~BlockFile() {
        munmap(block_.Data(), kBlock);
        close(fd_);
    }
    skyfault::link::RequestBlock& Block() { return block_; }
    std::uint8_t* Data() { return block_.Data(); }

private:
    std::string path_;
    int fd_ = -1;
    skyfault::link::RequestBlock block_;
};

// A raw client connection speaking the frames.
class RawClient {
public:
    explicit RawClient(const std::string& socketPath) {
        fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, socketPath.c_str(), sizeof address.sun_path - 1);
        connected_ = connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~RawClient() { close(fd_); }
    bool Connected() const { return connected_; }

    // The answer, or nothing when the server closed the connection.
    std::optional<std::uint32_t> Request(
        const std::string& name, std::uint32_t message = local::MessageNumber("FSASMLIB:IPC")) {
        const auto bytes = local::EncodeRequest({++sequence_, message, 0xC000, 0, name});
        return SendRaw(bytes.data(), bytes.size());
    }

    std::optional<std::uint32_t> SendRaw(const std::uint8_t* bytes, std::size_t size) {
        if (send(fd_, bytes, size, MSG_NOSIGNAL) != static_cast<ssize_t>(size)) {
            return std::nullopt;
        }
        std::array<std::uint8_t, local::kReplyFrameSize> reply{};
        std::size_t got = 0;
        while (got < reply.size()) {
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, 5000) <= 0) {
                return std::nullopt;
            }
            const ssize_t n = read(fd_, reply.data() + got, reply.size() - got);
            if (n <= 0) {
                return std::nullopt;
            }
            got += static_cast<std::size_t>(n);
        }
        const auto frame = local::DecodeReply(reply.data());
        if (!frame || frame->sequence != sequence_) {
            return std::nullopt;
        }
        return frame->answer;
    }

private:
    int fd_ = -1;
    bool connected_ = false;
    std::uint32_t sequence_ = 0;
};

class SimProcessTest : public ::testing::Test {
protected:
    RuntimeDir dir_;
    std::string Socket(const char* cls = "UIPCMAIN") const { return dir_.Meeting() + "/" + cls; }
};

TEST_F(SimProcessTest, ServesAndRemovesItsSocketOnTermination) {
    {
        SimProcess sim({});
        ASSERT_TRUE(sim.WaitFor("ready")) << sim.AllErrors();
        struct stat info {};
        ASSERT_EQ(stat(dir_.Meeting().c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0700u);
        ASSERT_EQ(lstat(Socket().c_str(), &info), 0);
        EXPECT_TRUE(S_ISSOCK(info.st_mode));

        sim.Terminate();
        EXPECT_EQ(sim.Wait(), 0);
        EXPECT_FALSE(fs::exists(Socket()));
    }
    // 'quit' ends it too, and FS98MAIN is a socket of its own name.
    SimProcess wide({"--class", "FS98MAIN"});
    ASSERT_TRUE(wide.WaitFor("ready"));
    EXPECT_TRUE(fs::exists(Socket("FS98MAIN")));
    EXPECT_FALSE(fs::exists(Socket("UIPCMAIN")));
    wide.Send("quit");
    EXPECT_EQ(wide.Wait(), 0);
    EXPECT_FALSE(fs::exists(Socket("FS98MAIN")));
}

TEST_F(SimProcessTest, RefusesAMeetingPlaceOpenToOthersOrALink) {
    ASSERT_EQ(mkdir(dir_.Meeting().c_str(), 0700), 0);
    ASSERT_EQ(chmod(dir_.Meeting().c_str(), 0755), 0);
    {
        SimProcess sim({});
        EXPECT_EQ(sim.Wait(), 1);
        EXPECT_NE(sim.AllErrors().find("open to group or others"), std::string::npos);
        EXPECT_FALSE(fs::exists(Socket()));
    }
    ASSERT_EQ(rmdir(dir_.Meeting().c_str()), 0);
    const std::string elsewhere = dir_.Path() + "/elsewhere";
    ASSERT_EQ(mkdir(elsewhere.c_str(), 0700), 0);
    ASSERT_EQ(symlink(elsewhere.c_str(), dir_.Meeting().c_str()), 0);
    SimProcess sim({});
    EXPECT_EQ(sim.Wait(), 1);
    EXPECT_NE(sim.AllErrors().find("symbolic link"), std::string::npos);
    EXPECT_FALSE(fs::exists(elsewhere + "/UIPCMAIN"));
}

TEST_F(SimProcessTest, ReplacesAStaleSocketButNotALiveServer) {
    ASSERT_EQ(mkdir(dir_.Meeting().c_str(), 0700), 0);
    {
        // A socket file nobody listens on, as a killed server leaves it.
        const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, Socket().c_str(), sizeof address.sun_path - 1);
        ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        close(fd);
    }
    SimProcess first({});
    ASSERT_TRUE(first.WaitFor("ready")) << first.AllErrors();

    SimProcess second({});
    EXPECT_EQ(second.Wait(), 1);
    EXPECT_NE(second.AllErrors().find("already listening"), std::string::npos);
    // The first one still serves.
    RawClient client(Socket());
    EXPECT_TRUE(client.Connected());
}

TEST_F(SimProcessTest, CarriesOutValidBlocksAndRefusesEverythingElse) {
    SimProcess sim({});
    ASSERT_TRUE(sim.WaitFor("ready"));
    sim.Send("set ias 150");
    sim.Send("get ias");
    ASSERT_TRUE(sim.WaitFor("ias 150"));

    const std::string name = "FSASMLIB:IPC:1A4:1";
    BlockFile good(dir_.Meeting() + "/" + name);
    const std::uint8_t one = 1;
    good.Block().AppendRead(0x02BC, 4, 1);
    good.Block().AppendWrite(0x0B71, 1, &one);
    good.Block().Terminate();
    RawClient client(Socket());
    ASSERT_TRUE(client.Connected());
    EXPECT_EQ(client.Request(name), 1u);
    EXPECT_EQ(GetLe32(good.Data() + 16), 150u * 128u);
    EXPECT_EQ(sim.NextLine(), "write 0x0B71 1 01");

    // Another message number: answered 0, the block untouched.
    PutLe32(good.Data() + 16, 0);
    EXPECT_EQ(client.Request(name, local::MessageNumber("SOMETHING:ELSE")), 0u);
    EXPECT_EQ(GetLe32(good.Data() + 16), 0u);

    // Names outside the pattern never reach the file system: a block that
    // "../" would reach is left alone.
    ASSERT_EQ(mkdir((dir_.Meeting() + "/FSASMLIB:IPC:").c_str(), 0700), 0);
    BlockFile outside(dir_.Path() + "/b");
    outside.Block().AppendRead(0x02BC, 4, 1);
    outside.Block().AppendWrite(0x0B72, 1, &one);
    outside.Block().Terminate();
    EXPECT_EQ(client.Request("FSASMLIB:IPC:/../../b"), 0u);
    EXPECT_EQ(client.Request("FSASMLIB:IPC:1a4:1"), 0u);  // lower case
    EXPECT_EQ(client.Request("FSASMLIB:IPC:123456789:1"), 0u);
    EXPECT_EQ(GetLe32(outside.Data() + 16), 0u);

    // A symbolic link under a valid name is not followed.
    const std::string linked = "FSASMLIB:IPC:1A5:1";
    ASSERT_EQ(symlink((dir_.Path() + "/b").c_str(), (dir_.Meeting() + "/" + linked).c_str()), 0);
    EXPECT_EQ(client.Request(linked), 0u);
    EXPECT_EQ(GetLe32(outside.Data() + 16), 0u);

    // Wrong size, a FIFO, a missing file: 0, and the server does not hang.
    const std::string shortName = "FSASMLIB:IPC:1A6:1";
    {
        const int fd = open((dir_.Meeting() + "/" + shortName).c_str(), O_CREAT | O_RDWR, 0600);
        ASSERT_EQ(ftruncate(fd, kBlock - 1), 0);
        close(fd);
    }
    EXPECT_EQ(client.Request(shortName), 0u);
    ASSERT_EQ(mkfifo((dir_.Meeting() + "/FSASMLIB:IPC:1A7:1").c_str(), 0600), 0);
    EXPECT_EQ(client.Request("FSASMLIB:IPC:1A7:1"), 0u);
    EXPECT_EQ(client.Request("FSASMLIB:IPC:1A8:1"), 0u);

    // A block owned by another user is refused (checkable only as root).
    if (geteuid() == 0) {
        const std::string foreign = "FSASMLIB:IPC:1A9:1";
        BlockFile other(dir_.Meeting() + "/" + foreign);
        other.Block().AppendRead(0x02BC, 4, 1);
        other.Block().Terminate();
        ASSERT_EQ(chown((dir_.Meeting() + "/" + foreign).c_str(), 65534, 65534), 0);
        EXPECT_EQ(client.Request(foreign), 0u);
        EXPECT_EQ(GetLe32(other.Data() + 16), 0u);
    }

    // The same connection still works; no write but the first was received.
    EXPECT_EQ(client.Request(name), 1u);
    EXPECT_EQ(sim.NextLine(), "write 0x0B71 1 01");

    // A frame with the wrong magic ends the connection.
    auto bad = local::EncodeRequest({99, local::MessageNumber("FSASMLIB:IPC"), 0, 0, name});
    bad[0] = 'X';
    EXPECT_EQ(client.SendRaw(bad.data(), bad.size()), std::nullopt);
    RawClient again(Socket());
    EXPECT_EQ(again.Request(name), 1u);
}

TEST_F(SimProcessTest, AnswerOptionLeavesBlocksAlone) {
    SimProcess sim({"--answer", "0", "--class", "FS98MAIN"});
    ASSERT_TRUE(sim.WaitFor("ready"));
    const std::string name = "FSASMLIB:IPC:2:1";
    BlockFile block(dir_.Meeting() + "/" + name);
    block.Block().AppendRead(0x3304, 4, 1);
    block.Block().Terminate();
    RawClient client(Socket("FS98MAIN"));
    EXPECT_EQ(client.Request(name), 0u);
    EXPECT_EQ(GetLe32(block.Data() + 16), 0u);
}

// A peer under another uid is answered 0 (checkable only as root).
TEST_F(SimProcessTest, RefusesPeersOfAnotherUser) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to connect as another user";
    }
    SimProcess sim({});
    ASSERT_TRUE(sim.WaitFor("ready"));
    const std::string name = "FSASMLIB:IPC:3:1";
    BlockFile block(dir_.Meeting() + "/" + name);
    block.Block().AppendRead(0x3304, 4, 1);
    block.Block().Terminate();
    // Let the other user reach the socket at all.
    ASSERT_EQ(chmod(dir_.Path().c_str(), 0711), 0);
    ASSERT_EQ(chmod(dir_.Meeting().c_str(), 0711), 0);
    ASSERT_EQ(chmod(Socket().c_str(), 0777), 0);

    const auto frame = local::EncodeRequest({7, local::MessageNumber("FSASMLIB:IPC"), 0, 0, name});
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, Socket().c_str(), sizeof address.sun_path - 1);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Exit code: the answer, 100 when nothing came back, 101 when not connected.
        if (setgid(65534) != 0 || setuid(65534) != 0) {
            _exit(102);
        }
        const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
        if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            write(fd, frame.data(), frame.size()) != static_cast<ssize_t>(frame.size())) {
            _exit(101);
        }
        std::uint8_t reply[local::kReplyFrameSize];
        std::size_t got = 0;
        while (got < sizeof reply) {
            const ssize_t n = read(fd, reply + got, sizeof reply - got);
            if (n <= 0) {
                _exit(100);
            }
            got += static_cast<std::size_t>(n);
        }
        _exit(static_cast<int>(reply[8]));
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_EQ(chmod(dir_.Meeting().c_str(), 0700), 0);
    ASSERT_EQ(chmod(dir_.Path().c_str(), 0700), 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(GetLe32(block.Data() + 16), 0u);

    // The same request from our own uid is carried out.
    RawClient own(Socket());
    EXPECT_EQ(own.Request(name), 1u);
    EXPECT_NE(GetLe32(block.Data() + 16), 0u);
}

// The link's own client against the process: open, read, write.
TEST_F(SimProcessTest, LinkOpensReadsAndWrites) {
    SimProcess sim({"--sim-code", "2"});
    ASSERT_TRUE(sim.WaitFor("ready"));
    sim.Send("set oat -12.5");
    sim.Send("set tank-left 40");
    sim.Send("get tank-left");
    ASSERT_TRUE(sim.WaitFor("tank-left 40"));

    auto transport = skyfault::link::MakeLocalTransport();
    skyfault::link::Link link(*transport);
    link.LinkInitialize();
    std::int32_t result = -1;
    ASSERT_TRUE(link.LinkOpen(0, result)) << result;
    EXPECT_EQ(result, 0);
    EXPECT_EQ(link.SimVersion(), 2u);

    std::int16_t oat = 0;
    std::uint32_t tank = 0;
    const std::uint8_t failed = 1;
    ASSERT_TRUE(link.LinkRead(0x0E8C, 2, &oat, result));
    ASSERT_TRUE(link.LinkRead(0x0B7C, 4, &tank, result));
    ASSERT_TRUE(link.LinkWrite(0x0B6E, 1, &failed, result));
    ASSERT_TRUE(link.LinkProcess(result)) << result;
    EXPECT_EQ(oat, -12 * 256 - 128);
    EXPECT_EQ(tank, 40u * 128u * 65536u);
    EXPECT_EQ(sim.NextLine(), "write 0x0B6E 1 01");
    sim.Send("peek 0x0B6E 1");
    EXPECT_EQ(sim.NextLine(), "peek 0x0B6E 1 01 1");

    link.LinkClose();
    // The client removed its block file.
    for (const auto& entry : fs::directory_iterator(dir_.Meeting())) {
        EXPECT_EQ(entry.path().filename(), "UIPCMAIN");
    }
}

TEST_F(SimProcessTest, LinkRefusesAWrongVersion) {
    {
        SimProcess sim({"--wrong-version"});
        ASSERT_TRUE(sim.WaitFor("ready"));
        auto transport = skyfault::link::MakeLocalTransport({std::nullopt, [](std::uint32_t) {}});
        skyfault::link::Link link(*transport);
        link.LinkInitialize();
        std::int32_t result = -1;
        EXPECT_FALSE(link.LinkOpen(0, result));
        EXPECT_EQ(result, skyfault::link::kWrongVersion);
    }
    SimProcess wide({"--class", "FS98MAIN", "--version", "0x19980004"});
    ASSERT_TRUE(wide.WaitFor("ready"));
    auto transport = skyfault::link::MakeLocalTransport({std::nullopt, [](std::uint32_t) {}});
    skyfault::link::Link link(*transport);
    link.LinkInitialize();
    std::int32_t result = -1;
    EXPECT_FALSE(link.LinkOpen(0, result));
    EXPECT_EQ(result, skyfault::link::kWideClientNoServer);
}

TEST_F(SimProcessTest, LateAnswersTimeTheClientOut) {
    SimProcess sim({"--late", "300"});
    ASSERT_TRUE(sim.WaitFor("ready"));
    // Sends capped at 20 ms and no real sleeps: the open gives up quickly.
    auto transport = skyfault::link::MakeLocalTransport({20, [](std::uint32_t) {}});
    skyfault::link::Link link(*transport);
    link.LinkInitialize();
    std::int32_t result = -1;
    EXPECT_FALSE(link.LinkOpen(0, result));
    EXPECT_EQ(result, skyfault::link::kTimedOut);
}

TEST_F(SimProcessTest, BadOptionsAndCommands) {
    {
        SimProcess sim({"--class", "OTHER"});
        EXPECT_EQ(sim.Wait(), 2);
        EXPECT_NE(sim.AllErrors().find("--class"), std::string::npos);
    }
    {
        SimProcess sim({"--help"});
        EXPECT_TRUE(
            sim.WaitFor("  --late MS                  answer every request MS milliseconds late"));
        EXPECT_EQ(sim.Wait(), 0);
    }
    SimProcess sim({});
    ASSERT_TRUE(sim.WaitFor("ready"));
    sim.Send("set ias fast");
    sim.Send("get ias");
    EXPECT_EQ(sim.NextLine(), "ias 120");
    sim.Send("quit");
    EXPECT_EQ(sim.Wait(), 0);
    EXPECT_NE(sim.AllErrors().find("'fast' is not a number"), std::string::npos);
}

}  // namespace
