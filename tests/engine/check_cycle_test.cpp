// The failure check cycle, on the manual clock against the in-process server.

#include <array>
#include <string>

#include "tests/support/engine_fixture.h"

namespace skyfault::engine::testing {
namespace {

using system_id::kPitot;

TEST(ExaminationOrderTest, EveryTickIsAPermutationAndEachSystemComesFirstFairly) {
    SeededRandom random;
    std::array<int, kSystemCount> first{};
    constexpr int kTicks = 10000;
    for (int tick = 0; tick < kTicks; ++tick) {
        random.Seed(36000.0 + tick * 60.0);  // re-seeded per tick from the time of day
        const auto order = DrawExaminationOrder(random);
        std::array<bool, kSystemCount> seen{};
        for (int id : order) {
            ASSERT_FALSE(seen[id]) << "system " << id << " examined twice";
            seen[id] = true;
        }
        ++first[order[0]];
    }
    // 400 expected per system; a fair order stays well within +-25 %.
    for (int id = 0; id < kSystemCount; ++id) {
        EXPECT_GT(first[id], 300) << id;
        EXPECT_LT(first[id], 500) << id;
    }
}

TEST_F(EngineTest, OneAllowedSystemWithRateOneFailsOneFullPeriodAfterActivation) {
    WriteConfig("Activated=0\r\n");
    StartWithOnly(kPitot, kAlwaysList);
    clock.Advance(10000);
    engine->cmdActivate_Click();
    clock.Advance(59999);
    EXPECT_EQ(FailedCount(), 0);
    EXPECT_TRUE(server.Log().empty());
    clock.Advance(1);
    EXPECT_FALSE(state().window.chkFailureTypeEnabled[kPitot]);
    EXPECT_EQ(FailedCount(), 1);
    EXPECT_EQ(state().settings.allowed[kPitot], 1);  // the box stays checked
}

TEST_F(EngineTest, AHitReadsTemperatureAirspeedAndGroundInSeparateExchangesThenWrites) {
    StartWithOnly(kPitot, kAlwaysList);
    NextCheck();
    const auto& log = server.Log();
    ASSERT_EQ(log.size(), 4u);
    const std::array<std::pair<std::uint32_t, std::uint32_t>, 3> reads = {
        {{0x0E8C, 2}, {0x02BC, 4}, {0x0B4C, 2}}};
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(log[i].kind, test_support::Access::Kind::kRead);
        EXPECT_EQ(log[i].offset, reads[i].first);
        EXPECT_EQ(log[i].size, reads[i].second);
        EXPECT_EQ(log[i].send, log[0].send + static_cast<int>(i));
    }
    EXPECT_EQ(log[3].kind, test_support::Access::Kind::kWrite);
    EXPECT_EQ(log[3].offset, 0x0B71u);
    EXPECT_EQ(log[3].size, 1u);
    EXPECT_EQ(ValueOf(log[3]), 1u);
    EXPECT_EQ(log[3].send, log[2].send + 1);
}

TEST_F(EngineTest, TicksWithoutAHitMakeNoExchangeAndEachReseedsFromTheTimeOfDay) {
    StartWithOnly(kPitot, "65000,0,999,-50,100,-999,99999,C");
    const int sends = server.Sends();
    for (int i = 0; i < 20; ++i) {
        NextCheck();
    }
    EXPECT_EQ(server.Sends(), sends);
    EXPECT_EQ(FailedCount(), 0);
    ASSERT_EQ(random.seeds.size(), 20u);
    EXPECT_DOUBLE_EQ(random.seeds[0], 36060.0);
    EXPECT_DOUBLE_EQ(random.seeds[1], 36120.0);
}

TEST_F(EngineTest, GreyedBoxesAndRatesThatAreNoNumberAreNeverDrawnFor) {
    StartWithOnly(kPitot, kAlwaysList);
    engine->SetAllowed(kPitot, 2);  // greyed counts as not allowed
    NextCheck();
    EXPECT_EQ(FailedCount(), 0);
    for (const std::string rate : {"", "abc", "12abc", "1 2"}) {
        engine->settings().systemStr[kPitot] = rate + ",0,999,-50,100,-999,99999,C";
        engine->SetAllowed(kPitot, 1);
        for (int i = 0; i < 30; ++i) {
            NextCheck();
        }
        EXPECT_EQ(FailedCount(), 0) << rate;
    }
    EXPECT_TRUE(server.Log().empty());
    EXPECT_EQ(state().window.txtMessage.text, "Skyfault Activated");
    for (const std::string rate : {"0", "0.5", " 1 "}) {  // these always hit
        engine.reset();
        link.LinkClose();
        StartWithOnly(kPitot, rate + ",0,999,-50,100,-999,99999,C");
        NextCheck();
        EXPECT_EQ(FailedCount(), 1) << rate;
    }
}

TEST_F(EngineTest, WhenEverySystemWouldPassExactlyOneFailsAndIsNeverDrawnAgain) {
    Start();
    for (auto& list : engine->settings().systemStr) {
        list = kAlwaysList;
    }
    NextCheck();
    EXPECT_EQ(FailedCount(), 1);
    NextCheck();
    EXPECT_EQ(FailedCount(), 2);
    engine.reset();
    link.LinkClose();
    StartWithOnly(kPitot, kAlwaysList);
    NextCheck();
    ASSERT_EQ(FailedCount(), 1);
    server.ClearLog();
    for (int i = 0; i < 10; ++i) {
        NextCheck();
    }
    EXPECT_TRUE(server.Log().empty());
}

TEST_F(EngineTest, WindowsThatDoNotHoldAfterAHitSpendTheChanceOfThisTick) {
    StartWithOnly(kPitot, "1,121,999,-50,100,-999,99999,C");  // 120 kt is below
    NextCheck();
    engine->settings().systemStr[kPitot] = "1,999,0,-50,100,-999,99999,C";  // inverted window
    for (int i = 0; i < 5; ++i) {
        NextCheck();
    }
    EXPECT_EQ(FailedCount(), 0);
    EXPECT_EQ(server.Reads().size(), 18u);  // all three are read at every hit
    EXPECT_TRUE(server.Writes().empty());
}

struct WindowCase {
    const char* name;
    std::uint32_t offset;
    std::uint32_t size;
    std::uint32_t raw;
    const char* list;
    bool fails;
};

class WindowBoundsTest : public EngineTest, public ::testing::WithParamInterface<WindowCase> {};

TEST_P(WindowBoundsTest, BoundsAreInclusiveAndCompareConvertedValues) {
    const WindowCase& c = GetParam();
    StartWithOnly(kPitot, c.list);
    if (c.size == 2) {
        server.Space().WriteU16(c.offset, static_cast<std::uint16_t>(c.raw));
    } else {
        server.Space().WriteU32(c.offset, c.raw);
    }
    NextCheck();
    EXPECT_EQ(FailedCount(), c.fails ? 1 : 0);
}

// Starting values elsewhere: 120 kt, 15 degrees C, 100 m (328 ft). Airspeeds
// round half to even, temperatures keep their fraction, the ground altitude
// is unsigned metres times 3.28.
INSTANTIATE_TEST_SUITE_P(
    Windows, WindowBoundsTest,
    ::testing::Values(
        WindowCase{"IasEqualBounds", 0x02BC, 4, 120 * 128, "1,120,120,-50,100,-999,99999,C", true},
        WindowCase{"IasAboveWindow", 0x02BC, 4, 120 * 128, "1,100,119,-50,100,-999,99999,C", false},
        WindowCase{"Ias2Point5Is2", 0x02BC, 4, 320, "1,2,2,-50,100,-999,99999,C", true},
        WindowCase{"Ias3Point5Is4", 0x02BC, 4, 448, "1,4,4,-50,100,-999,99999,C", true},
        WindowCase{"Ias1Point5Is2", 0x02BC, 4, 192, "1,2,2,-50,100,-999,99999,C", true},
        WindowCase{"Ias2Point5Not3", 0x02BC, 4, 320, "1,3,3,-50,100,-999,99999,C", false},
        WindowCase{"OatMinusOne", 0x0E8C, 2, 0xFF00, "1,0,999,-1,-1,-999,99999,C", true},
        WindowCase{"OatMinus128", 0x0E8C, 2, 0x8000, "1,0,999,-128,-128,-999,99999,C", true},
        WindowCase{"OatFractionKept", 0x0E8C, 2, 0x1280, "1,0,999,18.5,18.5,-999,99999,C", true},
        WindowCase{"OatFractionOutside", 0x0E8C, 2, 0x1280, "1,0,999,18.6,30,-999,99999,C", false},
        WindowCase{"GroundNeverNegative", 0x0B4C, 2, 0xFFFF, "1,0,999,-50,100,214954.8,214954.8,C",
                   true},
        WindowCase{"GroundDecimalProduct", 0x0B4C, 2, 7, "1,0,999,-50,100,22.96,22.96,C", true},
        WindowCase{"Ground1000m", 0x0B4C, 2, 1000, "1,0,999,-50,100,3280,3280,C", true},
        WindowCase{"GroundBelowWindow", 0x0B4C, 2, 1000, "1,0,999,-50,100,3281,99999,C", false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace skyfault::engine::testing
