#include "link/codec.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

namespace skyfault::link {
namespace {

using Block = std::array<std::uint8_t, kBlockSize>;

std::vector<std::uint8_t> Bytes(std::initializer_list<int> values) {
    std::vector<std::uint8_t> out;
    for (int v : values) {
        out.push_back(static_cast<std::uint8_t>(v));
    }
    return out;
}

TEST(RequestBlockTest, BuildsTheExampleBlockByteForByte) {
    Block block;
    block.fill(0xAA);
    RequestBlock queue(block.data());
    const std::uint8_t one = 0x01;
    ASSERT_TRUE(queue.AppendRead(0x3304, 4, 0xD1D1D1D1));
    ASSERT_TRUE(queue.AppendWrite(0x0B64, 1, &one));
    EXPECT_EQ(queue.Used(), 33u);
    // Space needed when the third request is queued: 33 + 4 + (4 + 16).
    EXPECT_EQ(queue.SpaceNeeded(kReadHeaderSize, 4), 57u);
    ASSERT_TRUE(queue.AppendRead(0x3308, 4, 0xD2D2D2D2));
    EXPECT_EQ(queue.Used(), 53u);
    EXPECT_EQ(block[53], 0xAA) << "no terminator before the block is sent";

    const auto sent = queue.Terminate();
    const auto expected = Bytes({
        0x01, 0x00, 0x00, 0x00, 0x04, 0x33, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00,  // read hdr
        0xD1, 0xD1, 0xD1, 0xD1, 0x00, 0x00, 0x00, 0x00,                          // D1, data
        0x02, 0x00, 0x00, 0x00, 0x64, 0x0B, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00,  // write hdr
        0x01,                                                                    // value
        0x01, 0x00, 0x00, 0x00, 0x08, 0x33, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00,  // read hdr
        0xD2, 0xD2, 0xD2, 0xD2, 0x00, 0x00, 0x00, 0x00,                          // D2, data
        0x00, 0x00, 0x00, 0x00,                                                  // terminator
    });
    ASSERT_EQ(expected.size(), 57u);
    EXPECT_EQ(std::vector<std::uint8_t>(block.begin(), block.begin() + 57), expected);
    EXPECT_EQ(block[57], 0xAA) << "nothing written past the terminator";

    EXPECT_TRUE(queue.Empty());
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0].kind, RecordKind::kRead);
    EXPECT_EQ(sent[0].destination, 0xD1D1D1D1u);
    EXPECT_EQ(sent[1].kind, RecordKind::kWrite);
    EXPECT_EQ(sent[1].size, 1u);
    EXPECT_EQ(sent[2].destination, 0xD2D2D2D2u);
}

TEST(RequestBlockTest, SpaceLimitIsInclusiveAndARefusalChangesNothing) {
    Block block{};
    RequestBlock queue(block.data());
    // 4 (terminator) + 16 + 32492 = 32512 exactly.
    EXPECT_FALSE(queue.AppendRead(0, 32493, 1));
    EXPECT_TRUE(queue.Empty());
    EXPECT_TRUE(queue.AppendRead(0, 32492, 1));
    EXPECT_EQ(queue.Used(), 32508u);
    EXPECT_FALSE(queue.AppendWrite(0, 0, nullptr)) << "even a bare header no longer fits";
    EXPECT_EQ(queue.Used(), 32508u);
    EXPECT_EQ(queue.Records().size(), 1u);

    RequestBlock writes(block.data());
    EXPECT_TRUE(writes.AppendWrite(0, 32496, nullptr));  // 4 + 12 + 32496 = 32512
    RequestBlock huge(block.data());
    EXPECT_FALSE(huge.AppendRead(0, 0xFFFFFFFFu, 1)) << "a size that would wrap 32 bits";
    EXPECT_FALSE(huge.AppendWrite(0, 0xFFFFFFF8u, nullptr));
    EXPECT_TRUE(huge.Empty());
}

TEST(RequestBlockTest, NoBufferRefusesEverything) {
    RequestBlock queue;
    EXPECT_FALSE(queue.AppendRead(0, 4, 1));
    EXPECT_FALSE(queue.AppendWrite(0, 0, nullptr));
    EXPECT_TRUE(queue.Terminate().empty());
}

struct Delivery {
    std::uint32_t key;
    std::vector<std::uint8_t> value;
};

