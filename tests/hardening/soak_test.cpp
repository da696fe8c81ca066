// A week of simulated time on the manual clock: random settings (seeded), a
// pilot who moves things, a user who clicks now and then, and an in-process
// server that misbehaves now and then, or goes away for up to 20 seconds and
// comes back. Nothing may crash, and after every simulated second:
//   - a system fails at most once per run, and at most one per check;
//   - the fuel leak timer runs exactly while a tank leaks, and a leak ends
//     only at a tank read below one step and written empty;
//   - a continuing failure runs only for a system that failed (its box is
//     disabled), and gear, flaps, mixtures and tank levels are written only
//     for such systems, gear and flaps only with their held position;
//   - the check timer is off while disabled, and off while paused (pause
//     synchronisation on, simulator paused);
//   - the link stays open, and a failed exchange shows only 11, 12 or 13.
// Every six hours the user leaves by Exit and starts again: the saved file
// gives back every setting. SKYFAULT_SOAK_SECONDS / _SEED change the run.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "settings/catalogue.h"
#include "settings/config.h"
#include "tests/support/engine_fixture.h"

namespace skyfault::engine::testing {
namespace {

std::int64_t EnvNumber(const char* name, std::int64_t fallback) {
    const char* text = std::getenv(name);
    return text != nullptr && *text != '\0' ? std::strtoll(text, nullptr, 10) : fallback;
}

// A status line that says an exchange failed with anything but 11, 12, 13.
bool UnexpectedError(std::string status) {
    if (status.rfind("Error in Write", 0) == 0) {
        return true;
    }
    status = status.rfind("Error in Process: ", 0) == 0 ? status.substr(18) : status;
    return status.find_first_not_of("-0123456789") == std::string::npos && status != "11" &&
           status != "12" && status != "13";
}

class Soak : public EngineTest {
protected:
    std::mt19937_64 rng{static_cast<std::uint64_t>(EnvNumber("SKYFAULT_SOAK_SEED", 20240607))};
    bool Chance(double p) { return std::uniform_real_distribution<double>(0, 1)(rng) < p; }
    int Pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng); }

    // A rate that is no number, windows that never hold, or windows that
    // from 0 kt also pass the zeros the reads deliver while the server is away.
    std::string RandomList() {
        const int kind = Pick(0, 9);
        if (kind < 2) {
            return kind == 0 ? "" : "abc,1,2";
        }
        const int lowIas = kind == 2 ? 300 : Chance(0.3) ? 0 : Pick(1, 150);
        return std::to_string(Pick(1, 3000)) + "," + std::to_string(lowIas) + "," +
               std::to_string(kind == 2 ? 0 : lowIas + Pick(0, 400)) + "," +
               std::to_string(Pick(-60, 10)) + "," + std::to_string(Pick(10, 60)) + ",-999," +
               std::to_string(Pick(0, 99999)) + (Chance(0.5) ? ",D" : ",C");
    }

    std::string RandomConfig() {
        std::string config = "[General]\r\nRate=" + std::to_string(Pick(1, 65000)) +
                             "\r\nFrequency=" + std::to_string(Pick(1, 65)) +
                             "\r\nActivated=" + (Chance(0.9) ? "1" : "0") +
                             "\r\nVisualNotification=" + (Chance(0.8) ? "1" : "0") +
                             "\r\nFuelLeakSpeed=" + std::to_string(Pick(0, 2)) +
                             "\r\nPauseWithSim=" + std::to_string(Pick(0, 1)) +
                             "\r\n[Failures]\r\n";
        for (const auto& system : Catalogue()) {
            config += ConfigKey(system.caption) + "=" + (Chance(0.8) ? "1" : "0") + "\r\n";
        }
        config += "[Systems]\r\n";
        for (const auto& system : Catalogue()) {
            config += ConfigKey(system.caption) + "Str=" + RandomList() + "\r\n";
        }
        return config;
    }

    // The simulator's side: pause, flight values, levers and tanks.
    void Pilot() {
        auto& space = server.Space();
        if (Chance(0.002)) {
            space.WriteU16(0x0264, space.ReadU16(0x0264) == 1 ? 0 : 1);
        }
        if (Chance(0.02)) {
            space.WriteU32(offsets::kIndicatedAirspeed,
                           static_cast<std::uint32_t>(Pick(0, 300) * 128));
            space.WriteU16(offsets::kOutsideAirTemperature,
                           static_cast<std::uint16_t>(Pick(-40, 40) * 256));
            space.WriteU16(offsets::kGroundAltitude, static_cast<std::uint16_t>(Pick(0, 4000)));
        }
        if (Chance(0.005)) {
            space.WriteU32(offsets::kGearControl, Chance(0.5) ? 0u : 16383u);
            space.WriteU32(offsets::kFlapsControl, static_cast<std::uint32_t>(Pick(0, 16383)));
        }
        if (Chance(0.001)) {
            for (std::uint32_t tank : offsets::kTankLevel) {
                space.WriteU32(tank, static_cast<std::uint32_t>(Pick(0, 100)) * 128u * 65536u);
            }
        }
    }

