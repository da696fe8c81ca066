#include "sim/sim_core.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

namespace skyfault::sim {
namespace {

// Builds request blocks the way a client lays them out.
class BlockBuilder {
public:
    BlockBuilder() { block_.fill(0); }
    std::size_t Read(std::uint32_t offset, std::uint32_t size, std::uint32_t destination = 0xD1) {
        const std::size_t at = pos_;
        Put(1);
        Put(offset);
        Put(size);
        Put(destination);
        pos_ += size;
        return at + 16;  // the data area
    }
    void Write(std::uint32_t offset, std::vector<std::uint8_t> data) {
        Put(2);
        Put(offset);
        Put(static_cast<std::uint32_t>(data.size()));
        if (!data.empty()) {  // memcpy takes no null pointer, even for 0 bytes
            std::memcpy(block_.data() + pos_, data.data(), data.size());
        }
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
        return block_[at] | (block_[at + 1] << 8) | (block_[at + 2] << 16) |
               (static_cast<std::uint32_t>(block_[at + 3]) << 24);
    }

private:
    std::array<std::uint8_t, kBlockSize> block_{};
    std::size_t pos_ = 0;
};

TEST(OffsetSpaceTest, LittleEndianAndNothingPastTheEnd) {
    OffsetSpace space;
    space.WriteU32(0x1000, 0x11223344);
    std::uint8_t b[4];
    space.Read(0x1000, b, 4);
    EXPECT_EQ(b[0], 0x44);
    EXPECT_EQ(b[3], 0x11);

    // Bytes past 0xFFFF read as 0 and are never written.
    space.WriteU32(0xFFFE, 0xAABBCCDD);
    EXPECT_EQ(space.ReadU16(0xFFFE), 0xCCDD);
    EXPECT_EQ(space.ReadU32(0xFFFE), 0x0000CCDDu);
    EXPECT_EQ(space.ReadU32(0x0000), 0u);  // nothing wrapped round to the start
    EXPECT_EQ(space.ReadU32(0xFFFFFFFE), 0u);
    space.WriteU32(0xFFFFFFFF, 0x01020304);  // entirely outside: dropped
    EXPECT_EQ(space.ReadU32(0xFFFFFFFF), 0u);
}

TEST(ProcessBlockTest, ReadsFillDataAreasAndWritesChangeTheSpaceInOrder) {
    OffsetSpace space;
    BlockBuilder b;
    const std::size_t version = b.Read(0x3304, 4, 0xD1);
    b.Write(0x0B64, {0x01});
    const std::size_t flag = b.Read(0x0B64, 1, 0xD2);  // sees the write before it
    const std::size_t sim = b.Read(0x3308, 4, 0xD3);
    std::vector<WriteRecord> writes;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> reads;

    EXPECT_EQ(ProcessBlock(
                  b.data(), space, [&](const WriteRecord& w) { writes.push_back(w); },
                  [&](std::uint32_t o, std::uint32_t s) { reads.emplace_back(o, s); }),
              1u);

    EXPECT_EQ(b.U32(version), kDefaultFsuipcVersion);
    EXPECT_EQ(b.data()[flag], 0x01);
    EXPECT_EQ(b.U32(sim), kSimVersionMark | kDefaultSimCode);
    EXPECT_EQ(b.U32(12), 0xD1u);  // destination returned unchanged
    EXPECT_EQ(space.ReadU16(0x0B64) & 0xFF, 1);
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].offset, 0x0B64u);
    EXPECT_EQ(writes[0].data, std::vector<std::uint8_t>{0x01});
    const std::vector<std::pair<std::uint32_t, std::uint32_t>> expected{
        {0x3304, 4}, {0x0B64, 1}, {0x3308, 4}};
    EXPECT_EQ(reads, expected);
}

TEST(ProcessBlockTest, UnknownKindEndsProcessingButAnswersOne) {
    OffsetSpace space;
    BlockBuilder b;
    const std::size_t first = b.Read(0x02BC, 4);
    b.Put(7);  // unknown kind
    b.Put(0x0B64);
    b.Put(1);
    b.Put(0);
    b.At(16 + 4 + 16);
    const std::size_t after = b.Read(0x02BC, 4);
    int writes = 0;
    EXPECT_EQ(ProcessBlock(b.data(), space, [&](const WriteRecord&) { ++writes; }), 1u);
    EXPECT_EQ(b.U32(first), 120u * 128u);
    EXPECT_EQ(b.U32(after), 0u);  // never reached
    EXPECT_EQ(writes, 0);
}

