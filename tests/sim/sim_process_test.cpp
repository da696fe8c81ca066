// skyfault-sim as a real process on the local transport: the server side's
// refusals, and the link's client talking to it. POSIX only. The server's
// refusal of a peer of another user, its time-outs and its answer 0 are
// tested with the link in tests/hardening.

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "link/link.h"
#include "link/transport_posix.h"
#include "tests/support/sim_process_posix.h"

namespace {

namespace fs = std::filesystem;
namespace local = skyfault::link::local;
using skyfault::link::GetLe32;
using skyfault::link::PutLe32;
using namespace skyfault::test_support;

class SimProcessTest : public ::testing::Test {
protected:
    RuntimeDir dir_;
    std::string Socket(const char* cls = "UIPCMAIN") const { return dir_.Socket(cls); }
};

TEST_F(SimProcessTest, ServesAndRemovesItsSocketOnTermination) {
    {
        SimProcess sim;
        ASSERT_TRUE(sim.Ready()) << sim.AllErrors();
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
    ASSERT_TRUE(wide.Ready());
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
        SimProcess sim;
        EXPECT_EQ(sim.Wait(), 1);
        EXPECT_NE(sim.AllErrors().find("open to group or others"), std::string::npos);
        EXPECT_FALSE(fs::exists(Socket()));
    }
    ASSERT_EQ(rmdir(dir_.Meeting().c_str()), 0);
    const std::string elsewhere = dir_.Path() + "/elsewhere";
    ASSERT_EQ(mkdir(elsewhere.c_str(), 0700), 0);
    ASSERT_EQ(symlink(elsewhere.c_str(), dir_.Meeting().c_str()), 0);
    SimProcess sim;
    EXPECT_EQ(sim.Wait(), 1);
    EXPECT_NE(sim.AllErrors().find("symbolic link"), std::string::npos);
    EXPECT_FALSE(fs::exists(elsewhere + "/UIPCMAIN"));
}

TEST_F(SimProcessTest, ReplacesAStaleSocketButNotALiveServer) {
    ASSERT_EQ(mkdir(dir_.Meeting().c_str(), 0700), 0);
    {
        // A socket file nobody listens on, as a killed server leaves it.
        const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
        const sockaddr_un address = SocketAddress(Socket());
        ASSERT_EQ(bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
        close(fd);
    }
    SimProcess first;
    ASSERT_TRUE(first.Ready()) << first.AllErrors();

    SimProcess second;
    EXPECT_EQ(second.Wait(), 1);
    EXPECT_NE(second.AllErrors().find("already listening"), std::string::npos);
    // The first one still serves.
    RawClient client(Socket());
    EXPECT_TRUE(client.Connected());
}

TEST_F(SimProcessTest, CarriesOutValidBlocksAndRefusesEverythingElse) {
    SimProcess sim;
    ASSERT_TRUE(sim.Ready());
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
        ASSERT_EQ(ftruncate(fd, skyfault::link::kBlockSize - 1), 0);
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

// The link's own client against the process (its exchanges are proven in
// tests/hardening): the versions it gives.
TEST_F(SimProcessTest, LinkSeesTheVersionsItIsGiven) {
    const std::pair<std::vector<std::string>, std::int32_t> cases[] = {
        {{"--sim-code", "2"}, skyfault::link::kOkay},
        {{"--wrong-version"}, skyfault::link::kWrongVersion},
        {{"--class", "FS98MAIN", "--version", "0x19980004"}, skyfault::link::kWideClientNoServer},
    };
    for (const auto& [args, expected] : cases) {
        SimProcess sim(args);
        ASSERT_TRUE(sim.Ready());
        auto transport = skyfault::link::MakeLocalTransport({std::nullopt, [](std::uint32_t) {}});
        skyfault::link::Link link(*transport);
        std::int32_t result = -1;
        EXPECT_EQ(link.LinkOpen(0, result), expected == skyfault::link::kOkay);
        EXPECT_EQ(result, expected) << args[0];
        if (result == skyfault::link::kOkay) {
            EXPECT_EQ(link.SimVersion(), 2u);
        }
        link.LinkClose();
    }
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
    SimProcess sim;
    ASSERT_TRUE(sim.Ready());
    sim.Send("set ias fast");
    sim.Send("get ias");
    EXPECT_EQ(sim.NextLine(), "ias 120");
    sim.Send("quit");
    EXPECT_EQ(sim.Wait(), 0);
    EXPECT_NE(sim.AllErrors().find("'fast' is not a number"), std::string::npos);
}

}  // namespace