    // The user's side: buttons, preferences, ticks and saves.
    void User() {
        const int seconds = Pick(1, 65);
        if (Chance(0.0005)) {
            engine->cmdDisable_Click();
        } else if (Chance(0.002) && state().window.cmdActivateEnabled) {
            engine->cmdActivate_Click();
        } else if (Chance(0.0003)) {
            engine->SetPauseWithSim(Pick(0, 1));
        } else if (Chance(0.0003)) {
            engine->SetFuelLeakSpeed(Pick(0, 2));
        } else if (Chance(0.0003)) {
            engine->SetCheckInterval(std::to_string(seconds), seconds * 1000);
        } else if (Chance(0.0003)) {
            engine->SetAllowed(Pick(0, kSystemCount - 1), Pick(0, 1));
        } else if (Chance(0.0002)) {
            EXPECT_TRUE(engine->WriteCFG());
        }
    }

    // A continuing failure belongs to a system whose failure went through:
    // its box is disabled. Unless replies were corrupted, every write the
    // server carried out was seen to succeed, so each write to a control of
    // a continuing failure must belong to such a system, and gear and flaps
    // are written only with their held position.
    int continuingWrites = 0;
    void CheckContinuingFailures(bool writesSeen) {
        using namespace skyfault::system_id;
        const auto failed = [this](int id) { return !state().window.chkFailureTypeEnabled[id]; };
        const ContinuingFailureState& c = state().continuing;
        bool anyEngine = false;
        for (int engine = 0; engine < 4; ++engine) {
            ASSERT_EQ(c.engineOut[engine], failed(kEngine1 + engine)) << "engine " << engine + 1;
            anyEngine = anyEngine || c.engineOut[engine];
        }
        for (int tank = 0; tank < 3; ++tank) {
            ASSERT_TRUE(!c.tankLeak[tank] || failed(kLeftTank + tank)) << "tank " << tank;
        }
        ASSERT_EQ(timer(TimerId::EngineOut).Enabled(), anyEngine);
        ASSERT_EQ(timer(TimerId::GearStuck).Enabled(), failed(kLandingGear));
        ASSERT_EQ(timer(TimerId::FlapsStuck).Enabled(), failed(kFlaps));

        const auto log = server.Writes();
        server.ClearLog();
        if (!writesSeen) {
            return;
        }
        for (const test_support::Access& write : log) {
            const std::uint32_t value = ValueOf(write);
            bool continuing = true;
            if (write.offset == offsets::kGearControl) {
                ASSERT_TRUE(failed(kLandingGear));
                ASSERT_EQ(static_cast<std::int32_t>(value), c.stuckGearPosition);
            } else if (write.offset == offsets::kFlapsControl) {
                ASSERT_TRUE(failed(kFlaps));
                ASSERT_EQ(static_cast<std::int32_t>(value), c.stuckFlapsPosition);
            } else {
                continuing = false;
                for (int engine = 0; engine < 4; ++engine) {
                    if (write.offset == offsets::kMixture[engine]) {
                        ASSERT_TRUE(failed(kEngine1 + engine)) << "engine " << engine + 1;
                        ASSERT_EQ(value, 0u);
                        continuing = true;
                    }
                }
                for (int tank = 0; tank < 3; ++tank) {
                    if (write.offset == offsets::kTankLevel[tank]) {
                        ASSERT_TRUE(failed(kLeftTank + tank)) << "tank " << tank;
                        continuing = true;
                    }
                }
            }
            continuingWrites += continuing ? 1 : 0;
        }
    }

    // Replies are being corrupted: a read may then deliver a wrong value.
    bool corrupting = false;
    // Further seconds the server stays away.
    int awaySeconds = 0;
    void Heal() {
        corrupting = false;
        awaySeconds = 0;
        server.SetWindowClass(test_support::kFsuipcClass);
        server.SetTimeoutsBeforeSuccess(0);
        server.SetAnswer(1);
        server.SetSendFailure(0, 0);
        server.SetReplyHook(nullptr);
    }
    // This second's misbehaviour of the server; true when it stays sound.
    bool Misbehave() {
        if (awaySeconds > 0) {
            --awaySeconds;
            return false;
        }
        Heal();
        if (!Chance(0.03)) {
            return true;
        }
        switch (Pick(0, 4)) {
            case 0:
                server.SetTimeoutsBeforeSuccess(Pick(1, 30));  // up to 10 are retried away
                break;
            case 1:
                server.SetAnswer(Chance(0.5) ? 0 : static_cast<std::uint32_t>(Pick(2, 1000)));
                break;
            case 2:
                server.SetSendFailure(test_support::kInvalidWindowError, Pick(1, 40));
                break;
            case 3:  // gone for a while, then back
                server.SetWindowClass("");
                awaySeconds = Pick(1, 20);
                break;
            default:  // odd replies: a bit of the block's first records flipped
                corrupting = true;
                server.SetReplyHook([state = rng()](std::uint8_t* block) mutable {
                    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
                    block[(state >> 33) % 64] ^=
                        static_cast<std::uint8_t>(1u << ((state >> 29) & 7));
                });
                break;
        }
        return false;
    }
};

