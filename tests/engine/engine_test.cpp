// The engine on the manual clock against the in-process server: start-up,
// saving, the check cycle, failing a system, continuing failures, the
// connection and pause checks, notifications; repair, the Failure Log and its
// file, the limit per flight and the estimate.

#include <algorithm>
#include <array>
#include <map>
#include <string>
#include <vector>

#include "engine/preferences.h"
#include "engine/system_settings.h"
#include "settings/config.h"
#include "settings/regular_file.h"
#include "tests/support/engine_fixture.h"

namespace skyfault::engine::testing {
namespace {

using namespace skyfault::system_id;

TEST_F(EngineTest, FirstStartTimersComeOnAtLoadWithNoPauseCheckAndNothingWritten) {
    Make();
    clock.Advance(60000);  // however long the link's open takes, nothing ticks
    EXPECT_EQ(clock.TickCount(), 0);
    engine->Main();
    EXPECT_FALSE(timer(TimerId::Synchronize).Enabled() || timer(TimerId::FuelLeak).Enabled());
    clock.Advance(59999);  // the first check one full period after the load
    EXPECT_TRUE(random.seeds.empty());
    clock.Advance(1);
    EXPECT_EQ(random.seeds.size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(configPath));
    // The leak speed in use and stored is the one the dialog shows: "Normal".
    EXPECT_EQ(state().settings.fuelLeakOption, 1);
    EXPECT_EQ(state().settings.fuelLeakSpeed, 1);
    EXPECT_EQ(timer(TimerId::FuelLeak).Interval(), 4000);
}

// The file is found once, at start, in the start folder: a save after the
// current folder changed (as Windows' file-open dialog changes it) lands
// there, and nothing is written where the current folder went.
TEST_F(EngineTest, SavesLandInTheStartFolderWhateverTheCurrentFolderBecomes) {
    const std::filesystem::path before = std::filesystem::current_path();
    const std::filesystem::path sounds = folder.path() / "sounds";
    std::filesystem::create_directory(sounds);
    std::filesystem::current_path(folder.path());
    configPath = PathInCurrentFolder(kConfigFileName);
    WriteConfig("Activated=0\r\n");
    Start();
    std::filesystem::current_path(sounds);
    engine->cmdActivate_Click();
    const bool saved = engine->WriteCFG();
    std::filesystem::current_path(before);
    EXPECT_TRUE(saved);
    EXPECT_FALSE(std::filesystem::exists(sounds / "skyfault.cfg"));
    EXPECT_NE(ReadFile(folder.path() / "skyfault.cfg").find("Activated=1\r\n"), std::string::npos);
}

// A file that exists but cannot be used is never replaced unseen: the first
// save keeps it beside the new file and says so.
TEST_F(EngineTest, AFileThatCannotBeUsedIsKeptBesideTheFirstSave) {
    const std::string unusable = "\x01\x02\r\nnot a setting\r\n";
    WriteConfig(unusable);
    Start();
    EXPECT_EQ(Status(),
              ReadErrorMessage("no line of it holds a setting") + "." + std::string(kUnreadNotice));
    SystemSettings systems(*engine);
    EXPECT_TRUE(systems.cmdOKSystemSettings_Click());
    EXPECT_EQ(Status(),
              "Saved. The skyfault.cfg that could not be read is kept as "
              "skyfault.cfg.unread.");
    const std::filesystem::path kept = configPath.string() + ".unread";
    EXPECT_EQ(ReadFile(kept), unusable);
    engine->btnExit_Click();  // kept once: the next save replaces the file
    EXPECT_FALSE(std::filesystem::exists(configPath.string() + ".unread2"));
}

TEST_F(EngineTest, ConfigurationIsAppliedInFileOrderAndAnUnreadableOneSaysWhy) {
    WriteConfig("Frequency=30\r\nActivated=1\r\nActivated=0\r\nFuelLeakSpeed=2\r\n");
    Start();
    EXPECT_EQ(timer(TimerId::FailureEvent).Interval(), 30000);
    EXPECT_EQ(Status(), "Skyfault Disabled");  // the later line wins
    EXPECT_EQ(timer(TimerId::FuelLeak).Interval(), 1000);
    Stop();
    std::filesystem::remove(configPath);
    std::filesystem::create_directories(configPath);  // a folder cannot be read as a file
    Start();
    EXPECT_EQ(Status().rfind(ReadErrorMessage(""), 0), 0u) << Status();
    EXPECT_TRUE(Status().ends_with(kUnreadNotice)) << Status();
    EXPECT_EQ(state().settings.systemStr[0], "1000,0,999,-50,100,-999,99999,D");
    EXPECT_FALSE(engine->WriteCFG());  // the folder is in the way
    std::filesystem::remove(configPath);
    EXPECT_TRUE(engine->WriteCFG());  // nothing left to keep: the error shown is over
    EXPECT_EQ(Status(), "Skyfault Activated");
}

// A save that fails keeps the program and the dialogs open and loses nothing:
// Exit saves everything once saving works again, then closes the link.
TEST_F(EngineTest, ASaveFailureShowsWhyKeepsTheProgramAndTheDialogsOpenAndLosesNothing) {
    Start();
    std::filesystem::create_directories(configPath / "inside");
    engine->settings().systemStr[3] = "7,0,999,-50,100,-999,99999,C";
    engine->btnExit_Click();
    EXPECT_EQ(quits, 0);
    EXPECT_EQ(server.Held(), 4);  // the link stays open
    Preferences prefs(*engine);
    SystemSettings systems(*engine);
    prefs.Show();
    prefs.SetRateText("250");
    EXPECT_FALSE(prefs.cmdPrefsOK_Click());
    EXPECT_TRUE(prefs.visible());
    engine->SetStatusText("");
    EXPECT_FALSE(systems.cmdOKSystemSettings_Click());
    EXPECT_TRUE(systems.visible());
    EXPECT_EQ(Status().rfind(SaveErrorMessage(""), 0), 0u) << Status();
    std::filesystem::remove_all(configPath);
    EXPECT_TRUE(systems.cmdOKSystemSettings_Click());  // the error shown is over
    EXPECT_EQ(Status(), "Skyfault Activated");
    engine->cmdDisable_Click();
    engine->btnExit_Click();
    EXPECT_EQ(quits, 1);
    EXPECT_EQ(server.Held(), 0);  // the link closed
    const std::string written = ReadFile(configPath);
    EXPECT_NE(written.find("Rate=250\r\n"), std::string::npos);
    EXPECT_NE(written.find("Activated=0\r\n"), std::string::npos);
    EXPECT_NE(written.find("AttitudeIndicatorStr=7,0,999,-50,100,-999,99999,C\r\n"),
              std::string::npos);
}

// A simulator that quits is known at the first exchange after it (here the
// held engine's), without retries, or else within five seconds without any
// exchange; the window is told at once. The connection timer then looks for
// it every five seconds, and one started again (a new window, perhaps
// WideClient's) is opened in full; the held engine is held again.
TEST_F(EngineTest, ASimulatorThatQuitsIsKnownAndOneStartedAgainIsFoundWithinFiveSeconds) {
    for (const bool exchanging : {true, false}) {
        SCOPED_TRACE(exchanging);
        StartWithOnly(kPitot, "");
        std::string shownTitle;
        engine->SetChangedCallback([&] { shownTitle = state().window.title; });
        if (exchanging) {
            engine->FailSystem(kEngine2);
        }
        clock.Advance(1000);
        server.SetWindowClass("");
        const int sends = server.Sends();
        clock.Advance(exchanging ? 1000 : 4000);
        EXPECT_EQ(shownTitle, "Skyfault Error: Cannot link to FSUIPC or WideClient");
        clock.Advance(5000);
        EXPECT_EQ(server.Sends() - sends, exchanging ? 1 : 0);
        server.Space().WriteU16(offsets::kMixture[1], 16384);  // the pilot pushes the mixture
        server.SetWindowClass(exchanging ? test_support::kFsuipcClass : "FS98MAIN");
        server.ClearLog();
        clock.Advance(5000);
        EXPECT_EQ(shownTitle, "Skyfault Connected");
        clock.Advance(2000);
        ASSERT_FALSE(server.Reads().empty());
        EXPECT_EQ(server.Reads().front().offset, 0x3304u);
        EXPECT_EQ(server.Space().ReadU16(offsets::kMixture[1]), exchanging ? 0u : 16384u);
        engine->SetChangedCallback(nullptr);
    }
    engine->cmdDisable_Click();  // disabled, it looks for nothing
    EXPECT_FALSE(timer(TimerId::CheckConnect).Enabled() || timer(TimerId::FailureEvent).Enabled());
    engine->cmdActivate_Click();  // connected, it watches the server's window
    EXPECT_TRUE(timer(TimerId::CheckConnect).Enabled());
}

// A hung server costs each tick one exchange's tries at most: the check with
// a failure due, the pause check and each continuing failure's tick.
TEST_F(EngineTest, AHungServerCostsEachTickOneExchangesTriesAtMost) {
    StartWithOnly(kPitot, kAlwaysList);
    engine->SetPauseWithSim(1);
    for (int id : {kEngine1, kEngine3, kLeftTank, kRightTank, kLandingGear}) {
        engine->FailSystem(static_cast<std::int16_t>(id));
    }
    std::map<std::int64_t, int> sendsOfTick;
    server.SetSendHook([&] { ++sendsOfTick[clock.TickCount()]; });
    server.SetTimeoutsBeforeSuccess(1 << 30);
    NextCheck();
    EXPECT_EQ(Status(), "Error in Process: 11");
    EXPECT_TRUE(state().window.chkFailureTypeEnabled[kPitot]);
    ASSERT_GT(sendsOfTick.size(), 40u);
    for (const auto& [tick, sends] : sendsOfTick) {
        EXPECT_LE(sends, link::Link::kSendAttempts) << "tick " << tick;
    }
    server.SetTimeoutsBeforeSuccess(0);
    clock.Advance(1000);
    EXPECT_EQ(Status(), "Skyfault Activated");
}

// A failed pause check writes its code only when the code is new, so later
// messages stay readable. Pauses themselves are checked in the soak.
TEST_F(EngineTest, AFailedPauseCheckShowsItsCodeOnce) {
    WriteConfig("PauseWithSim=1\r\nActivated=0\r\n");
    Start();
    const std::uint32_t gone = test_support::kInvalidWindowError;  // code 12; 0: a check works
    const std::pair<std::uint32_t, const char*> steps[] = {
        {gone, "12"}, {gone, "message"}, {0, "message"}, {gone, "12"}};
    for (const auto& [sendError, shown] : steps) {
        server.SetSendFailure(sendError, sendError != 0 ? -1 : 0);
        engine->SetStatusText("message");
        clock.Advance(3000);
        EXPECT_EQ(Status(), shown);
    }
}

TEST(ExaminationOrderTest, EveryTickIsAPermutationAndEachSystemComesFirstFairly) {
    SeededRandom random;
    std::array<int, kSystemCount> first{};
    for (int tick = 0; tick < 10000; ++tick) {
        random.Seed(36000.0 + tick * 60.0);
        std::array<bool, kSystemCount> examined{};
        std::array<int, kSystemCount> order{};
        for (int& id : order) {
            id = DrawNextSystem(random, examined);
        }
        ++first[order[0]];
        std::sort(order.begin(), order.end());
        ASSERT_EQ(std::adjacent_find(order.begin(), order.end()), order.end());
    }
    const auto [fewest, most] = std::minmax_element(first.begin(), first.end());
    EXPECT_TRUE(*fewest > 300 && *most < 500) << *fewest << " " << *most;  // 400 expected
}

TEST_F(EngineTest, AHitReadsTemperatureAirspeedAndGroundInSeparateExchangesThenWrites) {
    StartWithOnly(kPitot, kAlwaysList);
    NextCheck();
    const auto& log = server.Log();
    ASSERT_EQ(log.size(), 4u);
    const std::uint32_t accesses[4][2] = {{0x0E8C, 2}, {0x02BC, 4}, {0x0B4C, 2}, {0x0B71, 1}};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(log[i].offset, accesses[i][0]);
        EXPECT_EQ(log[i].size, accesses[i][1]);
        EXPECT_EQ(log[i].send, log[0].send + static_cast<int>(i));
    }
    EXPECT_EQ(log[3].kind, test_support::Access::Kind::kWrite);
    EXPECT_EQ(ValueOf(log[3]), 1u);
}

TEST_F(EngineTest, MissesGreyedBoxesAndRatesThatAreNoNumberMakeNoExchange) {
    StartWithOnly(kPitot, "65000,0,999,-50,100,-999,99999,C");
    NextCheck();
    NextCheck();
    EXPECT_EQ(random.seeds, (std::vector<double>{36060.0, 36120.0}));  // the time of day
    engine->SetAllowed(kPitot, 2);  // greyed counts as not allowed
    for (const std::string rate : {"1", "", "abc", "12abc", "1 2"}) {
        engine->settings().systemStr[kPitot] = rate + ",0,999,-50,100,-999,99999,C";
        clock.Advance(30 * timer(TimerId::FailureEvent).Interval());
        engine->SetAllowed(kPitot, 1);
    }
    EXPECT_TRUE(server.Log().empty());
    for (const std::string rate : {"0", "0.5", " 1 "}) {  // these always hit
        StartWithOnly(kPitot, rate + ",0,999,-50,100,-999,99999,C");
        NextCheck();
        EXPECT_EQ(FailedCount(), 1) << rate;
    }
}

// Each window holds only at its one value: airspeeds round to whole knots,
// halves to the even neighbour (2.5 kt is 2, 119.5 kt is 120, 118.5 kt is
// 118), temperatures are signed and keep their fraction, the ground
// altitude is unsigned metres times 3.28 exactly; bounds are inclusive.
TEST_F(EngineTest, WindowBoundsAreInclusiveAndCompareConvertedValues) {
    const std::tuple<std::uint32_t, std::uint32_t, const char*, bool> cases[] = {
        {0x02BC, 320, "2,2,-50,100,-999,99999", true},
        {0x02BC, 320, "3,3,-50,100,-999,99999", false},
        {0x02BC, 15296, "120,120,-50,100,-999,99999", true},
        {0x02BC, 15168, "118,118,-50,100,-999,99999", true},
        {0x0E8C, 0xFF00, "0,999,-1,-1,-999,99999", true},
        {0x0E8C, 0x1280, "0,999,18.5,18.5,-999,99999", true},
        {0x0E8C, 0x1280, "0,999,-50,18.4,-999,99999", false},
        {0x0B4C, 0xFFFF, "0,999,-50,100,214954.8,214954.8", true},
        {0x0B4C, 7, "0,999,-50,100,22.96,22.96", true},
    };
    for (const auto& [offset, raw, windows, fails] : cases) {  // windows: the list after the rate
        StartWithOnly(kPitot, std::string("1,") + windows + ",C");
        server.Space().WriteU32(offset, raw);  // the bytes after a 2-byte value go unread
        NextCheck();
        EXPECT_EQ(FailedCount(), fails ? 1 : 0) << offset << " " << raw << " " << windows;
    }
}

TEST_F(EngineTest, WritesTheSystemsOwnValueAndCutsFailedEnginesOffEveryTwoSeconds) {
    StartWithOnly(kPitot, "");
    for (int id : {kVerticalSpeedIndicator, kEngine4, kEngine1}) {
        engine->FailSystem(id);
    }
    const auto writes = server.Writes();
    ASSERT_EQ(writes.size(), 3u);
    EXPECT_EQ(writes[0].offset, 0x0B6Eu);  // not in id order: the simulator's own flags
    EXPECT_EQ(writes[0].bytes, std::vector<std::uint8_t>{1});
    EXPECT_EQ(writes[1].offset, offsets::kMixture[3]);
    EXPECT_EQ(writes[1].bytes, (std::vector<std::uint8_t>{0, 0}));
    server.ClearLog();
    clock.Advance(1999);
    EXPECT_TRUE(server.Log().empty());
    server.Space().WriteU16(offsets::kMixture[0], 16384);  // the pilot pushes the mixture
    clock.Advance(1);
    const auto again = server.Writes();
    ASSERT_EQ(again.size(), 2u);
    EXPECT_EQ(again[1].offset, offsets::kMixture[3]);
    EXPECT_EQ(server.Space().ReadU16(offsets::kMixture[0]), 0u);

    // A leaking tank loses 65536 (1/128 %) a tick; one with less than that
    // left is written empty, and its leak ends there.
    const std::tuple<std::uint32_t, std::uint32_t, bool> tanks[] = {
        {3 * 65536 + 5, 2 * 65536 + 5, true},  // left
        {65536, 0, true},                      // right: empty, yet read once more
        {65535, 0, false},                     // centre
    };
    for (int tank = 0; tank < 3; ++tank) {
        server.Space().WriteU32(offsets::kTankLevel[tank], std::get<0>(tanks[tank]));
        engine->FailSystem(kLeftTank + tank);
    }
    clock.Advance(timer(TimerId::FuelLeak).Interval());
    for (int tank = 0; tank < 3; ++tank) {
        const auto& [before, after, leaking] = tanks[tank];
        EXPECT_EQ(server.Space().ReadU32(offsets::kTankLevel[tank]), after) << before;
        EXPECT_EQ(state().continuing.tankLeak[tank], leaking) << before;
    }
}

// Gear and flaps write back the position they held, only when it moved, and
// never a position that could not be read.
TEST_F(EngineTest, GearAndFlapsWriteBackWhatTheyReadOnlyWhenMovedAndReadable) {
    StartWithOnly(kPitot, "");
    server.Space().WriteU32(0x0BE8, 16383);
    server.Space().WriteU32(0x0BDC, 0xFFFFFF00);  // negative positions survive
    engine->FailSystem(kLandingGear);
    engine->FailSystem(kFlaps);
    const auto& log = server.Log();
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(ValueOf(log[1]), 16383u);  // the gear where it was
    EXPECT_EQ(ValueOf(log[3]), 0xFFFFFF00u);
    server.ClearLog();
    clock.Advance(3000);  // nobody moved anything: reads only
    EXPECT_EQ(server.Reads().size(), 2u);
    EXPECT_TRUE(server.Writes().empty());
    server.SetSendFailure(test_support::kInvalidWindowError, link::Link::kSendAttempts);
    clock.Advance(3000);  // the gear's read fails, the flaps' works
    EXPECT_TRUE(server.Writes().empty());
    server.Space().WriteU32(0x0BE8, 0);  // the pilot lowers the lever
    clock.Advance(3000);
    ASSERT_EQ(server.Writes().size(), 1u);
    EXPECT_EQ(server.Space().ReadU32(0x0BE8), 16383u);
}

// A failure due while the server is away (its reads deliver 0, so the windows
// pass) is not written: nothing of it remains, nothing is written once the
// server is back, and the system fails for real at a later check.
TEST_F(EngineTest, AFailureNotWrittenLeavesNothingBehindAndStaysEligible) {
    for (const bool closed : {true, false}) {
        for (int id : {kEngine2, kLandingGear, kFlaps, kLeftTank, kPitot}) {
            SCOPED_TRACE(std::to_string(closed) + ", system " + std::to_string(id));
            StartWithOnly(id, kAlwaysList);
            engine->SetCheckInterval("1", 1000);
            server.Space().WriteU32(0x0BE8, 16383);
            server.Space().WriteU32(0x0B7C, 50 * 65536);
            engine->SetAllowed(id, 0);
            server.SetWindowClass("");
            clock.Advance(closed ? 5000 : 0);  // looked for in vain: the link is closed
            engine->SetAllowed(id, 1);
            NextCheck();
            EXPECT_EQ(Status(), closed ? "Error in Write: 9" : "Error in Process: 12");
            EXPECT_TRUE(state().window.chkFailureTypeEnabled[id]);
            EXPECT_TRUE(sound.commands.empty());
            for (TimerId t :
                 {TimerId::EngineOut, TimerId::FuelLeak, TimerId::GearStuck, TimerId::FlapsStuck}) {
                EXPECT_FALSE(timer(t).Enabled()) << static_cast<int>(t);
            }
            engine->SetAllowed(id, 0);
            server.SetWindowClass(test_support::kFsuipcClass);
            server.ClearLog();
            clock.Advance(12000);
            EXPECT_EQ(state().window.title, "Skyfault Connected");
            EXPECT_TRUE(server.Writes().empty());
            engine->SetAllowed(id, 1);
            NextCheck();
            EXPECT_EQ(Status(), "Failure: " + std::string(Catalogue()[id].caption));
        }
    }
}

TEST_F(EngineTest, NotificationTextIsRedAndShownBeforeTheSoundWhichFollowsItsSetting) {
    StartWithOnly(kPitot, "");
    auto& settings = engine->settings();
    settings.defaultSound = "C:\\default.wav";
    settings.soundFiles[kEngine1] = "C:\\engine1.wav";
    engine->SetChangedCallback([&] { sound.commands.push_back(Status()); });
    engine->FailSystem(kEngine2);
    EXPECT_EQ(state().window.txtMessage.colour, TextColour::Red);
    EXPECT_EQ(sound.commands.front(), "Failure: Engine 2");
    engine->SetChangedCallback(nullptr);
    settings.visualNotify = false;
    engine->SetStatusText("before");
    sound.commands.clear();
    engine->FailSystem(kEngine1);
    engine->FailSystem(kEngine3);  // "Undefined": the default sound
    EXPECT_EQ(Status(), "before");
    EXPECT_EQ(sound.commands, (std::vector<std::string>{"Close", "Open:C:\\engine1.wav", "Play",
                                                        "Close", "Open:C:\\default.wav", "Play"}));
    settings.visualNotify = true;
    settings.audioNotify = false;
    engine->FailSystem(kLeftTank);
    EXPECT_EQ(sound.commands.size(), 6u);
}

// Repair writes 0 to the failed instrument's flag and nothing else; engines,
// gear, flaps and leaks are let go without a write. The system is eligible
// again, as the estimate shows.
TEST_F(EngineTest, RepairUndoesEachKindOfFailureAndTheSystemCanFailAgain) {
    for (const int id : {kPitot, kEngine2, kLandingGear, kFlaps, kCenterTank}) {
        SCOPED_TRACE(id);
        StartWithOnly(id, kAlwaysList);
        server.Space().WriteU32(offsets::kTankLevel[2], 50 * 65536);
        NextCheck();
        ASSERT_TRUE(engine->AnyFailed());
        EXPECT_TRUE(engine->FailureEstimate().ends_with("no failure can happen."));
        server.ClearLog();
        engine->mnuFlightRepair_Click();
        EXPECT_TRUE(engine->FailureEstimate().ends_with("every 1 minute."));
        EXPECT_EQ(server.Writes().size(), id == kPitot ? 1u : 0u);  // the instrument's flag
        EXPECT_EQ(server.Space().ReadU16(0x0B71) & 0xFFu, 0u);      // back to 0
        EXPECT_EQ(Status(), "All systems repaired");
        EXPECT_EQ(state().window.txtMessage.colour, TextColour::Black);
        server.Space().WriteU32(offsets::kGearControl, 7);  // the pilot moves everything
        server.Space().WriteU32(offsets::kFlapsControl, 7);
        server.ClearLog();
        clock.Advance(30000);  // nothing held, nothing drained any more
        EXPECT_TRUE(server.Log().empty());
    }
    engine->SetStatusText("kept");
    engine->mnuFlightRepair_Click();  // nothing failed: nothing happens
    EXPECT_EQ(Status(), "kept");
}

// A flag that cannot be written keeps its system failed and unlogged, and
// says why as a failure's write does; the others are repaired.
TEST_F(EngineTest, ARepairWhoseWriteFailsLeavesThatSystemFailed) {
    StartWithOnly(kPitot, "");
    engine->FailSystem(kPitot);
    engine->FailSystem(kEngine1);
    server.SetSendFailure(test_support::kInvalidWindowError);
    engine->mnuFlightRepair_Click();
    EXPECT_EQ(Status(), "Error in Process: 12");
    EXPECT_FALSE(state().window.chkFailureTypeEnabled[kPitot]);
    EXPECT_TRUE(state().window.chkFailureTypeEnabled[kEngine1]);
    EXPECT_EQ(state().flight.events.size(), 3u);
    EXPECT_EQ(state().flight.events.back().systemId, kEngine1);
}

// N failures, then none until a repair; the limit is read from [General],
// set from the box (anything but 0..999 refused) and saved at once.
TEST_F(EngineTest, TheLimitStopsFailuresUntilARepair) {
    WriteConfig("[General]\r\nVisualNotification=1\r\nMaxFailures=2\r\n");
    Start();
    for (const int id : {kPitot, kVacuum, kCompass}) {
        engine->SetAllowed(id, 1);
        engine->settings().systemStr[id] = kAlwaysList;
    }
    const auto check = [&](int failed, const std::string& ending) {
        NextCheck();
        EXPECT_EQ(FailedCount(), failed);
        EXPECT_TRUE(Status().ends_with(ending)) << Status();
    };
    check(1, "");
    check(2, ". Limit of 2 failures reached");
    const std::size_t seeds = random.seeds.size();
    check(2, ". Limit of 2 failures reached");
    EXPECT_EQ(random.seeds.size(), seeds);  // nothing drawn
    for (const char* refused : {"", " ", "-1", "1000", "2.5", "1e2", "x", "99999999999"}) {
        EXPECT_EQ(engine->SetMaxFailures(refused), "Enter a whole number from 0 to 999.")
            << refused;
    }
    EXPECT_EQ(state().settings.maxFailures, 2);
    EXPECT_EQ(engine->SetMaxFailures(" 1\t"), std::nullopt);
    EXPECT_EQ(Status(), "Limit of 1 failure reached");
    EXPECT_NE(ReadFile(configPath).find("MaxFailures=1\r\n"), std::string::npos);
    engine->settings().visualNotify = false;
    engine->mnuFlightRepair_Click();
    check(1, "");
    EXPECT_EQ(Status(), "Limit of 1 failure reached");  // alone while failures are not shown
    EXPECT_EQ(engine->SetMaxFailures("0"), std::nullopt);
    check(2, "");
}

// Against the closed form: a check every T fails something with P = 1 -
// prod(1 - 1/N) over the eligible systems, one failure every T / P.
TEST(FailureEstimate, FollowsTheRatesTheIntervalAndTheEligibleSystems) {
    const std::string every =
        "With the systems allowed now, these settings give about one failure ";
    const std::tuple<std::vector<const char*>, int, std::string> cases[] = {
        {{"1000"}, 60000, every + "every 16.7 hours."},                    // 1000 min
        {{"1000", "1000", "-5", "x"}, 60000, every + "every 8.3 hours."},  // 500.25 min
        {{"10", "90"}, 60000, every + "every 9 minutes."},                 // 9 min
        {{"90"}, 60000, every + "every 1.5 hours."},
        {{"89"}, 60000, every + "every 89 minutes."},
        {{"4"}, 15000, every + "every 1 minute."},
        {{"2", "0.5"}, 29000, every + "in less than a minute."},
        {{}, 1000, "With the systems allowed now, no failure can happen."},
    };
    for (const auto& [rates, periodMs, text] : cases) {
        Settings settings;
        std::array<bool, kSystemCount> eligible{};
        for (std::size_t i = 0; i < rates.size(); ++i) {
            settings.allowed[i] = 1;
            settings.systemStr[i] = std::string(rates[i]) + ",0,999,-50,100,-999,99999,C";
            eligible[i] = true;
        }
        settings.allowed[10] = 1;  // allowed, but failed
        settings.systemStr[10] = "1";
        eligible[11] = true;
        settings.allowed[11] = 0;  // eligible, but not allowed
        settings.systemStr[11] = "1";
        EXPECT_EQ(FailureEstimateText(settings, eligible, periodMs), text) << rates.size();
    }
}

// Each event is one line, after the captions' line of a new file; a file
// over 1 MB goes to skyfault-log.old.csv first, replacing an older one.
TEST_F(EngineTest, EventsAreAppendedToTheLogFileWhichIsRenamedOverOneMegabyte) {
    logPath = folder.path() / u8"journal-\u00E9\u0436.csv";  // a name outside any code page
    StartWithOnly(kPitot, kAlwaysList);
    EXPECT_FALSE(std::filesystem::exists(logPath));
    NextCheck();
    engine->mnuFlightRepair_Click();
    Stop();
    clock.Advance(5000);
    StartWithOnly(kVacuum, kAlwaysList);
    NextCheck();
    EXPECT_EQ(ReadFile(logPath),
              "Time,Since start,Event,System,Airspeed (kt),Outside air (C),Ground altitude (ft)\r\n"
              "10:01:00,0:01:00,Failure,Pitot,120,15.0,328\r\n"
              "10:01:00,0:01:00,Repair,Pitot,,,\r\n"
              "10:02:05,0:01:00,Failure,Vacuum,120,15.0,328\r\n");
    const std::filesystem::path old = folder.path() / "skyfault-log.old.csv";
    for (const std::uint64_t size : {kFlightLogMaxBytes, kFlightLogMaxBytes + 1}) {
        WriteFile(old, "older");
        WriteFile(logPath, std::string(size, 'x'));
        engine->FailSystem(kCompass);
        const bool renamed = size > kFlightLogMaxBytes;
        EXPECT_EQ(ReadFile(old).size(), renamed ? size : 5u);
        EXPECT_TRUE(ReadFile(logPath).starts_with(renamed ? "Time," : "xx"));
    }
    EXPECT_EQ(FlightLogLine({"a,b", "say \"hi\"", "two\r\nlines", "", "1", "2", "3"}),
              "\"a,b\",\"say \"\"hi\"\"\",\"two\r\nlines\",,1,2,3\r\n");
    FlightEvent event{FlightEventKind::Failure, kFlaps, 3723.9, 90061.5, 120, -0.04, 214954.8};
    EXPECT_EQ(FlightEventCells(event),
              (std::array<std::string, kFlightLogColumns>{"01:02:03", "25:01:01", "Failure",
                                                          "Flaps", "120", "0.0", "214955"}));
}

// A log that cannot be written stops no failure, and is said once.
TEST_F(EngineTest, ALogThatCannotBeWrittenIsSaidOnceAndStopsNoFailure) {
    for (const bool isFolder : {true, false}) {
        logPath = isFolder ? folder.path() : folder.path() / "missing" / "skyfault-log.csv";
        StartWithOnly(kPitot, "");
        engine->FailSystem(kPitot);
        const std::string said = "Failure: Pitot. Cannot write skyfault-log.csv: ";
        EXPECT_TRUE(Status().starts_with(said)) << Status();
        EXPECT_TRUE(!isFolder || Status() == said + "it is not a regular file") << Status();
        engine->FailSystem(kVacuum);
        EXPECT_EQ(Status(), "Failure: Vacuum");
        EXPECT_EQ(FailedCount(), 2);
    }
}

}  // namespace
}  // namespace skyfault::engine::testing
