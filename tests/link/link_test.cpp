// The link's protocol logic against the in-process server, and the frames.
// That an exchange's return value agrees with its result code, for any
// reply, is checked by the reply scan's fuzz target.
#include "link/link.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "link/codec.h"
#include "link/local_ipc.h"
#include "tests/support/in_process_server.h"

namespace skyfault::link {
namespace {

using test_support::InProcessServer;
using Step = InProcessServer::Step;

class LinkTest : public ::testing::Test {
protected:
    std::int32_t Open(std::int32_t requestedSim = 0) {
        std::int32_t result = -1;
        const bool opened = link_.LinkOpen(requestedSim, result);
        EXPECT_EQ(opened, result == kOkay);
        return result;
    }
    void SetVersions(std::uint32_t fsuipc, std::uint32_t sim) {
        server_.Space().WriteU32(0x3304, fsuipc);
        server_.Space().WriteU32(0x3308, sim);
    }

    InProcessServer server_;
    Link link_{server_};
};

TEST_F(LinkTest, OpenReadsTheVersionsOverTheBlockNamedAfterTheProcess) {
    ASSERT_EQ(Open(), kOkay);
    EXPECT_EQ(link_.FsuipcVersion(), 0x40000000);
    EXPECT_EQ(server_.LastAtomName(), "FSASMLIB:IPC:1A4:1");
    EXPECT_EQ(server_.Sends(), 1);
    EXPECT_EQ(server_.LastSend().timeoutMs, 2000u);
    EXPECT_EQ(server_.LastSend().wParam, static_cast<std::int32_t>(0xFFFFC000u))
        << "the atom travels widened with its sign";
    EXPECT_EQ(Open(), kAlreadyOpen);
    EXPECT_EQ(server_.Held(), 4);  // atom, mapping, view and window, once

    link_.LinkClose();
    link_.LinkClose();
    EXPECT_EQ(server_.Held(), 0);
    std::int32_t result = -1;
    std::uint32_t value = 0;
    EXPECT_FALSE(link_.LinkRead(0x3304, 4, &value, result));
    EXPECT_EQ(result, kNotOpen);
    EXPECT_FALSE(link_.LinkProcess(result));
    EXPECT_EQ(result, kNotOpen);
    ASSERT_EQ(Open(), kOkay);
    link_.LinkInitialize();
    EXPECT_EQ(server_.Held(), 0);
}

TEST_F(LinkTest, BatchIsSentAsLaidOutUpToAFullBlock) {
    ASSERT_EQ(Open(), kOkay);
    std::int32_t fsuipc = 0;
    std::uint32_t untouched = 7;
    const std::uint8_t one = 1;
    std::int32_t result = -1;
    ASSERT_TRUE(link_.LinkRead(0x3304, 4, &fsuipc, result));
    ASSERT_TRUE(link_.LinkWrite(0x0B64, 1, &one, result));
    ASSERT_TRUE(link_.LinkRead(0x3304, 0, &untouched, result));
    ASSERT_TRUE(link_.LinkRead(0x3308, 4, nullptr, result));
    EXPECT_FALSE(link_.LinkWrite(0x0B64, 1, nullptr, result));
    EXPECT_EQ(result, kBadData) << "a write needs a source";
    ASSERT_TRUE(link_.LinkProcess(result));
    // After the read and the write the server carried out: kind, offset,
    // size, key and the zero-filled data area of each read.
    const std::vector<std::uint32_t> rest = {1, 0x3304, 0, 3, 1, 0x3308, 4, 0, 0, 0};
    for (std::size_t i = 0; i < rest.size(); ++i) {
        EXPECT_EQ(GetLe32(&server_.LastSend().request[33 + 4 * i]), rest[i]) << i;
    }
    EXPECT_EQ(fsuipc, 0x40000000);
    EXPECT_EQ(untouched, 7u);
    EXPECT_EQ(server_.Space().ReadU16(0x0B64) & 0xFF, 1);
    // Sizes near 2^32 do not wrap the space needed round to a small one.
    std::vector<std::uint8_t> big(32512);
    EXPECT_FALSE(link_.LinkRead(0, 0xFFFFFFFFu, big.data(), result));
    EXPECT_FALSE(link_.LinkWrite(0, 0xFFFFFFF8u, big.data(), result));
    EXPECT_FALSE(link_.LinkProcess(result));
    EXPECT_EQ(result, kNothingQueued);

    // A write (12 + 4), a read (16 + 32476) and the terminator: 32512, the usable block.
    ASSERT_TRUE(link_.LinkWrite(0x100, 4, big.data(), result));
    EXPECT_FALSE(link_.LinkRead(0x0, 32477, big.data(), result));
    EXPECT_EQ(result, kBlockFull);
    EXPECT_FALSE(link_.LinkWrite(0x0, 32481, big.data(), result));
    ASSERT_TRUE(link_.LinkRead(0x0, 32476, big.data(), result));
    EXPECT_FALSE(link_.LinkRead(0x0, 0, nullptr, result));
    EXPECT_EQ(result, kBlockFull);
    ASSERT_TRUE(link_.LinkProcess(result));
    EXPECT_EQ(GetLe32(&server_.LastSend().request[16 + 8]), 32476u);
    EXPECT_EQ(GetLe32(&server_.LastSend().request[32508]), 0u);
}

TEST_F(LinkTest, ServerClassesAndVersionsDecodedLittleEndian) {
    server_.SetWindowClass("");
    EXPECT_EQ(Open(), kNoServer);
    EXPECT_EQ(server_.WindowQueries(), (std::vector<std::string>{"UIPCMAIN", "FS98MAIN"}));
    server_.SetWindowClass("FS98MAIN");
    SetVersions(0x19980004, 0xFADE0004);
    EXPECT_EQ(Open(), kWideClientNoServer);
    server_.SetWindowClass(test_support::kFsuipcClass);
    struct Case {
        std::uint32_t fsuipc;
        std::uint32_t sim;
        std::int32_t requestedSim;
        std::int32_t expected;
    };
    // The server holds these as little-endian bytes: read in host order, a
    // big-endian host would take every row for a wrong version.
    const Case cases[] = {
        {0x19980005, 0xFADE0001, 0, kOkay},         {0x19980004, 0xFADE0001, 0, kWrongVersion},
        {0x7FFFFFFF, 0xFADE0000, 0, kOkay},         {0x80000000, 0xFADE0001, 0, kWrongVersion},
        {0x40000000, 0xFADF0001, 0, kWrongVersion}, {0x40000000, 0x0000FADE, 0, kWrongVersion},
        {0x40000000, 0xFADE0004, 4, kOkay},         {0x40000000, 0xFADE0004, 3, kWrongSimulator}};
    for (const Case& c : cases) {
        SetVersions(c.fsuipc, c.sim);
        EXPECT_EQ(Open(c.requestedSim), c.expected) << std::hex << c.fsuipc << " " << c.sim;
        // Open: window, atom, mapping and view; refused: nothing left behind.
        EXPECT_EQ(server_.Held(), c.expected == kOkay ? 4 : 0);
        if (c.expected == kOkay) {
            EXPECT_EQ(link_.SimVersion(), c.sim & 0xFFFFu);
        }
        link_.LinkClose();
    }

    // A value still 0 is asked again, five rounds at most.
    const int sends = server_.Sends();
    SetVersions(0, 0xFADE0004);
    EXPECT_EQ(Open(), kWrongVersion);
    EXPECT_EQ(server_.Sends() - sends, 5);
}

TEST(LinkOpenTest, FailedOpensReleaseEverythingAcquired) {
    struct Case {
        Step step;
        std::int32_t expected;
        int timeouts = 0;
        std::uint32_t answer = 1;
    };
    const Case cases[] = {
        {Step::kRegister, kRegisterFailed}, {Step::kAtom, kAtomFailed},
        {Step::kMapping, kMappingFailed},   {Step::kMappingExists, kMappingFailed},
        {Step::kView, kViewFailed},         {Step::kNone, kTimedOut, 11},
        {Step::kNone, kBadData, 0, 0}};
    for (const Case& c : cases) {
        InProcessServer server;
        server.Fail(c.step);
        server.SetTimeoutsBeforeSuccess(c.timeouts);
        server.SetAnswer(c.answer);
        Link link(server);
        std::int32_t result = -1;
        EXPECT_FALSE(link.LinkOpen(0, result)) << c.expected;
        EXPECT_EQ(result, c.expected);
        EXPECT_EQ(server.Held(), 0) << c.expected;
    }
}

TEST_F(LinkTest, SendsAreTriedElevenTimesAndTheLastOneTellsTheResult) {
    ASSERT_EQ(Open(), kOkay);
    struct Case {
        int timeouts;
        int failures;  // sends failing with a last error, before the time-outs
        std::uint32_t answer;
        std::int32_t expected;
    };
    const Case cases[] = {{20, 0, 1, kTimedOut}, {0, -1, 1, kSendFailed}, {1, 10, 1, kTimedOut},
                          {0, 10, 1, kOkay},     {0, 0, 0, kBadData},     {0, 0, 2, kBadData}};
    for (const Case& c : cases) {
        server_.SetTimeoutsBeforeSuccess(c.timeouts);
        server_.SetSendFailure(104, c.failures);
        server_.SetAnswer(c.answer);
        const int sends = server_.Sends();
        std::uint32_t value = 0x5A5A5A5A;
        std::int32_t result = -1;
        ASSERT_TRUE(link_.LinkRead(0x3308, 4, &value, result));
        link_.LinkProcess(result);
        EXPECT_EQ(result, c.expected) << c.timeouts << " " << c.failures << " " << c.answer;
        EXPECT_EQ(server_.Sends() - sends, c.answer == 1 ? 11 : 1);
        EXPECT_EQ(value, c.expected == kOkay ? 0xFADE0004u : 0x5A5A5A5Au);
        EXPECT_EQ(server_.Held(), 4) << "a failed exchange does not close the link";
    }
}

TEST_F(LinkTest, HostileRepliesNeverWriteOutsideTheDestinations) {
    ASSERT_EQ(Open(), kOkay);
    struct Case {
        std::size_t at;  // field of the reply to change
        std::uint32_t value;
        int delivered;  // reads before the record where the scan stops (3: all, 4: kOkay)
    };
    // Records: read 4 at 0 (data 16), read 2 at 20 (size at 28, key at 32,
    // data 36), read 4 at 38, terminator at 58.
    const Case cases[] = {
        {28, 200, 1}, {28, 1, 1}, {32, 1, 1}, {32, 3, 1},           {38, 2, 2},
        {8, 6, 0},    {20, 0, 1}, {58, 1, 3}, {20, 0xABCD0001u, 4},  // only the low 16 bits tell
                                                                     // the kind
    };
    for (const Case& c : cases) {
        server_.SetReplyHook([&c](std::uint8_t* block) {
            std::memset(block + 16, 0xF1, 4);
            std::memset(block + 36, 0xF2, 2);
            std::memset(block + 54, 0xF3, 4);
            std::memset(block + 58, 0xF4, kBlockSize - 58);  // behind a record that ran away
            PutLe32(block + 58, 0);
            PutLe32(block + c.at, c.value);
        });
        // The three destinations, with bytes before, between and after them.
        std::array<std::uint8_t, 20> got{};
        std::array<std::uint8_t, 20> want{};
        const std::size_t place[] = {2, 8, 14};
        const std::uint32_t size[] = {4, 2, 4};
        std::int32_t result = -1;
        for (int r = 0; r < 3; ++r) {
            ASSERT_TRUE(link_.LinkRead(0x10u * (r + 1), size[r], &got[place[r]], result));
            std::fill_n(&want[place[r]], r < c.delivered ? size[r] : 0, 0xF1 + r);
        }
        link_.LinkProcess(result);
        EXPECT_EQ(result, c.delivered == 4 ? kOkay : kBadData) << c.at << " " << c.value;
        EXPECT_EQ(got, want) << c.at << " " << c.value;
    }
}

// The local transport's frames: a name too long for its field is cut, room
// kept for a NUL, and the block name at its longest is valid. Both ends use
// the same code for the layout; that a frame decodes to what was encoded, and
// the refusals of block names, are checked by the frame fuzz target.
TEST(LocalFramesTest, ANameIsCutToItsField) {
    const auto cut = local::EncodeRequest({1, 1, 1, 0, std::string(40, 'X')});
    EXPECT_EQ(local::DecodeRequest(cut.data())->name, std::string(23, 'X'));
    EXPECT_EQ(BlockName(0xFFFFFFFF), "FSASMLIB:IPC:FFFFFFFF:1");
    EXPECT_TRUE(local::IsValidBlockName(BlockName(0xFFFFFFFF)));
}

}  // namespace
}  // namespace skyfault::link
