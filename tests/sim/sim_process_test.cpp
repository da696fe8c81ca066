// skyfault-sim as a process on the local transport: what it serves and refuses.

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/support/sim_process_posix.h"

namespace {

namespace fs = std::filesystem;
namespace local = skyfault::link::local;
using namespace skyfault::test_support;

class SimProcessTest : public ::testing::Test {
protected:
    RuntimeDir dir_;
    std::string InMeeting(const std::string& name) const { return dir_.Meeting() + "/" + name; }
};

TEST_F(SimProcessTest, ServesOnItsClassAndRemovesItsSocketAtTheEnd) {
    // A meeting place open to others is refused (its checks: link_faults_test).
    ASSERT_EQ(mkdir(dir_.Meeting().c_str(), 0755), 0);
    SimProcess open;
    EXPECT_TRUE(open.WaitFor("open to group or others", true));
    EXPECT_EQ(open.Wait(), 1);
    ASSERT_EQ(chmod(dir_.Meeting().c_str(), 0700), 0);

    SimProcess sim({"--class", "FS98MAIN"});
    ASSERT_TRUE(sim.Ready());
    EXPECT_TRUE(fs::is_socket(dir_.Socket("FS98MAIN")));
    EXPECT_FALSE(fs::exists(dir_.Socket("UIPCMAIN")));
    SimProcess second({"--class", "FS98MAIN"});
    EXPECT_TRUE(second.WaitFor("already listening", true));
    EXPECT_EQ(second.Wait(), 1);
    sim.Terminate();
    EXPECT_EQ(sim.Wait(), 0);
    EXPECT_FALSE(fs::exists(dir_.Socket("FS98MAIN")));

    // A socket file nobody listens on, as a killed server leaves it, is replaced.
    close(ListenAt(dir_.Socket()));
    SimProcess again;
    ASSERT_TRUE(again.Ready());
    again.Send("set ias fast");
    again.Send("get ias");
    EXPECT_TRUE(again.WaitFor("'fast' is not a number", true));
    EXPECT_EQ(again.NextLine(), "ias 120");
    again.Send("quit");
    EXPECT_EQ(again.Wait(), 0);
}

TEST_F(SimProcessTest, CarriesOutValidBlocksAndRefusesEverythingElse) {
    SimProcess sim;
    ASSERT_TRUE(sim.Ready());
    sim.Send("set ias 150");
    sim.Send("get ias");
    ASSERT_TRUE(sim.WaitFor("ias 150"));

    const std::string name = "FSASMLIB:IPC:1A4:1";
    const std::uint8_t one = 1;
    BlockFile good(InMeeting(name), 0x02BC, &one);
    RawClient client(dir_.Socket());
    ASSERT_TRUE(client.Connected());
    EXPECT_EQ(client.Request(name), 1u);
    EXPECT_EQ(good.Delivered(), 150u * 128u);
    EXPECT_EQ(sim.NextLine(), "write 0x0B71 1 01");
    EXPECT_EQ(client.Request(name, local::MessageNumber("SOMETHING:ELSE")), 0u);
    EXPECT_EQ(good.Delivered(), 0u) << "another message leaves the block untouched";

    // Names outside the pattern never reach the file system.
    ASSERT_EQ(mkdir(InMeeting("FSASMLIB:IPC:").c_str(), 0700), 0);
    BlockFile outside(dir_.Path() + "/b", 0x02BC, &one);
    ASSERT_EQ(symlink((dir_.Path() + "/b").c_str(), InMeeting("FSASMLIB:IPC:1A5:1").c_str()), 0);
    const int shortFile = open(InMeeting("FSASMLIB:IPC:1A6:1").c_str(), O_CREAT | O_RDWR, 0600);
    ASSERT_EQ(ftruncate(shortFile, skyfault::link::kBlockSize - 1), 0);
    close(shortFile);
    ASSERT_EQ(mkfifo(InMeeting("FSASMLIB:IPC:1A7:1").c_str(), 0600), 0);
    BlockFile foreign(InMeeting("FSASMLIB:IPC:1A9:1"), 0x02BC);
    if (geteuid() == 0) {
        ASSERT_EQ(chown(InMeeting("FSASMLIB:IPC:1A9:1").c_str(), 65534, 65534), 0);
    }
    for (const char* refused :
         {"FSASMLIB:IPC:/../../b", "FSASMLIB:IPC:1a4:1", "FSASMLIB:IPC:123456789:1",
          "FSASMLIB:IPC:1A5:1", "FSASMLIB:IPC:1A6:1", "FSASMLIB:IPC:1A7:1", "FSASMLIB:IPC:1A8:1",
          geteuid() == 0 ? "FSASMLIB:IPC:1A9:1" : "FSASMLIB:IPC:1A8:1"}) {
        EXPECT_EQ(client.Request(refused), 0u) << refused;
    }
    EXPECT_EQ(outside.Delivered(), 0u);
    EXPECT_EQ(foreign.Delivered(), 0u);
    EXPECT_EQ(client.Request(name), 1u) << "the same connection still serves";
    EXPECT_EQ(sim.NextLine(), "write 0x0B71 1 01") << "no other write was received";

    EXPECT_EQ(client.Request(name, local::MessageNumber("FSASMLIB:IPC"), 'X'), std::nullopt)
        << "a frame of the wrong magic ends the connection";
    EXPECT_EQ(RawClient(dir_.Socket()).Request(name), 1u);
}

}  // namespace
