// Failing a system, the continuing failures and the notifications.

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/engine_fixture.h"

namespace skyfault::engine::testing {
namespace {

using Kind = test_support::Access::Kind;
using Bytes = std::vector<std::uint8_t>;

using namespace skyfault::system_id;

class FailureTest : public EngineTest {
protected:
    void SetUp() override {
        Start();
        engine->SetPauseWithSim(0);  // no pause reads in the log
        server.ClearLog();
        sound.commands.clear();
    }
    void Notify(bool visual, bool audio) {
        engine->settings().visualNotify = visual;
        engine->settings().audioNotify = audio;
    }
};

TEST_F(FailureTest, WritesTheSystemsOwnOffsetSizeAndValueAndArmsContinuingFailures) {
    for (int id : {kVerticalSpeedIndicator, kEngine2, kCenterTank, kPitot}) {
        engine->FailSystem(id);
        EXPECT_FALSE(state().window.chkFailureTypeEnabled[id]);
    }
    const auto writes = server.Writes();
    ASSERT_EQ(writes.size(), 4u);
    EXPECT_TRUE(server.Reads().empty());
    EXPECT_EQ(writes[0].offset, 0x0B6Eu);  // not in id order: the simulator's own flags
    EXPECT_EQ(writes[0].bytes, Bytes{1});
    EXPECT_EQ(writes[1].offset, 0x0928u);
    EXPECT_EQ(writes[1].bytes, (Bytes{0, 0}));
    EXPECT_EQ(writes[2].offset, 0x0BACu);
    EXPECT_EQ(writes[2].bytes, Bytes{1});
    EXPECT_EQ(writes[3].offset, 0x0B71u);
    EXPECT_EQ(state().continuing.tankLeak, (std::array<bool, 3>{false, false, true}));
    EXPECT_EQ(state().continuing.engineOut, (std::array<bool, 4>{false, true, false, false}));
    EXPECT_TRUE(timer(TimerId::EngineOut).Enabled());
    EXPECT_TRUE(timer(TimerId::FuelLeak).Enabled());
}

TEST_F(FailureTest, GearAndFlapsWriteBackWhatTheyReadOnlyWhenMoved) {
    server.Space().WriteU32(0x0BE8, 16383);
    server.Space().WriteU32(0x0BDC, 0xFFFFFF00);  // negative positions survive
    engine->FailSystem(kLandingGear);
    engine->FailSystem(kFlaps);
    const auto& log = server.Log();
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[0].kind, Kind::kRead);
    EXPECT_EQ(log[1].kind, Kind::kWrite);
    EXPECT_EQ(log[1].offset, 0x0BE8u);
    EXPECT_EQ(log[1].size, 4u);
    EXPECT_EQ(ValueOf(log[1]), 16383u);
    EXPECT_EQ(log[3].offset, 0x0BDCu);
    EXPECT_EQ(ValueOf(log[3]), 0xFFFFFF00u);

    server.ClearLog();
    clock.Advance(3000);  // nobody moved anything: reads only
    EXPECT_EQ(server.Reads().size(), 2u);
    EXPECT_TRUE(server.Writes().empty());
    // A position that could not be read is not written over, though the
    // write would go through: the gear's read fails, the flaps' works.
    server.SetSendFailure(test_support::kInvalidWindowError, link::Link::kSendAttempts);
    clock.Advance(3000);
    EXPECT_EQ(server.Reads().size(), 3u);
    EXPECT_TRUE(server.Writes().empty());
    server.Space().WriteU32(0x0BE8, 0);  // the pilot lowers the lever
    clock.Advance(3000);
    ASSERT_EQ(server.Writes().size(), 1u);
    EXPECT_EQ(server.Space().ReadU32(0x0BE8), 16383u);
}

TEST_F(FailureTest, FailedEnginesAreCutOffEveryTwoSecondsInEngineOrder) {
    engine->FailSystem(kEngine3);
    engine->FailSystem(kEngine1);
    server.ClearLog();
    clock.Advance(1999);
    EXPECT_TRUE(server.Log().empty());
    clock.Advance(1);
    server.Space().WriteU16(0x0890, 16384);  // the pilot pushes the mixture
    clock.Advance(2000);
    const auto& log = server.Log();
    ASSERT_EQ(log.size(), 4u);
    const std::uint32_t expected[] = {0x0890, 0x09C0, 0x0890, 0x09C0};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(log[i].kind, Kind::kWrite);
        EXPECT_EQ(log[i].offset, expected[i]);
        EXPECT_EQ(log[i].bytes, (Bytes{0, 0}));
    }
}

