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

// The link's tests prove the laid-out block, the exact limit and hostile
// replies through LinkRead/LinkWrite/LinkProcess; here only what they cannot reach.
TEST(RequestBlockTest, SizesThatWouldWrap32BitsAreRefused) {
    Block block{};
    RequestBlock huge(block.data());
    EXPECT_FALSE(huge.AppendRead(0, 0xFFFFFFFFu, 1));
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
