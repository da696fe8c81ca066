// The link's protocol logic against the in-process server, which never waits
// in real time.
#include "link/link.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/in_process_server.h"

namespace skyfault::link {
namespace {

using test_support::InProcessServer;

// A destination with guard bytes on both sides, to see any write outside it.
template <std::size_t N>
struct Guarded {
    static constexpr std::array<std::uint8_t, 8> kGuard{0xCC, 0xCC, 0xCC, 0xCC,
                                                        0xCC, 0xCC, 0xCC, 0xCC};
    std::array<std::uint8_t, 8> before = kGuard;
    std::array<std::uint8_t, N> value{};
    std::array<std::uint8_t, 8> after = kGuard;
    bool GuardsIntact() const { return before == kGuard && after == kGuard; }
    std::uint32_t U32() const { return GetLe32(value.data()); }
};

class LinkTest : public ::testing::Test {
protected:
    // Opens the link; counts of sends and sleeps start again from here.
    void Open() {
        ASSERT_EQ(OpenResult(), kOkay);
        sends0_ = server_.Sends();
        sleeps0_ = server_.Sleeps();
        slept0_ = server_.SleptMilliseconds();
    }
    std::int32_t OpenResult(std::int32_t requestedSim = 0) {
        std::int32_t result = -1;
        const bool opened = link_.LinkOpen(requestedSim, result);
        EXPECT_EQ(opened, result == kOkay);
        return result;
    }
    // One read of the simulator's version; the result code.
    std::int32_t ReadSim(std::uint32_t& value) {
        std::int32_t result = -1;
        EXPECT_TRUE(link_.LinkRead(0x3308, 4, &value, result));
        link_.LinkProcess(result);
        return result;
    }
    int Sends() const { return server_.Sends() - sends0_; }
    int Sleeps() const { return server_.Sleeps() - sleeps0_; }
    std::uint64_t Slept() const { return server_.SleptMilliseconds() - slept0_; }
    const std::vector<std::uint8_t>& Sent() const { return server_.LastSend().request; }

