#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/manual_timer.h"

namespace skyfault::engine {
namespace {

struct Recorder {
    std::vector<std::string> ticks;
    ManualClock* clock = nullptr;
    std::function<void()> Tick(std::string name) {
        return [this, name] { ticks.push_back(name + "@" + std::to_string(clock->Now())); };
    }
};

TEST(ManualClockTest, FirstTickOneFullPeriodAfterEnablingThenEveryPeriod) {
    ManualClock clock;
    Recorder rec{{}, &clock};
    auto t = clock.CreateTimer();
    EXPECT_FALSE(t->Enabled());
    t->SetInterval(1000);
    t->SetCallback(rec.Tick("a"));
    clock.Advance(500);
    t->SetEnabled(true);
    clock.Advance(999);
    EXPECT_TRUE(rec.ticks.empty());
    clock.Advance(1);
    clock.Advance(2000);
    EXPECT_EQ(rec.ticks, (std::vector<std::string>{"a@1500", "a@2500", "a@3500"}));
}

TEST(ManualClockTest, EnablingAgainKeepsTheWaitChangingThePeriodRestartsIt) {
    ManualClock clock;
    Recorder rec{{}, &clock};
    auto t = clock.CreateTimer();
    t->SetInterval(1000);
    t->SetCallback(rec.Tick("a"));
    t->SetEnabled(true);
    clock.Advance(600);
    t->SetEnabled(true);  // no restart
    clock.Advance(400);
    ASSERT_EQ(rec.ticks, (std::vector<std::string>{"a@1000"}));
    clock.Advance(300);
    t->SetInterval(1000);  // same period, still a restart
    clock.Advance(999);
    EXPECT_EQ(rec.ticks.size(), 1u);
    clock.Advance(1);
    EXPECT_EQ(rec.ticks.back(), "a@2300");
    // Disabled, a new period is only kept; re-enabling waits a full period.
    t->SetEnabled(false);
    t->SetInterval(200);
    clock.Advance(1000);
    EXPECT_EQ(rec.ticks.size(), 2u);
    t->SetEnabled(true);
    clock.Advance(200);
    EXPECT_EQ(rec.ticks.back(), "a@3500");
}

TEST(ManualClockTest, DueTicksFireInTimeOrderThenSchedulingOrderAndHandlersMayRetimeOthers) {
    ManualClock clock;
    Recorder rec{{}, &clock};
    auto a = clock.CreateTimer();
    auto b = clock.CreateTimer();
    auto c = clock.CreateTimer();
    auto z = clock.CreateTimer();
    a->SetInterval(300);
    b->SetInterval(200);
    c->SetInterval(200);
    z->SetInterval(0);  // never ticks
    a->SetCallback([&] {
        rec.ticks.push_back("a@" + std::to_string(clock.Now()));
        b->SetEnabled(false);
        c->SetEnabled(false);
    });
    b->SetCallback(rec.Tick("b"));
    c->SetCallback(rec.Tick("c"));
    z->SetCallback(rec.Tick("z"));
    c->SetEnabled(true);
    b->SetEnabled(true);
    a->SetEnabled(true);
    z->SetEnabled(true);
    clock.Advance(1000);
    // c and b tick at 200 as scheduled; a at 300 stops them; a goes on alone.
    EXPECT_EQ(rec.ticks, (std::vector<std::string>{"c@200", "b@200", "a@300", "a@600", "a@900"}));
    EXPECT_EQ(clock.Now(), 1000);
}

TEST(ManualClockTest, TimeOfDayFollowsTheClockAndWrapsAtMidnight) {
    ManualClock clock(86399.5);
    EXPECT_DOUBLE_EQ(clock.SecondsSinceMidnight(), 86399.5);
    clock.Advance(250);
    EXPECT_DOUBLE_EQ(clock.SecondsSinceMidnight(), 86399.75);
    clock.Advance(1000);
    EXPECT_DOUBLE_EQ(clock.SecondsSinceMidnight(), 0.75);
    // A timer destroyed before its due time never fires.
    int ticks = 0;
    auto t = clock.CreateTimer();
    t->SetInterval(10);
    t->SetCallback([&] { ++ticks; });
    t->SetEnabled(true);
    t.reset();
    clock.Advance(100);
    EXPECT_EQ(ticks, 0);
}

TEST(SeededRandomTest, SameSeedSameSequenceInRangeAndNeighbouringSeedsDiffer) {
    SeededRandom a(36000.0);
    SeededRandom b(36000.0);
    SeededRandom c(36000.001);
    int same = 0;
    for (int i = 0; i < 1000; ++i) {
        const double x = a.Next();
        ASSERT_GE(x, 0.0);
        ASSERT_LT(x, 1.0);
        ASSERT_EQ(x, b.Next());
        same += x == c.Next() ? 1 : 0;
    }
    EXPECT_EQ(same, 0);
}

}  // namespace
}  // namespace skyfault::engine
