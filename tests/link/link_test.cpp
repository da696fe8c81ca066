// The link's protocol logic against the in-process server, and the frames.
#include "link/link.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "link/codec.h"
#include "link/local_ipc.h"
#include "tests/support/in_process_server.h"

namespace skyfault::link {
namespace {

using test_support::InProcessServer;
using Step = InProcessServer::Step;

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
    std::int32_t Open(std::int32_t requestedSim = 0) {
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
    const std::vector<std::uint8_t>& Sent() const { return server_.LastSend().request; }

    InProcessServer server_;
    Link link_{server_};
};

TEST_F(LinkTest, OpenReadsTheVersionsOverTheBlockNamedAfterTheProcess) {
    ASSERT_EQ(Open(), kOkay);
    EXPECT_EQ(link_.FsuipcVersion(), 0x40000000);
    EXPECT_EQ(link_.SimVersion(), 4u);
    EXPECT_EQ(server_.LastAtomName(), "FSASMLIB:IPC:1A4:1");
    EXPECT_EQ(server_.Sends(), 1);
    EXPECT_EQ(server_.SleptMilliseconds(), 100u);
    EXPECT_EQ(server_.LastSend().timeoutMs, 2000u);
    EXPECT_EQ(server_.LastSend().wParam, static_cast<std::int32_t>(0xFFFFC000u))
        << "the atom travels widened with its sign";
    EXPECT_EQ(Open(), kAlreadyOpen);
    EXPECT_TRUE(link_.IsOpen());
    EXPECT_EQ(BlockName(0xFFFFFFFF), "FSASMLIB:IPC:FFFFFFFF:1");

    std::int32_t result = -1;
    std::uint32_t value = 0;
    ASSERT_TRUE(link_.LinkRead(0x3304, 4, &value, result));
    link_.LinkClose();
    link_.LinkClose();
    EXPECT_EQ(server_.Held(), 0);
    EXPECT_FALSE(link_.LinkProcess(result));
    EXPECT_EQ(result, kNotOpen);
    EXPECT_FALSE(link_.LinkRead(0x3304, 4, &value, result));
    EXPECT_EQ(result, kNotOpen);
    ASSERT_EQ(Open(), kOkay);
    link_.LinkInitialize();
    EXPECT_EQ(server_.Held(), 0);
}

TEST_F(LinkTest, BatchIsSentAsLaidOutUpToAFullBlock) {
    ASSERT_EQ(Open(), kOkay);
    std::int32_t fsuipc = 0;
    Guarded<4> none;
    const std::uint8_t one = 1;
    std::int32_t result = -1;
    ASSERT_TRUE(link_.LinkRead(0x3304, 4, &fsuipc, result));
    ASSERT_TRUE(link_.LinkWrite(0x0B64, 1, &one, result));
    ASSERT_TRUE(link_.LinkRead(0x3304, 0, none.value.data(), result));
    ASSERT_TRUE(link_.LinkRead(0x3308, 4, nullptr, result));
    EXPECT_FALSE(link_.LinkWrite(0x0B64, 1, nullptr, result));
    EXPECT_EQ(result, kBadData) << "a write needs a source";
    ASSERT_TRUE(link_.LinkProcess(result));
    // After the read and the write the server carried out: kind, offset,
    // size, key and the zero-filled data area of each read.
    const std::vector<std::uint32_t> rest = {1, 0x3304, 0, 3, 1, 0x3308, 4, 0, 0, 0};
    for (std::size_t i = 0; i < rest.size(); ++i) {
        EXPECT_EQ(GetLe32(&Sent()[33 + 4 * i]), rest[i]) << i;
    }
    EXPECT_EQ(fsuipc, 0x40000000);
    EXPECT_TRUE(none.GuardsIntact());
    EXPECT_EQ(server_.Space().ReadU16(0x0B64) & 0xFF, 1);
    EXPECT_FALSE(link_.LinkProcess(result));
    EXPECT_EQ(result, kNothingQueued);

    // 16 + 4 (a write) + 16 + 32476 (a read) = 32512, the whole usable block.
    std::vector<std::uint8_t> big(32512);
    ASSERT_TRUE(link_.LinkWrite(0x100, 4, big.data(), result));
    EXPECT_FALSE(link_.LinkRead(0x0, 32477, big.data(), result));
    EXPECT_EQ(result, kBlockFull);
    EXPECT_FALSE(link_.LinkWrite(0x0, 32481, big.data(), result));
    ASSERT_TRUE(link_.LinkRead(0x0, 32476, big.data(), result));
    EXPECT_FALSE(link_.LinkRead(0x0, 0, nullptr, result));
    EXPECT_EQ(result, kBlockFull);
    ASSERT_TRUE(link_.LinkProcess(result));
    EXPECT_EQ(GetLe32(&Sent()[16 + 8]), 32476u);
    EXPECT_EQ(GetLe32(&Sent()[32508]), 0u);

    std::array<std::uint8_t, kBlockSize> block{};
    RequestBlock wrapping(block.data());
    EXPECT_FALSE(wrapping.AppendRead(0, 0xFFFFFFFFu, 1));
    EXPECT_FALSE(wrapping.AppendWrite(0, 0xFFFFFFF8u, nullptr));
}

TEST_F(LinkTest, ServerClassesAndVersionsDecodedLittleEndian) {
    server_.SetWindowClass("");
    EXPECT_EQ(Open(), kNoServer);
    EXPECT_EQ(server_.WindowQueries(), (std::vector<std::string>{"UIPCMAIN", "FS98MAIN"}));
    server_.SetWindowClass(test_support::kWideClientClass);
    server_.SetFsuipcVersion(0x19980004);
    EXPECT_EQ(Open(), kWideClientNoServer);
    server_.SetWindowClass(test_support::kFsuipcClass);
    struct Case {
        std::uint32_t fsuipc;
        std::uint32_t sim;
        std::int32_t expected;
    };
    // The server holds these as little-endian bytes: read in host order, a
    // big-endian host would take every row for a wrong version.
    const Case cases[] = {
        {0x19980005, 0xFADE0001, kOkay},         {0x19980004, 0xFADE0001, kWrongVersion},
        {0x7FFFFFFF, 0xFADE0000, kOkay},         {0x80000000, 0xFADE0001, kWrongVersion},
        {0x40000000, 0xFADF0001, kWrongVersion}, {0x40000000, 0x0000FADE, kWrongVersion},
    };
    for (const Case& c : cases) {
        server_.SetFsuipcVersion(c.fsuipc);
        server_.SetSimVersion(c.sim);
        EXPECT_EQ(Open(), c.expected) << std::hex << c.fsuipc << " " << c.sim;
        if (c.expected == kOkay) {
            EXPECT_EQ(link_.SimVersion(), c.sim & 0xFFFFu);
        }
        link_.LinkClose();
        EXPECT_EQ(server_.Held(), 0);
    }
    server_.SetSimVersion(0xFADE0004);
    EXPECT_EQ(Open(3), kWrongSimulator) << "the requested simulator must match";
    EXPECT_EQ(Open(4), kOkay);
    link_.LinkClose();

    // A value still 0 is asked again, five rounds at most.
    const int sends = server_.Sends();
    server_.SetFsuipcVersion(0);
    EXPECT_EQ(Open(), kWrongVersion);
    EXPECT_EQ(server_.Sends() - sends, 5);
}

TEST_F(LinkTest, FailedOpensReleaseEverythingAcquired) {
    struct Case {
        Step step;
        std::int32_t expected;
        std::function<void(InProcessServer&)> arrange = [](InProcessServer&) {};
    };
    const Case cases[] = {
        {Step::kRegister, kRegisterFailed},
        {Step::kAtom, kAtomFailed},
        {Step::kMapping, kMappingFailed},
        {Step::kMappingExists, kMappingFailed},
        {Step::kView, kViewFailed},
        {Step::kNone, kTimedOut, [](InProcessServer& s) { s.SetTimeoutsBeforeSuccess(11); }},
        {Step::kNone, kSendFailed, [](InProcessServer& s) { s.SetSendFailure(32); }},
        {Step::kNone, kBadData, [](InProcessServer& s) { s.SetAnswer(0); }},
    };
    for (const Case& c : cases) {
        InProcessServer server;
        server.Fail(c.step);
        c.arrange(server);
        Link link(server);
        std::int32_t result = -1;
        EXPECT_FALSE(link.LinkOpen(0, result)) << c.expected;
        EXPECT_EQ(result, c.expected);
        EXPECT_EQ(server.Held(), 0) << c.expected;
    }
}

TEST_F(LinkTest, TimeOutsAreRetriedTenTimesAndTheLastErrorTellsAFailedSend) {
    ASSERT_EQ(Open(), kOkay);
    const int sends = server_.Sends();
    server_.SetTimeoutsBeforeSuccess(20);
    std::uint32_t value = 0x5A5A5A5A;
    EXPECT_EQ(ReadSim(value), kTimedOut);
    EXPECT_EQ(server_.Sends() - sends, 11);
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
    EXPECT_EQ(value, 0xFADE0004u);

    for (std::uint32_t answer : {0u, 2u, 0xFFFFFFFFu}) {
        server_.SetAnswer(answer);
        value = 0;
        EXPECT_EQ(ReadSim(value), kBadData);
        EXPECT_EQ(value, 0u);
    }
}

TEST_F(LinkTest, HostileRepliesNeverWriteOutsideTheDestinations) {
    ASSERT_EQ(Open(), kOkay);
    struct Case {
        std::size_t at;  // field of the reply to change
        std::uint32_t value;
        int delivered;  // reads before the record where the scan stops (3: all, kOkay)
    };
    // Records: read 4 at 0 (data 16), read 2 at 20 (size at 28, key at 32,
    // data 36), read 4 at 38, terminator at 58.
    const Case cases[] = {
        {28, 200, 1}, {28, 0xFFFFFFF0u, 1}, {28, 1, 1}, {32, 1, 1},      {32, 3, 1},
        {20, 7, 1},   {38, 2, 2},           {8, 6, 0},  {12, 0x7777, 0}, {20, 0, 1},
        {58, 1, 3},   {20, 0xABCD0001u, 4},  // only the low 16 bits tell the kind
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
        Guarded<4> first;
        Guarded<2> second;
        Guarded<4> third;
        std::int32_t result = -1;
        ASSERT_TRUE(link_.LinkRead(0x10, 4, first.value.data(), result));
        ASSERT_TRUE(link_.LinkRead(0x20, 2, second.value.data(), result));
        ASSERT_TRUE(link_.LinkRead(0x30, 4, third.value.data(), result));
        EXPECT_EQ(link_.LinkProcess(result), c.delivered == 4) << c.at << " " << c.value;
        EXPECT_EQ(result, c.delivered == 4 ? kOkay : kBadData) << c.at << " " << c.value;
        EXPECT_TRUE(first.GuardsIntact() && second.GuardsIntact() && third.GuardsIntact());
        EXPECT_EQ(first.U32(), c.delivered >= 1 ? 0xF1F1F1F1u : 0u) << c.at;
        EXPECT_EQ(second.value[1], c.delivered >= 2 ? 0xF2 : 0) << c.at;
        EXPECT_EQ(third.U32(), c.delivered >= 3 ? 0xF3F3F3F3u : 0u) << c.at;
    }
}

TEST(LocalFramesTest, WireLayoutAndRefusals) {
    const auto bytes = local::EncodeRequest({0x01020304, 0xFB60, -16383, 0, "FSASMLIB:IPC:1A4:1"});
    const std::string head("SKF1\x04\x03\x02\x01\x60\xFB\0\0\x01\xC0\xFF\xFF\0\0\0\0", 20);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 20), head);
    EXPECT_EQ(std::string(bytes.begin() + 20, bytes.end()),
              std::string("FSASMLIB:IPC:1A4:1") + '\0' + "     ");
    EXPECT_EQ(local::DecodeRequest(bytes.data())->wParam, -16383);
    const auto cut = local::EncodeRequest({1, 1, 1, 0, std::string(40, 'X')});
    EXPECT_EQ(local::DecodeRequest(cut.data())->name, std::string(23, 'X')) << "room for a NUL";

    const auto reply = local::EncodeReply({0xA0B0C0D0, 1});
    EXPECT_EQ(std::string(reply.begin(), reply.end()),
              std::string("SKF1\xD0\xC0\xB0\xA0\x01\0\0\0", 12));
    // FNV-1a-32 of the upper-cased name, worked out independently, in 0xC000..0xFFFF.
    EXPECT_EQ(local::MessageNumber("fsasmlib:ipc"), 0xFB60u);

    EXPECT_TRUE(local::IsValidBlockName("FSASMLIB:IPC:FFFFFFFF:1"));
    for (const char* name :
         {"", "FSASMLIB:IPC::1", "FSASMLIB:IPC:1a4:1", "FSASMLIB:IPC:1A4:2",
          "FSASMLIB:IPC:123456789:1", "FSASMLIB:IPC:../x:1", "fsasmlib:ipc:1A4:1",
          "FSASMLIB:IPC:1A4:1 ", "FSASMLIB:IPC:1G:1", "/FSASMLIB:IPC:1A4:1"}) {
        EXPECT_FALSE(local::IsValidBlockName(name)) << name;
    }
}

}  // namespace
}  // namespace skyfault::link
