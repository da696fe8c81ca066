#include "sim/sim_core.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "sim/console.h"

namespace skyfault::sim {
namespace {

// Builds request blocks the way a client lays them out, or any other way.
class BlockBuilder {
public:
    // A read record; the position of its data area.
    std::size_t Read(std::uint32_t offset, std::uint32_t size) {
        Put(1), Put(offset), Put(size), Put(0xD1);
        pos_ += size;
        return pos_ - size;
    }
    void Write(std::uint32_t offset, std::vector<std::uint8_t> data) {
        Put(2), Put(offset), Put(static_cast<std::uint32_t>(data.size()));
        std::copy(data.begin(), data.end(), block_.begin() + static_cast<std::ptrdiff_t>(pos_));
        pos_ += data.size();
    }
    void Put(std::uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            block_[pos_++] = static_cast<std::uint8_t>(v >> (8 * i));
        }
    }
    void At(std::size_t pos) { pos_ = pos; }
    std::uint8_t* data() { return block_.data(); }
    std::uint32_t U32(std::size_t at) const {
        std::uint32_t v = 0;
        std::memcpy(&v, &block_[at], 4);
        return v;
    }

private:
    std::array<std::uint8_t, kBlockSize> block_{};
    std::size_t pos_ = 0;
};

TEST(ProcessBlockTest, RecordsAreCarriedOutInOrderUntilAnUnknownKind) {
    OffsetSpace space;
    BlockBuilder b;
    const std::size_t version = b.Read(0x3304, 4);
    b.Write(0x0B64, {0x01});
    const std::size_t flag = b.Read(0x0B64, 1);  // sees the write before it
    b.Read(0x3304, 0);
    b.Write(0x0B66, {});
    b.Write(0xFFFE, {0xA1, 0xA2, 0xA3, 0xA4});
    const std::size_t top = b.Read(0xFFFE, 4);
    const std::size_t outside = b.Read(0xFFFFFFF0u, 4);
    b.Put(7), b.Put(0x0B64), b.Put(1), b.Put(0);  // unknown kind: the end
    const std::size_t never = b.Read(0x3304, 4);
    std::vector<WriteRecord> writes;
    EXPECT_EQ(ProcessBlock(b.data(), space, [&](const WriteRecord& w) { writes.push_back(w); }),
              1u);
    EXPECT_EQ(b.U32(version), kDefaultFsuipcVersion);
    EXPECT_EQ(b.U32(12), 0xD1u) << "destination returned unchanged";
    EXPECT_EQ(b.data()[flag], 0x01);
    EXPECT_EQ(b.U32(top), 0x0000A2A1u);
    EXPECT_EQ(space.ReadU16(0), 0);
    EXPECT_EQ(b.U32(outside), 0u);
    EXPECT_EQ(b.U32(never), 0u);
    ASSERT_EQ(writes.size(), 3u);
    EXPECT_EQ(writes[0].offset, 0x0B64u);
    EXPECT_EQ(writes[0].data, std::vector<std::uint8_t>{0x01});
    EXPECT_TRUE(writes[1].data.empty());

    // Little-endian; bytes past 0xFFFF read as 0 and are never written, not
    // even the byte just after the space.
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
    EXPECT_EQ(guarded.after, (std::array<std::uint8_t, 4>{}));
}

TEST(ProcessBlockTest, NeverTouchesBytesPast32512) {
    OffsetSpace space;
    BlockBuilder exact;
    EXPECT_EQ(exact.Read(0x3304, kUsableBlockSize - 16), 16u);
    ProcessBlock(exact.data(), space, {});
    EXPECT_EQ(exact.U32(16), kDefaultFsuipcVersion) << "a read ending at 32512 is carried out";

    BlockBuilder over;
    over.Read(0x3304, kUsableBlockSize - 16 + 1);
    std::memset(over.data() + kUsableBlockSize, 0xEE, kBlockSize - kUsableBlockSize);
    ProcessBlock(over.data(), space, {});
    EXPECT_EQ(over.U32(16), 0u);
    for (std::size_t i = kUsableBlockSize; i < kBlockSize; ++i) {
        ASSERT_EQ(over.data()[i], 0xEE) << i;
    }

    int writes = 0;
    BlockBuilder write;
    write.Put(2), write.Put(0x0B64), write.Put(kUsableBlockSize - 12 + 1);
    ProcessBlock(write.data(), space, [&](const WriteRecord&) { ++writes; });
    EXPECT_EQ(writes, 0);

    BlockBuilder huge;  // a size near 2^32 does not wrap the position round
    huge.Read(0x3304, 0xFFFFFFF0u);
    huge.At(40);
    const std::size_t later = huge.Read(0x3304, 4);
    ProcessBlock(huge.data(), space, {});
    EXPECT_EQ(huge.U32(later), 0u);

    BlockBuilder chain;  // 24 + 2030 * 16 = 32504: a header there would run past
    chain.Write(0x4000, std::vector<std::uint8_t>(12, 0x11));
    for (int i = 0; i < 2030; ++i) {
        chain.Write(0x4000, {1, 2, 3, 4});
    }
    chain.Write(0x5000, {});
    ProcessBlock(chain.data(), space, [&](const WriteRecord& w) { writes += w.offset == 0x4000; });
    EXPECT_EQ(writes, 2031);
}

TEST(ConsoleTest, CommandsSetAndGetInTheirUnits) {
    OffsetSpace space;
    const std::pair<const char*, const char*> steps[] = {
        {"get ias", "ias 120"},
        {"set ias 150.5", ""},
        {"get ias", "ias 150.5"},
        {"set oat -1", ""},
        {"get oat", "oat -1"},
        {"set tank-center 50", ""},
        {"get tank-center", "tank-center 50"},
        {"poke 0x0B71 1 1", ""},
        {"peek 0x0B71 1", "peek 0x0B71 1 01 1"},
        {"poke 2000 4 0x11223344", ""},
        {"peek 0x07D0 4", "peek 0x07D0 4 44332211 287454020"},
        {"set tank-left 100", ""},
        {"set flaps 0x1FFF", ""},
        {"   ", ""},
        {"# set ias 0", ""},
    };
    for (const auto& [line, output] : steps) {
        const CommandOutcome outcome = RunCommand(line, space);
        EXPECT_EQ(outcome.output, output) << line;
        EXPECT_EQ(outcome.error, "") << line;
        EXPECT_FALSE(outcome.quit) << line;
    }
    EXPECT_EQ(space.ReadU32(0x02BC), 19264u);  // 150.5 * 128
    EXPECT_EQ(space.ReadU16(0x0E8C), 0xFF00);
    EXPECT_EQ(space.ReadU32(0x0B74), 50u * 128u * 65536u);
    EXPECT_EQ(space.ReadU32(0x0B7C), 100u * 128u * 65536u);
    EXPECT_EQ(space.ReadU32(0x0BDC), 0x1FFFu);
    EXPECT_TRUE(RunCommand("  quit\r", space).quit);
    EXPECT_NE(RunCommand("help", space).output.find("tank-center"), std::string::npos);
    EXPECT_EQ(FormatWrite({0x0BE8, {0xFF, 0x3F, 0x00, 0x00}}), "write 0x0BE8 4 FF3F0000");
}

TEST(ConsoleTest, BadCommandsExplainAndChangeNothing) {
    OffsetSpace space;
    const OffsetSpace before = space;
    std::istringstream lines(
        "fly|set|set ias|set speed 10|set ias fast|set ias 10x|set tank-left 101|"
        "set oat 200|set gear 1.5|set pause -1|get|get nothing|poke 0x10000 1 1|"
        "poke 0xFFFF 2 1|poke 0 0 1|poke 0 9 1|poke 0 1 256|poke 0 1 -129|poke 0 1 zz|"
        "poke 0x 1 1|peek 0x10 0|peek 0x10 257|peek -1 1|peek 99999999999999999999999 1|"
        "quit now");
    for (std::string line; std::getline(lines, line, '|');) {
        const CommandOutcome outcome = RunCommand(line, space);
        EXPECT_FALSE(outcome.error.empty()) << line;
        EXPECT_TRUE(outcome.output.empty()) << line;
        EXPECT_FALSE(outcome.quit) << line;
    }
    for (std::uint32_t o = 0; o < 0x10000; o += 4) {
        ASSERT_EQ(space.ReadU32(o), before.ReadU32(o)) << o;
    }
}

}  // namespace
}  // namespace skyfault::sim