TEST(ProcessBlockTest, SizeZeroRecordsAreBareHeaders) {
    OffsetSpace space;
    BlockBuilder b;
    b.Read(0x3304, 0);
    b.Write(0x0B64, {});
    const std::size_t after = b.Read(0x3304, 4);
    std::vector<WriteRecord> writes;
    ProcessBlock(b.data(), space, [&](const WriteRecord& w) { writes.push_back(w); });
    EXPECT_EQ(b.U32(after), kDefaultFsuipcVersion);
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_TRUE(writes[0].data.empty());
}

TEST(ProcessBlockTest, NeverTouchesBytesPast32512) {
    OffsetSpace space;
    BlockBuilder b;
    // A read whose data area ends exactly at 32512 is carried out...
    b.At(0);
    const std::size_t exact = b.Read(0x3304, kUsableBlockSize - 16);
    ProcessBlock(b.data(), space, {});
    EXPECT_EQ(exact, 16u);
    EXPECT_EQ(b.U32(exact), kDefaultFsuipcVersion);

    // ...one byte more and it is not: nothing is written into the block.
    BlockBuilder over;
    over.Read(0x3304, kUsableBlockSize - 16 + 1);
    std::memset(over.data() + kUsableBlockSize, 0xEE, kBlockSize - kUsableBlockSize);
    ProcessBlock(over.data(), space, {});
    EXPECT_EQ(over.U32(16), 0u);
    for (std::size_t i = kUsableBlockSize; i < kBlockSize; ++i) {
        ASSERT_EQ(over.data()[i], 0xEE) << i;
    }

    // A write that would run past 32512 changes nothing.
    BlockBuilder write;
    write.Put(2);
    write.Put(0x0B64);
    write.Put(static_cast<std::uint32_t>(kUsableBlockSize - 12 + 1));
    write.data()[12] = 0x55;
    int writes = 0;
    ProcessBlock(write.data(), space, [&](const WriteRecord&) { ++writes; });
    EXPECT_EQ(writes, 0);
    EXPECT_EQ(space.ReadU16(0x0B64), 0);

    // A size near 2^32 does not wrap the position round.
    BlockBuilder huge;
    huge.Read(0x3304, 0xFFFFFFF0u);
    huge.At(40);
    const std::size_t later = huge.Read(0x3304, 4);
    ProcessBlock(huge.data(), space, {});
    EXPECT_EQ(huge.U32(later), 0u);
}

TEST(ProcessBlockTest, HeaderRunningPastTheLimitEndsProcessing) {
    OffsetSpace space;
    BlockBuilder chain;
    chain.Write(0x4000, std::vector<std::uint8_t>(12, 0x11));  // 24 bytes
    for (int i = 0; i < 2030; ++i) {
        chain.Write(0x4000, {1, 2, 3, 4});  // 16 bytes each, up to 32504
    }
    // A write header at 32504 would run to 32516: it is not carried out.
    chain.Write(0x5000, {});
    int writes = 0;
    std::uint32_t lastOffset = 0;
    ProcessBlock(chain.data(), space, [&](const WriteRecord& w) {
        ++writes;
        lastOffset = w.offset;
    });
    EXPECT_EQ(writes, 2031);
    EXPECT_EQ(lastOffset, 0x4000u);
}

TEST(ProcessBlockTest, OffsetsNearTheTopOfTheSpace) {
    OffsetSpace space;
    BlockBuilder b;
    b.Write(0xFFFE, {0xA1, 0xA2, 0xA3, 0xA4});
    const std::size_t read = b.Read(0xFFFE, 4);
    const std::size_t outside = b.Read(0xFFFFFFF0u, 4);
    std::vector<WriteRecord> writes;
    ProcessBlock(b.data(), space, [&](const WriteRecord& w) { writes.push_back(w); });
    EXPECT_EQ(b.U32(read), 0x0000A2A1u);
    EXPECT_EQ(b.U32(outside), 0u);
    EXPECT_EQ(space.ReadU16(0), 0);
    ASSERT_EQ(writes.size(), 1u);  // still reported as received
    EXPECT_EQ(writes[0].data.size(), 4u);
}

}  // namespace
}  // namespace skyfault::sim