class ScanTest : public ::testing::Test {
protected:
    void SetUp() override {
        block_.fill(0);
        RequestBlock queue(block_.data());
        const std::uint16_t value = 0x1234;
        queue.AppendRead(0x10, 2, 7);        // at 0, data at 16
        queue.AppendWrite(0x20, 2, &value);  // at 18
        queue.AppendRead(0x30, 4, 9);        // at 32, data at 48
        queue.AppendRead(0x40, 1, 0);        // at 52: no destination
        sent_ = queue.Terminate();           // terminator at 69
        block_[16] = 0x11;
        block_[17] = 0x22;
        block_[48] = 0xA1;
        block_[51] = 0xA4;
        block_[68] = 0x55;
    }
    ScanOutcome Scan() {
        deliveries_.clear();
        return ScanReply(
            block_.data(), sent_,
            [this](std::uint32_t key, const std::uint8_t* data, std::uint32_t size) {
                deliveries_.push_back({key, std::vector<std::uint8_t>(data, data + size)});
            });
    }
    Block block_;
    std::vector<QueuedRecord> sent_;
    std::vector<Delivery> deliveries_;
};

TEST_F(ScanTest, DeliversReadsInOrderAndSkipsNullDestinations) {
    EXPECT_EQ(Scan(), ScanOutcome::kComplete);
    ASSERT_EQ(deliveries_.size(), 2u);
    EXPECT_EQ(deliveries_[0].key, 7u);
    EXPECT_EQ(deliveries_[0].value, Bytes({0x11, 0x22}));
    EXPECT_EQ(deliveries_[1].key, 9u);
    EXPECT_EQ(deliveries_[1].value, Bytes({0xA1, 0, 0, 0xA4}));
}

TEST_F(ScanTest, KindIsTakenFromTheLow16Bits) {
    PutLe32(&block_[0], 0xABCD0001);
    EXPECT_EQ(Scan(), ScanOutcome::kComplete);
    EXPECT_EQ(deliveries_.size(), 2u);
}

TEST_F(ScanTest, StopsAtTheFirstUntrustworthyRecord) {
    struct Case {
        const char* what;
        std::size_t at;
        std::uint32_t value;
        std::size_t delivered;
    };
    const Case cases[] = {
        {"unknown kind", 32, 3, 1},
        {"kind changed from read to write", 32, 2, 1},
        {"premature end", 32, 0, 1},
        {"read size changed", 40, 3, 1},
        {"write size changed", 26, 1, 1},
        {"runaway size", 40, 0x7FFFFFFF, 1},
        {"destination key changed", 44, 8, 1},
        {"key given to a null destination", 64, 1, 2},
        {"first record broken", 8, 0xFFFFFFFF, 0},
        {"terminator overwritten", 69, 1, 2},
    };
    for (const Case& c : cases) {
        SetUp();
        PutLe32(&block_[c.at], c.value);
        EXPECT_EQ(Scan(), ScanOutcome::kBadData) << c.what;
        EXPECT_EQ(deliveries_.size(), c.delivered) << c.what;
    }
}

TEST(ScanReplyTest, NeverLooksPastTheSpaceLimit) {
    // A batch that fills the block to the limit: the terminator sits at 32508.
    Block block{};
    RequestBlock queue(block.data());
    ASSERT_TRUE(queue.AppendRead(0, 32492, 5));
    const auto sent = queue.Terminate();
    int delivered = 0;
    const auto count = [&delivered](std::uint32_t, const std::uint8_t*, std::uint32_t) {
        ++delivered;
    };
    // Bytes past the limit are not the scan's business.
    std::fill(block.begin() + kBlockSpaceLimit, block.end(), 0xFF);
    EXPECT_EQ(ScanReply(block.data(), sent, count), ScanOutcome::kComplete);
    EXPECT_EQ(delivered, 1);

    // A record list that claims more than the block holds stops before reading it.
    std::vector<QueuedRecord> bogus{{RecordKind::kRead, 32497, 5}};  // 16 + 32497 = 32513
    PutLe32(&block[8], 32497);
    EXPECT_EQ(ScanReply(block.data(), bogus, count), ScanOutcome::kBadData);
    EXPECT_EQ(delivered, 1);
}

}  // namespace
}  // namespace skyfault::link
