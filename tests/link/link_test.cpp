#include "link/link.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "tests/link/fake_transport.h"

namespace skyfault::link {
namespace {

using testing::FakeTransport;
using Send = FakeTransport::Send;

// A destination with guard bytes on both sides, to see any write outside it.
template <std::size_t N>
struct Guarded {
    std::array<std::uint8_t, 8> before;
    std::array<std::uint8_t, N> value;
    std::array<std::uint8_t, 8> after;
    Guarded() {
        before.fill(0xCC);
        value.fill(0x00);
        after.fill(0xCC);
    }
    bool GuardsIntact() const {
        for (int i = 0; i < 8; ++i) {
            if (before[i] != 0xCC || after[i] != 0xCC) {
                return false;
            }
        }
        return true;
    }
    std::uint32_t U32() const { return GetLe32(value.data()); }
};

class LinkTest : public ::testing::Test {
protected:
    // Opens the link and forgets the counts of the open.
    void Open() {
        std::int32_t result = -1;
        ASSERT_TRUE(link_.LinkOpen(0, result));
        ASSERT_EQ(result, kOkay);
        transport_.sends = 0;
        transport_.sleeps = 0;
        transport_.sleptMs = 0;
    }
    std::int32_t OpenResult(std::int32_t requestedSim = 0) {
        std::int32_t result = -1;
        const bool opened = link_.LinkOpen(requestedSim, result);
        EXPECT_EQ(opened, result == kOkay);
        return result;
    }