TEST_F(FailureTest, ATankAtOneStepLeaksOneMoreTickBelowItStopsAtOnce) {
    server.Space().WriteU32(0x0B7C, 65536);
    server.Space().WriteU32(0x0B94, 65535);
    engine->FailSystem(kLeftTank);
    engine->FailSystem(kRightTank);
    // A level that could not be read is no empty tank, though the write
    // would go through: the left tank's first tick does nothing.
    server.SetSendFailure(test_support::kInvalidWindowError, link::Link::kSendAttempts);
    clock.Advance(3000);  // the designed leak period before any setting
    EXPECT_EQ(server.Space().ReadU32(0x0B7C), 65536u);
    EXPECT_EQ(server.Space().ReadU32(0x0B94), 0u);
    EXPECT_EQ(state().continuing.tankLeak, (std::array<bool, 3>{true, false, false}));
    clock.Advance(3000);
    EXPECT_EQ(server.Space().ReadU32(0x0B7C), 0u);
    EXPECT_EQ(state().continuing.tankLeak, (std::array<bool, 3>{true, false, false}));
    EXPECT_TRUE(timer(TimerId::FuelLeak).Enabled());
    server.ClearLog();
    clock.Advance(3000);
    EXPECT_FALSE(state().continuing.tankLeak[0]);
    EXPECT_FALSE(timer(TimerId::FuelLeak).Enabled());  // no tank leaks any more
    ASSERT_EQ(server.Writes().size(), 1u);
    EXPECT_EQ(server.Writes()[0].offset, 0x0B7Cu);
}

TEST_F(FailureTest, TheLeakPeriodFollowsTheLeakSpeed) {
    engine->SetFuelLeakSpeed(2);
    EXPECT_EQ(timer(TimerId::FuelLeak).Interval(), 1000);
    server.Space().WriteU32(0x0B74, 100 * 65536 + 5);
    engine->FailSystem(kCenterTank);
    clock.Advance(5000);
    EXPECT_EQ(server.Space().ReadU32(0x0B74), 95u * 65536 + 5);
    engine->SetFuelLeakSpeed(0);
    clock.Advance(6999);
    EXPECT_EQ(server.Space().ReadU32(0x0B74), 95u * 65536 + 5);
    clock.Advance(1);
    EXPECT_EQ(server.Space().ReadU32(0x0B74), 94u * 65536 + 5);
}

TEST_F(FailureTest, ContinuingFailuresGoOnAfterDisableAndDuringAPause) {
    engine->SetPauseWithSim(1);
    server.Space().WriteU32(0x0B7C, 50 * 65536);
    server.Space().WriteU32(0x0BE8, 0);
    engine->FailSystem(kEngine1);
    engine->FailSystem(kLeftTank);
    engine->FailSystem(kLandingGear);
    engine->cmdDisable_Click();
    server.Space().WriteU16(0x0264, 1);
    server.Space().WriteU32(0x0BE8, 16383);
    server.ClearLog();
    clock.Advance(6000);
    EXPECT_EQ(state().window.txtMessage.text, "Simulator Paused");
    EXPECT_EQ(server.Space().ReadU32(0x0B7C), 48u * 65536);
    EXPECT_EQ(server.Space().ReadU32(0x0BE8), 0u);
    const auto mixtureWrites = [this] {
        const auto writes = server.Writes();
        return std::count_if(writes.begin(), writes.end(),
                             [](const auto& w) { return w.offset == 0x0890; });
    };
    EXPECT_EQ(mixtureWrites(), 3);

    // The server goes away for a while and comes back: every continuing
    // failure goes on as before, and no leak has ended for good.
    server.SetWindowClass("");
    clock.Advance(9000);
    EXPECT_EQ(state().continuing.tankLeak, (std::array<bool, 3>{true, false, false}));
    server.SetWindowClass(test_support::kFsuipcClass);
    server.Space().WriteU32(0x0BE8, 16383);
    server.ClearLog();
    clock.Advance(6000);
    EXPECT_EQ(server.Space().ReadU32(0x0B7C), 46u * 65536);
    EXPECT_EQ(server.Space().ReadU32(0x0BE8), 0u);
    EXPECT_EQ(mixtureWrites(), 3);
}

