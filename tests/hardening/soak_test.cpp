// A week of simulated time (SKYFAULT_SOAK_SECONDS / _SEED) with random
// settings, a pilot, a user and a server that misbehaves or goes away for up
// to 20 s. After every second the invariants below hold; every six hours the
// user exits and restarts, and the saved file gives back every setting.

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

    std::string Num(int low, int high) { return std::to_string(Pick(low, high)); }
    const char* Bit(double p) { return Chance(p) ? "1" : "0"; }

    // Some lists are no number, never hold, or pass the zeros of an absent server.
    std::string RandomList() {
        const int kind = Pick(0, 9);
        if (kind < 2) {
            return kind == 0 ? "" : "abc,1,2";
        }
        const int lowIas = kind == 2 ? 300 : Chance(0.3) ? 0 : Pick(1, 150);
        return Num(1, 3000) + "," + std::to_string(lowIas) + "," +
               std::to_string(kind == 2 ? 0 : lowIas + Pick(0, 400)) + "," + Num(-60, 10) + "," +
               Num(10, 60) + ",-999," + Num(0, 99999) + (Chance(0.5) ? ",D" : ",C");
    }

    std::string RandomConfig() {
        std::string failures = "[Failures]\r\n", systems = "[Systems]\r\n";
        for (const auto& system : Catalogue()) {
            failures += ConfigKey(system.caption) + "=" + Bit(0.8) + "\r\n";
            systems += ConfigKey(system.caption) + "Str=" + RandomList() + "\r\n";
        }
        return "[General]\r\nRate=" + Num(1, 65000) + "\r\nFrequency=" + Num(1, 65) +
               "\r\nActivated=" + Bit(0.9) + "\r\nVisualNotification=" + Bit(0.8) +
               "\r\nFuelLeakSpeed=" + Num(0, 2) + "\r\nPauseWithSim=" + Num(0, 1) + "\r\n" +
               failures + systems;
    }

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

    // Continuing failures and their writes belong only to failed systems
    // (box disabled); gear and flaps write only their held position.
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
        const std::pair<std::uint32_t, int> owners[] = {
            {offsets::kGearControl, kLandingGear},  {offsets::kFlapsControl, kFlaps},
            {offsets::kMixture[0], kEngine1},       {offsets::kMixture[1], kEngine2},
            {offsets::kMixture[2], kEngine3},       {offsets::kMixture[3], kEngine4},
            {offsets::kTankLevel[0], kLeftTank},    {offsets::kTankLevel[1], kLeftTank + 1},
            {offsets::kTankLevel[2], kLeftTank + 2}};
        for (const test_support::Access& write : log) {
            for (const auto& [offset, id] : owners) {
                if (write.offset != offset) {
                    continue;
                }
                ++continuingWrites;
                ASSERT_TRUE(failed(id)) << "system " << id;
                const auto value = static_cast<std::int32_t>(ValueOf(write));
                if (id == kLandingGear || id == kFlaps) {
                    ASSERT_EQ(value, id == kFlaps ? c.stuckFlapsPosition : c.stuckGearPosition);
                } else if (id <= kEngine4 && id >= kEngine1) {
                    ASSERT_EQ(value, 0);
                }
            }
        }
    }

    bool corrupting = false;  // a read may then deliver a wrong value
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
    // True when the server stays sound this second.
    bool Misbehave() {
        if (awaySeconds > 0) {
            --awaySeconds;
            return false;
        }
        Heal();
        if (!Chance(0.03)) {
            return true;
        }
        const int kind = Pick(0, 4);
        if (kind == 0) {
            server.SetTimeoutsBeforeSuccess(Pick(1, 30));  // up to 10 are retried away
        } else if (kind == 1) {
            server.SetAnswer(Chance(0.5) ? 0 : static_cast<std::uint32_t>(Pick(2, 1000)));
        } else if (kind == 2) {
            server.SetSendFailure(test_support::kInvalidWindowError, Pick(1, 40));
        } else if (kind == 3) {  // gone for a while, then back
            server.SetWindowClass("");
            awaySeconds = Pick(1, 20);
        } else {  // odd replies: a bit of the block's first records flipped
            corrupting = true;
            server.SetReplyHook([state = rng()](std::uint8_t* block) mutable {
                state = state * 6364136223846793005ULL + 1442695040888963407ULL;
                block[(state >> 33) % 64] ^= static_cast<std::uint8_t>(1u << ((state >> 29) & 7));
            });
        }
        return false;
    }
};

TEST_F(Soak, AWeekOfSimulatedTimeWithAMisbehavingServer) {
    const std::int64_t seconds = EnvNumber("SKYFAULT_SOAK_SECONDS", 7 * 24 * 3600);
    WriteConfig(RandomConfig());
    Start();
    ASSERT_EQ(state().window.title, "Skyfault Connected");
    int failures = 0, faultySeconds = 0, pausedChecks = 0, runs = 1;
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
    std::printf("%lld s, %d runs, %d exchanges, %d failures, %d faulty s, %d paused, %d writes\n",
                static_cast<long long>(seconds), runs, server.Sends(), failures, faultySeconds,
                pausedChecks, continuingWrites);
    EXPECT_TRUE(failures > 0 && faultySeconds > 0 && pausedChecks > 0 && continuingWrites > 0);
}

}  // namespace
}  // namespace skyfault::engine::testing