    FakeTransport transport_;
    Link link_{transport_};
};

TEST_F(LinkTest, OpenReadsTheVersionsAndKeepsTheSimulatorCode) {
    EXPECT_EQ(OpenResult(), kOkay);
    EXPECT_TRUE(link_.IsOpen());
    EXPECT_EQ(link_.FsuipcVersion(), 0x40000000);
    EXPECT_EQ(link_.SimVersion(), 4u);
    EXPECT_EQ(transport_.searchedClasses, std::vector<std::string>{"UIPCMAIN"});
    EXPECT_EQ(transport_.atomName, "FSASMLIB:IPC:1A4:1");
    EXPECT_EQ(transport_.mappingName, "FSASMLIB:IPC:1A4:1");
    EXPECT_EQ(transport_.mappingSize, 32768u);
    EXPECT_EQ(transport_.sends, 1);
    EXPECT_EQ(transport_.sleeps, 1);
    EXPECT_EQ(transport_.sleptMs, 100u);
    EXPECT_EQ(transport_.lastWindow, FakeTransport::kMainWindow);
    EXPECT_EQ(transport_.lastMessage, 0xC0DEu);
    EXPECT_EQ(transport_.lastLParam, 0);
    EXPECT_EQ(transport_.lastTimeoutMs, 2000u);
}

TEST_F(LinkTest, TheAtomTravelsWidenedWithItsSign) {
    Open();
    EXPECT_EQ(transport_.lastWParam, static_cast<std::int32_t>(0xFFFFC001u));
    transport_.atomValue = 0x1234;
    link_.LinkClose();
    Open();
    EXPECT_EQ(transport_.lastWParam, 0x1234);
}

TEST(BlockNameTest, ProcessIdInUpperCaseHexWithoutLeadingZeros) {
    EXPECT_EQ(BlockName(0x1A4), "FSASMLIB:IPC:1A4:1");
    EXPECT_EQ(BlockName(0), "FSASMLIB:IPC:0:1");
    EXPECT_EQ(BlockName(0xABCDEF0), "FSASMLIB:IPC:ABCDEF0:1");
    EXPECT_EQ(BlockName(0xFFFFFFFF), "FSASMLIB:IPC:FFFFFFFF:1");
    EXPECT_LE(BlockName(0xFFFFFFFF).size(), 23u);
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

    const auto& b = transport_.lastSentBlock;
    ASSERT_GE(b.size(), 57u);
    EXPECT_EQ(GetLe32(&b[0]), 1u);
    EXPECT_EQ(GetLe32(&b[4]), 0x3304u);
    EXPECT_EQ(GetLe32(&b[8]), 4u);
    EXPECT_EQ(GetLe32(&b[12]), 1u) << "first request: key 1";
    EXPECT_EQ(GetLe32(&b[16]), 0u) << "data area zero-filled";
    EXPECT_EQ(GetLe32(&b[20]), 2u);
    EXPECT_EQ(GetLe32(&b[24]), 0x0B64u);
    EXPECT_EQ(GetLe32(&b[28]), 1u);
    EXPECT_EQ(b[32], 1);
    EXPECT_EQ(GetLe32(&b[33]), 1u);
    EXPECT_EQ(GetLe32(&b[37]), 0x3308u);
    EXPECT_EQ(GetLe32(&b[45]), 3u) << "third request: key 3";
    EXPECT_EQ(GetLe32(&b[49]), 0u);
    EXPECT_EQ(GetLe32(&b[53]), 0u) << "terminator";

    EXPECT_EQ(fsuipc, 0x40000000);
    EXPECT_EQ(sim, 0xFADE0004u);
    EXPECT_EQ(transport_.simulator.offsets[0x0B64], 1);
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
    EXPECT_EQ(transport_.simulator.writes.size(), 1u);
    EXPECT_EQ(GetLe32(&transport_.lastSentBlock[16 + 8]), 32476u);
    EXPECT_EQ(GetLe32(&transport_.lastSentBlock[32508]), 0u);
}

TEST_F(LinkTest, SizeZeroRequestsAreBareHeadersAndDeliverNothing) {
    Open();
    Guarded<4> destination;
    std::int32_t result = -1;
    ASSERT_TRUE(link_.LinkRead(0x3304, 0, destination.value.data(), result));
    ASSERT_TRUE(link_.LinkWrite(0x0B64, 0, nullptr, result));
    ASSERT_TRUE(link_.LinkProcess(result));
    const auto& b = transport_.lastSentBlock;
    EXPECT_EQ(GetLe32(&b[16]), 2u) << "the write follows the 16-byte header directly";
    EXPECT_EQ(GetLe32(&b[28]), 0u) << "terminator after the 12-byte header";
    EXPECT_EQ(destination.U32(), 0u);
    EXPECT_TRUE(destination.GuardsIntact());
}

TEST_F(LinkTest, NullDestinationIsSentButNotDelivered) {
    Open();
    std::uint32_t after = 0;
    std::int32_t result = -1;
    ASSERT_TRUE(link_.LinkRead(0x3304, 4, nullptr, result));
    ASSERT_TRUE(link_.LinkRead(0x3308, 4, &after, result));
    ASSERT_TRUE(link_.LinkProcess(result));
    EXPECT_EQ(GetLe32(&transport_.lastSentBlock[0]), 1u);
    EXPECT_EQ(GetLe32(&transport_.lastSentBlock[12]), 0u) << "no key for a null destination";
    EXPECT_EQ(after, 0xFADE0004u);
}

TEST_F(LinkTest, ProcessWithNothingQueuedReturns10AndSendsNothing) {
    Open();
    std::int32_t result = -1;
    EXPECT_FALSE(link_.LinkProcess(result));
    EXPECT_EQ(result, kNothingQueued);
    EXPECT_EQ(transport_.sends, 0);

    std::uint32_t value = 0;
    ASSERT_TRUE(link_.LinkRead(0x3308, 4, &value, result));
    ASSERT_TRUE(link_.LinkProcess(result));
    EXPECT_FALSE(link_.LinkProcess(result));
    EXPECT_EQ(result, kNothingQueued);

    // Also after a failed exchange: the queue is empty whatever happened.
    ASSERT_TRUE(link_.LinkRead(0x3308, 4, &value, result));
    transport_.script.assign(11, {Send::kTimeOut});
    EXPECT_FALSE(link_.LinkProcess(result));
    EXPECT_FALSE(link_.LinkProcess(result));
    EXPECT_EQ(result, kNothingQueued);
    EXPECT_EQ(transport_.sends, 12);
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
    EXPECT_EQ(transport_.Held(), 0);
    EXPECT_FALSE(link_.LinkWrite(0x3304, 4, &value, result));
    EXPECT_EQ(result, kNotOpen);
    EXPECT_FALSE(link_.LinkProcess(result));
    EXPECT_EQ(result, kNotOpen);
    EXPECT_EQ(transport_.sends, 0);
}

TEST_F(LinkTest, SecondOpenReturns1AndTheLinkStaysUsable) {
    Open();
    const int held = transport_.Held();
    EXPECT_EQ(OpenResult(), kAlreadyOpen);
    EXPECT_TRUE(link_.IsOpen());
    EXPECT_EQ(transport_.Held(), held);
    EXPECT_EQ(link_.SimVersion(), 4u) << "the open link keeps its versions";
    std::uint32_t value = 0;
    std::int32_t result = -1;
    ASSERT_TRUE(link_.LinkRead(0x3308, 4, &value, result));
    ASSERT_TRUE(link_.LinkProcess(result));
    EXPECT_EQ(value, 0xFADE0004u);
}

TEST_F(LinkTest, NoServerWindowGives2AfterLookingForBothClasses) {
    transport_.windows.clear();
    EXPECT_EQ(OpenResult(), kNoServer);
    EXPECT_EQ(transport_.searchedClasses, (std::vector<std::string>{"UIPCMAIN", "FS98MAIN"}));
    EXPECT_EQ(transport_.Held(), 0);
}

TEST_F(LinkTest, WideClientIsUsedWhenTheServerClassIsMissing) {
    transport_.windows = {"FS98MAIN"};
    EXPECT_EQ(OpenResult(), kOkay);
    EXPECT_EQ(transport_.lastWindow, FakeTransport::kWideClientWindow);
}

TEST_F(LinkTest, WrongVersionGives7OnTheServerClassAnd14OnWideClient) {
    transport_.simulator.SetU32(0x3304, 0x19980004);
    EXPECT_EQ(OpenResult(), kWrongVersion);
    EXPECT_FALSE(link_.IsOpen());
    EXPECT_EQ(transport_.Held(), 0);

    transport_.windows = {"FS98MAIN"};
    EXPECT_EQ(OpenResult(), kWideClientNoServer);
    EXPECT_EQ(transport_.Held(), 0);

    transport_.windows = {"FS98MAIN", "UIPCMAIN"};
    EXPECT_EQ(OpenResult(), kWrongVersion) << "the server class is looked for first";
}

TEST_F(LinkTest, VersionCheckBounds) {
    struct Case {
        std::uint32_t fsuipc;
        std::uint32_t sim;
        std::int32_t expected;
    };
    const Case cases[] = {
        {0x19980005, 0xFADE0001, kOkay},         {0x19980004, 0xFADE0001, kWrongVersion},
        {0x7FFFFFFF, 0xFADE0000, kOkay},          // simulator code 0 is still a value
        {0x80000000, 0xFADE0001, kWrongVersion},  // negative as a signed number
        {0x40000000, 0xFADF0001, kWrongVersion}, {0x40000000, 0x0000FADE, kWrongVersion},
    };
    for (const Case& c : cases) {
        transport_.simulator.SetU32(0x3304, c.fsuipc);
        transport_.simulator.SetU32(0x3308, c.sim);
        EXPECT_EQ(OpenResult(), c.expected) << std::hex << c.fsuipc << " " << c.sim;
        if (c.expected == kOkay) {
            EXPECT_EQ(link_.SimVersion(), c.sim & 0xFFFFu);
        }
        link_.LinkClose();
        EXPECT_EQ(transport_.Held(), 0);
    }
}

TEST_F(LinkTest, VersionExchangeRetriesWhileAValueIsStillZero) {
    int round = 0;
    transport_.server = [this, &round](std::uint8_t* block) {
        ++round;
        if (round < 3) {
            transport_.simulator.SetU32(0x3308, 0);
        } else {
            transport_.simulator.SetU32(0x3308, 0xFADE0002);
        }
        return transport_.simulator.Process(block);
    };
    EXPECT_EQ(OpenResult(), kOkay);
    EXPECT_EQ(transport_.sends, 3);
    EXPECT_EQ(transport_.sleeps, 3);
    EXPECT_EQ(link_.SimVersion(), 2u);
}

TEST_F(LinkTest, VersionExchangeGivesUpAfterFiveRounds) {
    transport_.simulator.SetU32(0x3304, 0);
    EXPECT_EQ(OpenResult(), kWrongVersion);
    EXPECT_EQ(transport_.sends, 5);
    EXPECT_EQ(transport_.sleeps, 5);
    EXPECT_EQ(transport_.Held(), 0);
}

TEST_F(LinkTest, RequestedSimulatorMustMatch) {
    EXPECT_EQ(OpenResult(4), kOkay);
    link_.LinkClose();
    EXPECT_EQ(OpenResult(3), kWrongSimulator);
    EXPECT_FALSE(link_.IsOpen());
    EXPECT_EQ(transport_.Held(), 0);
}

TEST_F(LinkTest, FailedOpensReleaseEverythingAcquired) {
    struct Case {
        const char* what;
        std::function<void(FakeTransport&)> arrange;
        std::int32_t expected;
    };
    const Case cases[] = {
        {"register", [](FakeTransport& t) { t.messageNumber = 0; }, kRegisterFailed},
        {"atom", [](FakeTransport& t) { t.failAtom = true; }, kAtomFailed},
        {"mapping", [](FakeTransport& t) { t.failMapping = true; }, kMappingFailed},
        {"mapping existed", [](FakeTransport& t) { t.mappingExisted = true; }, kMappingFailed},
        {"view", [](FakeTransport& t) { t.failView = true; }, kViewFailed},
        {"exchange timed out", [](FakeTransport& t) { t.script.assign(11, {Send::kTimeOut}); },
         kTimedOut},
        {"exchange failed",
         [](FakeTransport& t) {
             t.script.assign(11, {Send::kFail, 32});
         },
         kSendFailed},
        {"exchange answered 0",
         [](FakeTransport& t) { t.server = [](std::uint8_t*) { return 0u; }; }, kBadData},
        {"wrong version", [](FakeTransport& t) { t.simulator.SetU32(0x3308, 4); }, kWrongVersion},
    };
    for (const Case& c : cases) {
        FakeTransport transport;
        c.arrange(transport);
        Link link(transport);
        std::int32_t result = -1;
        EXPECT_FALSE(link.LinkOpen(0, result)) << c.what;
        EXPECT_EQ(result, c.expected) << c.what;
        EXPECT_FALSE(link.IsOpen()) << c.what;
        EXPECT_GT(transport.windowsFound, 0) << c.what;
        EXPECT_EQ(transport.Held(), 0) << c.what;
        std::uint32_t value = 0;
        EXPECT_FALSE(link.LinkRead(0x3304, 4, &value, result));
        EXPECT_EQ(result, kNotOpen) << c.what;
    }
}

TEST_F(LinkTest, InitializeAndDestructionLeaveNothingBehind) {
    Open();
    EXPECT_GT(transport_.Held(), 0);
    link_.LinkInitialize();
    EXPECT_FALSE(link_.IsOpen());
    EXPECT_EQ(transport_.Held(), 0);
    EXPECT_EQ(link_.SimVersion(), 4u) << "versions are left as they are";
    EXPECT_EQ(OpenResult(), kOkay);

    FakeTransport transport;
    {
        Link link(transport);
        std::int32_t result = -1;
        ASSERT_TRUE(link.LinkOpen(0, result));
    }
    EXPECT_EQ(transport.Held(), 0);
}

TEST_F(LinkTest, TwoTimeOutsThenSuccessDeliverTheValues) {
    Open();
    transport_.script = {{Send::kTimeOut}, {Send::kTimeOut}};
    std::uint32_t value = 0;
    std::int32_t result = -1;
    ASSERT_TRUE(link_.LinkRead(0x3308, 4, &value, result));
    EXPECT_TRUE(link_.LinkProcess(result));
    EXPECT_EQ(result, kOkay);
    EXPECT_EQ(value, 0xFADE0004u);
    EXPECT_EQ(transport_.sends, 3);
    EXPECT_EQ(transport_.sleeps, 2);
    EXPECT_EQ(transport_.sleptMs, 200u);
}

TEST_F(LinkTest, DeadServerIsTried11TimesWith10Pauses) {
    Open();
    transport_.script.assign(20, {Send::kTimeOut});
    std::uint32_t value = 0x5A5A5A5A;
    std::int32_t result = -1;
    ASSERT_TRUE(link_.LinkRead(0x3308, 4, &value, result));
    EXPECT_FALSE(link_.LinkProcess(result));
    EXPECT_EQ(result, kTimedOut);
    EXPECT_EQ(transport_.sends, 11);
    EXPECT_EQ(transport_.sleeps, 10);
    EXPECT_EQ(transport_.sleptMs, 1000u);
    EXPECT_EQ(value, 0x5A5A5A5Au) << "nothing delivered";
    EXPECT_TRUE(link_.IsOpen()) << "a failed exchange does not close the link";
}

TEST_F(LinkTest, TheLastSendsErrorTellsFailureFromTimeOut) {
    Open();
    std::uint32_t value = 0;
    std::int32_t result = -1;

    transport_.script.assign(10, {Send::kTimeOut});
    transport_.script.push_back({Send::kFail, 104});
    ASSERT_TRUE(link_.LinkRead(0x3308, 4, &value, result));
    EXPECT_FALSE(link_.LinkProcess(result));
    EXPECT_EQ(result, kSendFailed);

    transport_.script.assign(10, {Send::kFail, 104});
    transport_.script.push_back({Send::kTimeOut});
    ASSERT_TRUE(link_.LinkRead(0x3308, 4, &value, result));
    EXPECT_FALSE(link_.LinkProcess(result));
    EXPECT_EQ(result, kTimedOut);

    transport_.script.assign(10, {Send::kFail, 104});
    ASSERT_TRUE(link_.LinkRead(0x3308, 4, &value, result));
    EXPECT_TRUE(link_.LinkProcess(result)) << "the eleventh send succeeds";
    EXPECT_EQ(value, 0xFADE0004u);
}

TEST_F(LinkTest, AnswerOtherThan1Gives13AndDeliversNothing) {
    Open();
    for (std::uint32_t answer : {0u, 2u, 0xFFFFFFFFu}) {
        transport_.server = [this, answer](std::uint8_t* block) {
            transport_.simulator.Process(block);
            return answer;
        };
        std::uint32_t value = 0;
        std::int32_t result = -1;
        ASSERT_TRUE(link_.LinkRead(0x3308, 4, &value, result));
        EXPECT_FALSE(link_.LinkProcess(result));
        EXPECT_EQ(result, kBadData);
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
        transport_.server = [this, &c](std::uint8_t* block) {
            transport_.simulator.Process(block);
            std::memset(block + 16, 0xF1, 4);
            std::memset(block + 36, 0xF2, 2);
            std::memset(block + 54, 0xF3, 4);
            // Whatever lies behind a record that grew or ran away.
            std::memset(block + 58, 0xF4, kBlockSize - 58);
            PutLe32(block + 58, 0);
            PutLe32(block + c.at, c.value);
            return 1u;
        };
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
    transport_.server = nullptr;
    std::uint32_t value = 0;
    std::int32_t result = -1;
    ASSERT_TRUE(link_.LinkRead(0x3308, 4, &value, result));
    EXPECT_TRUE(link_.LinkProcess(result));
    EXPECT_EQ(value, 0xFADE0004u);
}

TEST_F(LinkTest, WriteFromANullSourceIsRefused) {
    Open();
    std::int32_t result = -1;
    EXPECT_FALSE(link_.LinkWrite(0x0B64, 1, nullptr, result));
    EXPECT_EQ(result, kBadData);
    EXPECT_FALSE(link_.LinkProcess(result));
    EXPECT_EQ(result, kNothingQueued) << "nothing was queued";
}

TEST(ResultTextsTest, TextsByCode) {
    EXPECT_EQ(ResultTexts()[kOkay], "Okay");
    EXPECT_EQ(ResultTexts()[kNoServer], "Cannot link to FSUIPC or WideClient");
    EXPECT_EQ(ResultTexts()[kBlockFull],
              "Read or Write request cannot be added, memory for Process is full");
    EXPECT_EQ(SimulatorNames()[5], "FLY");
}

}  // namespace
}  // namespace skyfault::link
