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

// The pause check shows its code when the code is new, so that a message
// put into the status line since stays readable.
TEST_F(EngineTest, ThePauseCheckShowsAFailuresCodeOnceNotEverySecond) {
    server.SetWindowClass("");
    WriteConfig("PauseWithSim=1\r\nActivated=0\r\n");
    Start();
    const std::string& status = state().window.txtMessage.text;
    struct Step {
        const char* what;
        std::int32_t sendError;  // -1: no server window at all
        const char* shown;
    };
    const Step steps[] = {
        {"link not open: the first failed check", -1, "9"},
        {"the same code again", -1, "message"},
        {"another code", static_cast<std::int32_t>(test_support::kInvalidWindowError), "12"},
        {"the same code again", static_cast<std::int32_t>(test_support::kInvalidWindowError),
         "message"},
        {"a check that works", 0, "message"},
        {"the code after a check that worked",
         static_cast<std::int32_t>(test_support::kInvalidWindowError), "12"},
    };
    for (const Step& step : steps) {
        if (step.sendError >= 0 && !link.IsOpen()) {
            server.SetWindowClass(test_support::kFsuipcClass);
            std::int32_t result = 0;
            ASSERT_TRUE(link.LinkOpen(0, result));
        }
        server.SetSendFailure(static_cast<std::uint32_t>(step.sendError),
                              step.sendError > 0 ? -1 : 0);
        engine->SetStatusText("message");
        clock.Advance(3000);
        EXPECT_EQ(status, step.shown) << step.what;
    }
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
