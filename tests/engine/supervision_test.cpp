// The connection timer and the pause check.

#include <string>

#include "tests/support/engine_fixture.h"

namespace skyfault::engine::testing {
namespace {

TEST_F(EngineTest, TheConnectionIsRetriedEveryFiveSecondsAndTheTimerStopsAfterSuccess) {
    server.SetWindowClass("");
    Start();
    const auto perAttempt = server.WindowQueries().size();
    ASSERT_GT(perAttempt, 0u);
    clock.Advance(4999);
    EXPECT_EQ(server.WindowQueries().size(), perAttempt);
    clock.Advance(1);
    EXPECT_EQ(server.WindowQueries().size(), 2 * perAttempt);
    EXPECT_FALSE(state().window.connectStatus);

    server.SetWindowClass(test_support::kFsuipcClass);
    clock.Advance(5000);
    EXPECT_TRUE(state().window.connectStatus);
    EXPECT_EQ(state().window.title, "Skyfault Connected");
    EXPECT_TRUE(timer(TimerId::CheckConnect).Enabled());
    clock.Advance(5000);
    EXPECT_FALSE(timer(TimerId::CheckConnect).Enabled());
    engine->cmdDisable_Click();  // once connected, Activate does not start it again
    engine->cmdActivate_Click();
    EXPECT_FALSE(timer(TimerId::CheckConnect).Enabled());
}

TEST_F(EngineTest, WithTheLinkDownThePauseCheckShowsCodeNineEverySecond) {
    server.SetWindowClass("");
    WriteConfig("PauseWithSim=1\r\nActivated=0\r\n");
    Start();
    clock.Advance(1000);
    EXPECT_EQ(state().window.txtMessage.text, "9");
    engine->SetStatusText("something else");
    clock.Advance(1000);
    EXPECT_EQ(state().window.txtMessage.text, "9");
    EXPECT_FALSE(state().pausedBySim);
}

class PauseTest : public EngineTest {
protected:
    void SetUp() override {
        WriteConfig("PauseWithSim=1\r\n");
        Start();
    }
    void Pause(std::uint16_t value) { server.Space().WriteU16(0x0264, value); }
};

TEST_F(PauseTest, APauseStopsTheCheckTimerWithinASecondAndTheEndRestartsIt) {
    engine->settings().visualNotify = true;
    engine->FailSystem(12);
    ASSERT_EQ(state().window.txtMessage.colour, TextColour::Red);
    Pause(1);
    clock.Advance(1000);
    EXPECT_FALSE(timer(TimerId::FailureEvent).Enabled());
    EXPECT_TRUE(state().pausedBySim);
    EXPECT_EQ(state().window.txtMessage.text, "Simulator Paused");
    EXPECT_EQ(state().window.txtMessage.colour, TextColour::Black);

    engine->cmdActivate_Click();  // on again until the next pause check
    EXPECT_TRUE(timer(TimerId::FailureEvent).Enabled());
    clock.Advance(1000);
    EXPECT_FALSE(timer(TimerId::FailureEvent).Enabled());

    Pause(2);  // anything but 1 is not paused
    clock.Advance(1000);
    EXPECT_FALSE(state().pausedBySim);
    EXPECT_TRUE(timer(TimerId::FailureEvent).Enabled());
    EXPECT_EQ(state().window.txtMessage.text, "Simulator Active");
    const auto checks = random.seeds.size();  // the next period starts at the restart
    clock.Advance(59999);
    EXPECT_EQ(random.seeds.size(), checks);
    clock.Advance(1);
    EXPECT_EQ(random.seeds.size(), checks + 1);
}

TEST_F(PauseTest, AfterAPauseWhileDisabledTheCheckTimerStaysOff) {
    engine->cmdDisable_Click();
    Pause(1);
    clock.Advance(1000);
    Pause(0);
    clock.Advance(1000);
    EXPECT_EQ(state().window.txtMessage.text, "Simulator Active");
    EXPECT_FALSE(timer(TimerId::FailureEvent).Enabled());
    engine->SetStatusText("x");  // nothing more to say once the pause is over
    clock.Advance(2000);
    EXPECT_EQ(state().window.txtMessage.text, "x");
    engine->SetPauseWithSim(0);  // without pause following nothing reacts
    Pause(1);
    engine->cmdActivate_Click();
    clock.Advance(5000);
    EXPECT_TRUE(timer(TimerId::FailureEvent).Enabled());
    EXPECT_EQ(state().window.txtMessage.text, "Skyfault Activated");
}

}  // namespace
}  // namespace skyfault::engine::testing