    InProcessServer server_;
    Link link_{server_};
    int sends0_ = 0;
    int sleeps0_ = 0;
    std::uint64_t slept0_ = 0;
};

TEST_F(LinkTest, OpenReadsTheVersionsOverTheBlockNamedAfterTheProcess) {
    EXPECT_EQ(OpenResult(), kOkay);
    EXPECT_TRUE(link_.IsOpen());
    EXPECT_EQ(link_.FsuipcVersion(), 0x40000000);
    EXPECT_EQ(link_.SimVersion(), 4u);
    EXPECT_EQ(server_.WindowQueries(), std::vector<std::string>{"UIPCMAIN"});
    EXPECT_EQ(server_.LastAtomName(), "FSASMLIB:IPC:1A4:1");
    EXPECT_EQ(server_.LastMappingName(), "FSASMLIB:IPC:1A4:1");
    EXPECT_EQ(server_.Sends(), 1);
    EXPECT_EQ(server_.SleptMilliseconds(), 100u);
    EXPECT_EQ(server_.LastSend().lParam, 0);
    EXPECT_EQ(server_.LastSend().timeoutMs, 2000u);
    EXPECT_EQ(server_.LastSend().wParam, static_cast<std::int32_t>(0xFFFFC000u))
        << "the atom travels widened with its sign";

    EXPECT_EQ(BlockName(0), "FSASMLIB:IPC:0:1");
    EXPECT_EQ(BlockName(0xFFFFFFFF), "FSASMLIB:IPC:FFFFFFFF:1");
}

TEST_F(LinkTest, ExampleBatchIsSentAsLaidOutWithKeysForDestinations) {
    Open();
    std::int32_t fsuipc = 0;
    std::uint32_t sim = 0;
    const std::uint8_t one = 1;
    std::int32_t result = -1;
    ASSERT_TRUE(link_.LinkRead(0x3304, 4, &fsuipc, result));
    ASSERT_TRUE(link_.LinkWrite(0x0B64, 1, &one, result));
    ASSERT_TRUE(link_.LinkRead(0x3308, 4, &sim, result));
    ASSERT_TRUE(link_.LinkProcess(result));
    EXPECT_EQ(result, kOkay);

    // kind, offset, size, key, data... as the server received it; the data
    // areas of reads are zero-filled (the open's reply lay there before).
    const std::vector<std::uint32_t> words = {1, 0x3304, 4, 1, 0, 2, 0x0B64, 1};
    const auto& b = Sent();
    ASSERT_GE(b.size(), 57u);
    for (std::size_t i = 0; i < words.size(); ++i) {
        EXPECT_EQ(GetLe32(&b[4 * i]), words[i]) << i;
    }
    EXPECT_EQ(b[32], 1);
    const std::vector<std::uint32_t> third = {1, 0x3308, 4, 3, 0, 0};
    for (std::size_t i = 0; i < third.size(); ++i) {
        EXPECT_EQ(GetLe32(&b[33 + 4 * i]), third[i]) << i;
    }
    EXPECT_EQ(fsuipc, 0x40000000);
    EXPECT_EQ(sim, 0xFADE0004u);
    EXPECT_EQ(server_.Space().ReadU16(0x0B64) & 0xFF, 1);
}

TEST_F(LinkTest, RequestFillingTheBlockExactlyIsAcceptedOneByteMoreIsRefused) {
    Open();
    std::int32_t result = -1;
    const std::uint32_t word = 0x01020304;
    ASSERT_TRUE(link_.LinkWrite(0x100, 4, &word, result));  // 16 bytes queued
    std::vector<std::uint8_t> big(32512);
    // 16 + 4 + (16 + 32476) = 32512.
    EXPECT_FALSE(link_.LinkRead(0x0, 32477, big.data(), result));
    EXPECT_EQ(result, kBlockFull);
    EXPECT_FALSE(link_.LinkWrite(0x0, 32481, big.data(), result));
    EXPECT_EQ(result, kBlockFull);
    ASSERT_TRUE(link_.LinkRead(0x0, 32476, big.data(), result));
    EXPECT_EQ(result, kOkay);
    EXPECT_FALSE(link_.LinkRead(0x0, 0, nullptr, result));
    EXPECT_EQ(result, kBlockFull);

    // The queue is what was accepted: the refused requests never went out.
    ASSERT_TRUE(link_.LinkProcess(result));
    EXPECT_EQ(server_.Writes().size(), 1u);
    EXPECT_EQ(GetLe32(&Sent()[16 + 8]), 32476u);
    EXPECT_EQ(GetLe32(&Sent()[32508]), 0u);
}

TEST_F(LinkTest, SizeZeroRequestsAndNullDestinations) {
    Open();
    Guarded<4> destination;
    std::uint32_t after = 0;
    std::int32_t result = -1;
    ASSERT_TRUE(link_.LinkRead(0x3304, 0, destination.value.data(), result));
    ASSERT_TRUE(link_.LinkWrite(0x0B64, 0, nullptr, result));
    ASSERT_TRUE(link_.LinkRead(0x3304, 4, nullptr, result));
    ASSERT_TRUE(link_.LinkRead(0x3308, 4, &after, result));
    ASSERT_TRUE(link_.LinkProcess(result));
    const auto& b = Sent();
    EXPECT_EQ(GetLe32(&b[16]), 2u) << "the write follows the 16-byte header directly";
    EXPECT_EQ(GetLe32(&b[28]), 1u) << "the next read after the write's 12-byte header";
    EXPECT_EQ(GetLe32(&b[28 + 12]), 0u) << "no key for a null destination";
    EXPECT_EQ(destination.U32(), 0u);
    EXPECT_TRUE(destination.GuardsIntact());
    EXPECT_EQ(after, 0xFADE0004u);

    // A write needs a source.
    EXPECT_FALSE(link_.LinkWrite(0x0B64, 1, nullptr, result));
    EXPECT_EQ(result, kBadData);
    EXPECT_FALSE(link_.LinkProcess(result));
    EXPECT_EQ(result, kNothingQueued) << "nothing was queued";
}

TEST_F(LinkTest, ProcessWithNothingQueuedReturns10AndSendsNothing) {
    Open();
    std::int32_t result = -1;
    EXPECT_FALSE(link_.LinkProcess(result));
    EXPECT_EQ(result, kNothingQueued);
    EXPECT_EQ(Sends(), 0);

    std::uint32_t value = 0;
    ASSERT_EQ(ReadSim(value), kOkay);
    EXPECT_FALSE(link_.LinkProcess(result));
    EXPECT_EQ(result, kNothingQueued);

    // Also after a failed exchange: the queue is empty whatever happened.
    server_.SetTimeoutsBeforeSuccess(11);
    ASSERT_EQ(ReadSim(value), kTimedOut);
    EXPECT_FALSE(link_.LinkProcess(result));
    EXPECT_EQ(result, kNothingQueued);
    EXPECT_EQ(Sends(), 12);
}

TEST_F(LinkTest, OperationsOnAClosedLinkReturn9) {
    std::int32_t result = -1;
    std::uint32_t value = 0;
    EXPECT_FALSE(link_.LinkRead(0x3304, 4, &value, result));
    EXPECT_EQ(result, kNotOpen);
    result = -1;
    EXPECT_FALSE(link_.LinkWrite(0x3304, 4, &value, result));
    EXPECT_EQ(result, kNotOpen);
    result = -1;
    EXPECT_FALSE(link_.LinkProcess(result));
    EXPECT_EQ(result, kNotOpen);

    Open();
    ASSERT_TRUE(link_.LinkRead(0x3304, 4, &value, result));
    link_.LinkClose();
    link_.LinkClose();
    EXPECT_FALSE(link_.IsOpen());
    EXPECT_EQ(server_.Held(), 0);
    EXPECT_FALSE(link_.LinkWrite(0x3304, 4, &value, result));
    EXPECT_EQ(result, kNotOpen);
    EXPECT_FALSE(link_.LinkProcess(result));
    EXPECT_EQ(result, kNotOpen);
    EXPECT_EQ(Sends(), 0);
}

TEST_F(LinkTest, SecondOpenReturns1AndTheLinkStaysUsable) {
    Open();
    const int held = server_.Held();
    EXPECT_EQ(OpenResult(), kAlreadyOpen);
    EXPECT_TRUE(link_.IsOpen());
    EXPECT_EQ(server_.Held(), held);
    EXPECT_EQ(link_.SimVersion(), 4u) << "the open link keeps its versions";
    std::uint32_t value = 0;
    EXPECT_EQ(ReadSim(value), kOkay);
    EXPECT_EQ(value, 0xFADE0004u);
}

TEST_F(LinkTest, ServerClassThenWideClientAndTheirVersionCodes7And14) {
    server_.SetWindowClass("");
    EXPECT_EQ(OpenResult(), kNoServer);
    EXPECT_EQ(server_.WindowQueries(), (std::vector<std::string>{"UIPCMAIN", "FS98MAIN"}));
    server_.SetWindowClass(test_support::kWideClientClass);
    EXPECT_EQ(OpenResult(), kOkay);
    link_.LinkClose();

    server_.SetFsuipcVersion(0x19980004);
    EXPECT_EQ(OpenResult(), kWideClientNoServer);
    server_.SetWindowClass(test_support::kFsuipcClass);
    EXPECT_EQ(OpenResult(), kWrongVersion);
    EXPECT_FALSE(link_.IsOpen());
    EXPECT_EQ(server_.Held(), 0);
}

TEST_F(LinkTest, VersionCheckBounds) {
    struct Case {
        std::uint32_t fsuipc;
        std::uint32_t sim;
        std::int32_t expected;
    };
    // The server holds these as little-endian bytes: read in host order, a
    // big-endian host would take every row for a wrong version.
    const Case cases[] = {
        {0x19980005, 0xFADE0001, kOkay},         {0x19980004, 0xFADE0001, kWrongVersion},
        {0x7FFFFFFF, 0xFADE0000, kOkay},          // simulator code 0 is still a value
        {0x80000000, 0xFADE0001, kWrongVersion},  // negative as a signed number
        {0x40000000, 0xFADF0001, kWrongVersion}, {0x40000000, 0x0000FADE, kWrongVersion},
    };
    for (const Case& c : cases) {
        server_.SetFsuipcVersion(c.fsuipc);
        server_.SetSimVersion(c.sim);
        EXPECT_EQ(OpenResult(), c.expected) << std::hex << c.fsuipc << " " << c.sim;
        if (c.expected == kOkay) {
            EXPECT_EQ(link_.SimVersion(), c.sim & 0xFFFFu);
        }
        link_.LinkClose();
        EXPECT_EQ(server_.Held(), 0);
    }
    server_.SetSimVersion(0xFADE0004);
    EXPECT_EQ(OpenResult(3), kWrongSimulator) << "the requested simulator must match";
    EXPECT_EQ(OpenResult(4), kOkay);
}

TEST_F(LinkTest, VersionExchangeRetriesWhileAValueIsZeroForFiveRoundsAtMost) {
    server_.SetSimVersion(0);
    server_.SetReplyHook([this](std::uint8_t*) {
        if (server_.Sends() == 2) {
            server_.SetSimVersion(0xFADE0002);  // read by the third round
        }
    });
    EXPECT_EQ(OpenResult(), kOkay);
    EXPECT_EQ(server_.Sends(), 3);
    EXPECT_EQ(server_.Sleeps(), 3);
    EXPECT_EQ(link_.SimVersion(), 2u);
    link_.LinkClose();

    server_.SetFsuipcVersion(0);
    EXPECT_EQ(OpenResult(), kWrongVersion);
    EXPECT_EQ(server_.Sends(), 3 + 5);
    EXPECT_EQ(server_.Sleeps(), 3 + 5);
    EXPECT_EQ(server_.Held(), 0);
}

TEST_F(LinkTest, FailedOpensReleaseEverythingAcquired) {
    struct Case {
        const char* what;
        std::function<void(InProcessServer&)> arrange;
        std::int32_t expected;
    };
    const Case cases[] = {
        {"register", [](InProcessServer& s) { s.FailRegisterMessage(); }, kRegisterFailed},
        {"atom", [](InProcessServer& s) { s.FailAddAtom(); }, kAtomFailed},
        {"mapping", [](InProcessServer& s) { s.FailCreateMapping(); }, kMappingFailed},
        {"mapping existed", [](InProcessServer& s) { s.MappingAlreadyExists(); }, kMappingFailed},
        {"view", [](InProcessServer& s) { s.FailMapView(); }, kViewFailed},
        {"timed out", [](InProcessServer& s) { s.SetTimeoutsBeforeSuccess(11); }, kTimedOut},
        {"send failed", [](InProcessServer& s) { s.SetSendFailure(32); }, kSendFailed},
        {"answered 0", [](InProcessServer& s) { s.SetAnswer(0); }, kBadData},
        {"wrong version", [](InProcessServer& s) { s.SetSimVersion(4); }, kWrongVersion},
    };
    for (const Case& c : cases) {
        InProcessServer server;
        c.arrange(server);
        Link link(server);
        std::int32_t result = -1;
        EXPECT_FALSE(link.LinkOpen(0, result)) << c.what;
        EXPECT_EQ(result, c.expected) << c.what;
        EXPECT_FALSE(link.IsOpen()) << c.what;
        EXPECT_FALSE(server.WindowQueries().empty()) << c.what;
        EXPECT_EQ(server.Held(), 0) << c.what;
        std::uint32_t value = 0;
        EXPECT_FALSE(link.LinkRead(0x3304, 4, &value, result));
        EXPECT_EQ(result, kNotOpen) << c.what;
    }
}

TEST_F(LinkTest, InitializeAndDestructionLeaveNothingBehind) {
    Open();
    EXPECT_GT(server_.Held(), 0);
    link_.LinkInitialize();
    EXPECT_FALSE(link_.IsOpen());
    EXPECT_EQ(server_.Held(), 0);
    EXPECT_EQ(link_.SimVersion(), 4u) << "versions are left as they are";
    EXPECT_EQ(OpenResult(), kOkay);

    InProcessServer server;
    {
        Link link(server);
        std::int32_t result = -1;
        ASSERT_TRUE(link.LinkOpen(0, result));
    }
    EXPECT_EQ(server.Held(), 0);
}

TEST_F(LinkTest, TimeOutsAreRetriedTenTimesAndTheLastErrorTellsAFailedSend) {
    Open();
    server_.SetTimeoutsBeforeSuccess(2);
    std::uint32_t value = 0;
    EXPECT_EQ(ReadSim(value), kOkay);
    EXPECT_EQ(value, 0xFADE0004u);
    EXPECT_EQ(Sends(), 3);
    EXPECT_EQ(Slept(), 200u);

    server_.SetTimeoutsBeforeSuccess(20);
    value = 0x5A5A5A5A;
    EXPECT_EQ(ReadSim(value), kTimedOut);
    EXPECT_EQ(Sends(), 3 + 11);
    EXPECT_EQ(Sleeps(), 2 + 10);
    EXPECT_EQ(value, 0x5A5A5A5Au) << "nothing delivered";
    EXPECT_TRUE(link_.IsOpen()) << "a failed exchange does not close the link";

    server_.SetTimeoutsBeforeSuccess(0);
    server_.SetSendFailure(104);
    EXPECT_EQ(ReadSim(value), kSendFailed);
    server_.SetSendFailure(104, 10);
    server_.SetTimeoutsBeforeSuccess(1);
    EXPECT_EQ(ReadSim(value), kTimedOut);
    server_.SetSendFailure(104, 10);
    EXPECT_EQ(ReadSim(value), kOkay) << "the eleventh send succeeds";

    for (std::uint32_t answer : {0u, 2u, 0xFFFFFFFFu}) {
        server_.SetAnswer(answer);
        value = 0;
        EXPECT_EQ(ReadSim(value), kBadData);
        EXPECT_EQ(value, 0u);
    }
}

TEST_F(LinkTest, HostileRepliesNeverWriteOutsideTheDestinations) {
    Open();
    struct Case {
        const char* what;
        std::size_t at;  // field of the reply to change
        std::uint32_t value;
        int delivered;  // reads before the record where the scan stops
    };
    // Records: read 4 at 0 (data 16), read 2 at 20 (size at 28, key at 32,
    // data 36), read 4 at 38, terminator at 58.
    const Case cases[] = {
        {"second size grown", 28, 200, 1},
        {"second size runs away", 28, 0xFFFFFFF0u, 1},
        {"second size shrunk", 28, 1, 1},
        {"second key moved to the first destination", 32, 1, 1},
        {"second key moved to the third destination", 32, 3, 1},
        {"second kind unknown", 20, 7, 1},
        {"third kind changed to write", 38, 2, 2},
        {"first size grown", 8, 6, 0},
        {"first key unknown", 12, 0x7777, 0},
        {"premature end", 20, 0, 1},
        {"terminator replaced", 58, 1, 3},
    };
    for (const Case& c : cases) {
        server_.SetReplyHook([&c](std::uint8_t* block) {
            std::memset(block + 16, 0xF1, 4);
            std::memset(block + 36, 0xF2, 2);
            std::memset(block + 54, 0xF3, 4);
            // Whatever lies behind a record that grew or ran away.
            std::memset(block + 58, 0xF4, kBlockSize - 58);
            PutLe32(block + 58, 0);
            PutLe32(block + c.at, c.value);
        });
        Guarded<4> first;
        Guarded<2> second;
        Guarded<4> third;
        std::int32_t result = -1;
        ASSERT_TRUE(link_.LinkRead(0x10, 4, first.value.data(), result));
        ASSERT_TRUE(link_.LinkRead(0x20, 2, second.value.data(), result));
        ASSERT_TRUE(link_.LinkRead(0x30, 4, third.value.data(), result));
        EXPECT_FALSE(link_.LinkProcess(result)) << c.what;
        EXPECT_EQ(result, kBadData) << c.what;
        EXPECT_TRUE(first.GuardsIntact() && second.GuardsIntact() && third.GuardsIntact())
            << c.what;
        EXPECT_EQ(first.U32(), c.delivered >= 1 ? 0xF1F1F1F1u : 0u) << c.what;
        EXPECT_EQ(second.value[0], c.delivered >= 2 ? 0xF2 : 0) << c.what;
        EXPECT_EQ(second.value[1], c.delivered >= 2 ? 0xF2 : 0) << c.what;
        EXPECT_EQ(third.U32(), c.delivered >= 3 ? 0xF3F3F3F3u : 0u) << c.what;
    }
    // The link still works with an honest server.
    server_.SetReplyHook(nullptr);
    std::uint32_t value = 0;
    EXPECT_EQ(ReadSim(value), kOkay);
    EXPECT_EQ(value, 0xFADE0004u);
}

}  // namespace
}  // namespace skyfault::link