TEST_F(Soak, AWeekOfSimulatedTimeWithAMisbehavingServer) {
    const std::int64_t seconds = EnvNumber("SKYFAULT_SOAK_SECONDS", 7 * 24 * 3600);
    WriteConfig(RandomConfig());
    Start();
    ASSERT_EQ(state().window.title, "Skyfault Connected");
    int failures = 0;
    int faultySeconds = 0;
    int pausedChecks = 0;
    int runs = 1;
    for (std::int64_t second = 0; second < seconds; ++second) {
        SCOPED_TRACE("simulated second " + std::to_string(second));
        const auto before = state().window.chkFailureTypeEnabled;
        Pilot();
        User();
        const bool sound = Misbehave();
        faultySeconds += sound ? 0 : 1;
        const bool paused = server.Space().ReadU16(0x0264) == 1;
        const bool syncOn = state().settings.pauseWithSim == 1;
        const auto leaksBefore = state().continuing.tankLeak;
        std::array<std::int32_t, 3> levelsBefore{};
        for (int tank = 0; tank < 3; ++tank) {
            levelsBefore[tank] =
                static_cast<std::int32_t>(server.Space().ReadU32(offsets::kTankLevel[tank]));
        }
        clock.Advance(1000);

        const auto& window = state().window;
        int newlyFailed = 0;
        for (int id = 0; id < kSystemCount; ++id) {
            ASSERT_TRUE(before[id] || !window.chkFailureTypeEnabled[id]) << "system " << id;
            newlyFailed += before[id] && !window.chkFailureTypeEnabled[id] ? 1 : 0;
        }
        ASSERT_LE(newlyFailed, 1);
        failures += newlyFailed;
        const auto& leaks = state().continuing.tankLeak;
        ASSERT_EQ(timer(TimerId::FuelLeak).Enabled(),
                  std::any_of(leaks.begin(), leaks.end(), [](bool l) { return l; }));
        // A leak ends only at a tank that was read below one step and
        // written empty (at most one leak tick falls in a second).
        for (int tank = 0; tank < 3; ++tank) {
            if (leaksBefore[tank] && !leaks[tank] && !corrupting) {
                ASSERT_LT(levelsBefore[tank], 65536) << "tank " << tank;
                ASSERT_EQ(server.Space().ReadU32(offsets::kTankLevel[tank]), 0u) << "tank " << tank;
            }
        }
        ASSERT_NO_FATAL_FAILURE(CheckContinuingFailures(!corrupting));
        const bool checking = timer(TimerId::FailureEvent).Enabled();
        ASSERT_FALSE(window.cmdActivateEnabled && checking) << "checking while disabled";
        if (sound && syncOn && paused && state().settings.pauseWithSim == 1) {
            ++pausedChecks;
            ASSERT_FALSE(checking) << "checking while paused";
            ASSERT_EQ(window.txtMessage.text, "Simulator Paused");
        }
        ASSERT_TRUE(link.IsOpen());
        ASSERT_FALSE(UnexpectedError(window.txtMessage.text)) << window.txtMessage.text;

        if (second % (6 * 3600) == 6 * 3600 - 1) {  // Exit and start again
            Heal();
            const int quitsBefore = quits;
            engine->btnExit_Click();
            ASSERT_EQ(quits, quitsBefore + 1) << window.txtMessage.text;
            const std::string saved = WriteCFG(state().settings);
            engine.reset();
            Start();
            ++runs;
            ASSERT_TRUE(state().window.connectStatus);
            ASSERT_EQ(WriteCFG(state().settings), saved);
        }
    }
    std::printf(
        "%lld simulated seconds, %d runs, %d exchanges, %d system failures, %d seconds with a "
        "misbehaving server, %d paused seconds checked, %d writes of continuing failures "
        "checked\n",
        static_cast<long long>(seconds), runs, server.Sends(), failures, faultySeconds,
        pausedChecks, continuingWrites);
    // The run did meet what it is meant to meet.
    EXPECT_GT(failures, 0);
    EXPECT_GT(faultySeconds, 0);
    EXPECT_GT(pausedChecks, 0);
    EXPECT_GT(continuingWrites, 0);
}

}  // namespace
}  // namespace skyfault::engine::testing
