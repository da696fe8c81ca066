#include "sim/sim_core.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>

#include "link/codec.h"
#include "sim/console.h"

namespace skyfault::sim {
namespace {

// A read record at the start of the block whose data ends at 32512, or one
// byte later: the first is carried out, the second not, and the bytes past
// 32512 are never touched.
TEST(ProcessBlockTest, ARecordEndingAt32512IsCarriedOutAndNothingPastIt) {
    OffsetSpace space;
    for (const std::size_t size : {link::kBlockSpaceLimit - 16, link::kBlockSpaceLimit - 15}) {
        std::array<std::uint8_t, link::kBlockSize> block{};
        std::fill(block.begin() + link::kBlockSpaceLimit, block.end(), 0xEE);
        link::PutLe32(&block[0], 1);
        link::PutLe32(&block[4], offsets::kFsuipcVersion);
        link::PutLe32(&block[8], static_cast<std::uint32_t>(size));
        EXPECT_EQ(ProcessBlock(block.data(), space, {}), 1u);
        const bool fits = size == link::kBlockSpaceLimit - 16;
        EXPECT_EQ(link::GetLe32(&block[16]), fits ? kDefaultFsuipcVersion : 0u) << size;
        EXPECT_TRUE(std::all_of(block.begin() + link::kBlockSpaceLimit, block.end(),
                                [](std::uint8_t byte) { return byte == 0xEE; }))
            << size;
    }
}

TEST(OffsetSpaceTest, LittleEndianAndNothingPast0xFFFF) {
    struct {
        OffsetSpace space;
        std::array<std::uint8_t, 4> after{};
    } guarded;
    guarded.space.WriteU32(0xFFFE, 0xAABBCCDD);
    EXPECT_EQ(guarded.space.ReadU32(0xFFFC), 0xCCDD0000u);
    EXPECT_EQ(guarded.space.ReadU32(0xFFFE), 0x0000CCDDu);
    EXPECT_EQ(guarded.space.ReadU32(0x0000), 0u) << "nothing wrapped round to the start";
    guarded.space.WriteU32(0xFFFFFFFF, 0x01020304);
    EXPECT_EQ(guarded.space.ReadU32(0xFFFFFFFF), 0u);
    EXPECT_EQ(guarded.after, (std::array<std::uint8_t, 4>{})) << "not even the byte after";
}

TEST(ConsoleTest, CommandsInTheirUnitsAndBadOnesExplainAndChangeNothing) {
    OffsetSpace space;
    const std::pair<const char*, const char*> steps[] = {
        {"set ias 150.5", ""},
        {"get ias", "ias 150.5"},
        {"set oat -1", ""},
        {"get oat", "oat -1"},
        {"set tank-left 100", ""},
        {"get tank-left", "tank-left 100"},
        {"poke 2000 4 -2", ""},
        {"peek 0x07D0 4", "peek 0x07D0 4 FEFFFFFF 4294967294"},
        {"   ", ""},
        {"# set ias 0", ""}};
    for (const auto& [line, output] : steps) {
        const CommandOutcome outcome = RunCommand(line, space);
        EXPECT_EQ(outcome.output, output) << line;
        EXPECT_EQ(outcome.error, "") << line;
    }
    EXPECT_EQ(space.ReadU32(0x02BC), 19264u);  // 150.5 * 128
    EXPECT_EQ(space.ReadU16(0x0E8C), 0xFF00);
    EXPECT_EQ(space.ReadU32(0x0B7C), 100u * 128u * 65536u);
    EXPECT_TRUE(RunCommand("  quit\r", space).quit);

    const OffsetSpace before = space;
    for (const char* line :
         {"fly", "set ias", "set ias 10x", "set tank-left 100.01", "set gear 1.5",
          "poke 0x10000 1 1", "poke 0xFFFF 2 1", "poke 0 9 1", "poke 0 1 256", "poke 0 1 -129",
          "peek -1 1", "peek 0x10 0", "peek 0x10 257", "peek 99999999999999999999 1", "quit now"}) {
        const CommandOutcome outcome = RunCommand(line, space);
        EXPECT_FALSE(outcome.error.empty()) << line;
        EXPECT_TRUE(outcome.output.empty() && !outcome.quit) << line;
    }
    for (std::uint32_t o = 0; o < 0x10000; o += 4) {
        ASSERT_EQ(space.ReadU32(o), before.ReadU32(o)) << o;
    }
}

}  // namespace
}  // namespace skyfault::sim