// Failures due while the server is away: the check cycle's reads deliver 0,
// the windows pass and FailSystem runs, but its write fails. Nothing of such
// a failure remains, nothing is written once the server is back, and the
// system fails for real at a later check.
TEST_F(FailureTest, AFailureNotWrittenLeavesNothingBehindAndStaysEligible) {
    struct Outage {
        const char* name;
        std::function<void()> begin;
        std::function<void()> end;
        const char* status;
    };
    const Outage outages[] = {
        {"link closed", [this] { link.LinkClose(); },
         [this] {
             std::int32_t result = 0;
             ASSERT_TRUE(link.LinkOpen(0, result));
         },
         "Error in Write: 9"},
        {"server gone", [this] { server.SetWindowClass(""); },
         [this] { server.SetWindowClass(test_support::kFsuipcClass); }, "Error in Process: 12"},
    };
    for (const Outage& outage : outages) {
        for (int id : {kEngine2, kLandingGear, kFlaps, kLeftTank, kPitot}) {
            SCOPED_TRACE(std::string(outage.name) + ", system " + std::to_string(id));
            engine.reset();
            link.LinkClose();
            StartWithOnly(id, kAlwaysList);
            Notify(true, true);
            sound.commands.clear();
            auto& space = server.Space();
            space.WriteU32(0x0BE8, 16383);  // gear down
            space.WriteU32(0x0BDC, 8191);   // flaps half out
            space.WriteU32(0x0B7C, 50 * 65536);
            space.WriteU16(0x0928, 16384);  // mixture rich

            outage.begin();
            NextCheck();
            EXPECT_EQ(state().window.txtMessage.text, outage.status);
            EXPECT_EQ(state().window.txtMessage.colour, TextColour::Black);
            EXPECT_TRUE(state().window.chkFailureTypeEnabled[id]);
            EXPECT_TRUE(sound.commands.empty());
            const ContinuingFailureState& c = state().continuing;
            EXPECT_EQ(c.engineOut, (std::array<bool, 4>{}));
            EXPECT_EQ(c.tankLeak, (std::array<bool, 3>{}));
            for (TimerId t :
                 {TimerId::EngineOut, TimerId::FuelLeak, TimerId::GearStuck, TimerId::FlapsStuck}) {
                EXPECT_FALSE(timer(t).Enabled()) << static_cast<int>(t);
            }

            // Back, with the system kept from failing: nothing is written.
            engine->SetAllowed(id, 0);
            outage.end();
            server.ClearLog();
            clock.Advance(12000);
            EXPECT_TRUE(server.Writes().empty());
            EXPECT_EQ(space.ReadU32(0x0BE8), 16383u);
            EXPECT_EQ(space.ReadU32(0x0BDC), 8191u);
            EXPECT_EQ(space.ReadU32(0x0B7C), 50u * 65536);
            EXPECT_EQ(space.ReadU16(0x0928), 16384u);

            engine->SetAllowed(id, 1);
            NextCheck();
            EXPECT_FALSE(state().window.chkFailureTypeEnabled[id]);
            EXPECT_EQ(state().window.txtMessage.text,
                      "Failure: " + std::string(Catalogue()[id].caption));
        }
    }
}

TEST_F(FailureTest, NotificationTextIsRedAndShownBeforeTheSoundWhichFollowsItsSetting) {
    Notify(true, true);
    auto& settings = engine->settings();
    settings.defaultSound = "C:\\default.wav";
    settings.soundFiles[kEngine1] = "C:\\engine1.wav";
    settings.soundFiles[kEngine2] = "undefined";  // only exact "Undefined" means none
    std::vector<std::string> seen;
    engine->SetChangedCallback([&] {
        seen.push_back(state().window.txtMessage.text + "|" +
                       std::to_string(sound.commands.size()));
    });
    engine->FailSystem(kEngine2);
    EXPECT_EQ(state().window.txtMessage.colour, TextColour::Red);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.front(), "Failure: Engine 2|0");
    engine->cmdActivate_Click();  // turns it black again
    EXPECT_EQ(state().window.txtMessage.colour, TextColour::Black);

    Notify(false, true);
    engine->SetStatusText("before");
    engine->FailSystem(kEngine1);
    engine->FailSystem(kEngine3);  // "Undefined": the default sound
    EXPECT_EQ(state().window.txtMessage.text, "before");
    EXPECT_EQ(sound.commands, (std::vector<std::string>{"Close", "Open:undefined", "Play", "Close",
                                                        "Open:C:\\engine1.wav", "Play", "Close",
                                                        "Open:C:\\default.wav", "Play"}));
    sound.commands.clear();
    Notify(true, false);
    engine->FailSystem(kLeftTank);
    EXPECT_TRUE(sound.commands.empty());
}

}  // namespace
}  // namespace skyfault::engine::testing
