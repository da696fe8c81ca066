// A week of simulated time on the manual clock: random settings (seeded), a
// pilot who moves things, a user who clicks now and then, and an in-process
// server that misbehaves now and then (time-outs, answer 0, send failures,
// odd replies). Nothing may crash, and after every simulated second:
//   - a system fails at most once per run, and at most one per check;
//   - the fuel leak timer runs exactly while a tank leaks;
//   - the check timer is off while disabled, and off while paused (pause
//     synchronisation on, simulator paused, after a sound sync tick);
//   - the link stays open, and the status line shows only the protocol's
//     exchange codes 11, 12, 13 when an exchange failed.
// SKYFAULT_SOAK_SECONDS and SKYFAULT_SOAK_SEED change the length and seed.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>

#include "engine/engine.h"
#include "engine/manual_timer.h"
#include "link/link.h"
#include "settings/catalogue.h"
#include "settings/config.h"
#include "tests/support/in_process_server.h"

namespace skyfault::hardening {
namespace {

namespace fs = std::filesystem;
using engine::Engine;
using engine::TimerId;

constexpr std::uint32_t kPauseOffset = 0x0264;

std::int64_t EnvNumber(const char* name, std::int64_t fallback) {
    const char* text = std::getenv(name);
    return text != nullptr && *text != '\0' ? std::strtoll(text, nullptr, 10) : fallback;
}

// True when `text` is a whole decimal number.
bool IsNumber(const std::string& text) {
    return !text.empty() && std::all_of(text.begin(), text.end(),
                                        [](char c) { return (c >= '0' && c <= '9') || c == '-'; });
}

bool IsExchangeCode(const std::string& text) {
    return text == "11" || text == "12" || text == "13";
}

class Soak {
public:
    explicit Soak(std::uint64_t seed) : random_(seed) {
        char pattern[] = "/tmp/skyfault-soak-XXXXXX";
        folder_ = mkdtemp(pattern);
        std::ofstream(folder_ / "skyfault.cfg", std::ios::binary) << RandomConfig();
        StartProgram();
    }
    ~Soak() {
        engine_.reset();
        link_.LinkClose();
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }

    Engine& engine() { return *engine_; }
    test_support::InProcessServer& server() { return server_; }

    // One simulated second; false (with a message) when an invariant broke.
    bool Step(std::string& broken);
    // The user leaves by Exit and starts the program again: the file saved
    // on the way out gives back every setting.
    bool Restart(std::string& broken);

    int failures = 0;
    int faultSteps = 0;
    int saves = 0;
    int pausedChecks = 0;
    int runs = 1;

private:
    bool Chance(double p) { return std::uniform_real_distribution<double>(0, 1)(random_) < p; }
    int Pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }
    std::string RandomList();
    std::string RandomConfig();
    void Pilot();
    void User();
    // Sets up this second's misbehaviour; true when the server stays sound.
    bool Misbehave();
    void Heal();
    void StartProgram() {
        engine_ = std::make_unique<Engine>(Engine::Dependencies{
            link_, clock_, sound_, nullptr, &clock_, (folder_ / "skyfault.cfg").string()});
        engine_->SetQuitCallback([this] { quit_ = true; });
        engine_->Main();
    }
    bool quit_ = false;

    std::mt19937_64 random_;
    fs::path folder_;
    test_support::InProcessServer server_;
    link::Link link_{server_};
    engine::ManualClock clock_;
    engine::NullSoundPlayer sound_;
    std::unique_ptr<Engine> engine_;
};

std::string Soak::RandomList() {
    switch (Pick(0, 9)) {
        case 0:
            return "";  // never configured
        case 1:
            return "abc,1,2";  // a rate that is no number
        case 2:
            return std::to_string(Pick(1, 50)) + ",300,0,-50,100,-999,99999,C";  // IAS never fits
        default:
            break;
    }
    const int lowIas = Pick(0, 150);
    return std::to_string(Pick(1, 3000)) + "," + std::to_string(lowIas) + "," +
           std::to_string(lowIas + Pick(0, 400)) + "," + std::to_string(Pick(-60, 10)) + "," +
           std::to_string(Pick(10, 60)) + ",-999," + std::to_string(Pick(0, 99999)) +
           (Chance(0.5) ? ",D" : ",C");
}

std::string Soak::RandomConfig() {
    std::string config =
        "[General]\r\nRate=" + std::to_string(Pick(1, 65000)) +
        "\r\nFrequency=" + std::to_string(Pick(1, 65)) +
        "\r\nActivated=" + (Chance(0.9) ? "1" : "0") +
        "\r\nAudioNotification=1\r\nVisualNotification=" + (Chance(0.8) ? "1" : "0") +
        "\r\nFuelLeakSpeed=" + std::to_string(Pick(0, 2)) +
        "\r\nPauseWithSim=" + std::to_string(Pick(0, 1)) + "\r\n[Failures]\r\n";
    const auto& catalogue = Catalogue();
    for (const auto& system : catalogue) {
        config += ConfigKey(system.caption) + "=" + (Chance(0.8) ? "1" : "0") + "\r\n";
    }
    config += "[Systems]\r\n";
    for (const auto& system : catalogue) {
        config += ConfigKey(system.caption) + "Str=" + RandomList() + "\r\n";
    }
    return config;
}

// The simulator's side: pause, flight values, levers and tanks.
void Soak::Pilot() {
    auto& space = server_.Space();
    if (Chance(0.002)) {
        space.WriteU16(kPauseOffset, space.ReadU16(kPauseOffset) == 1 ? 0 : 1);
    }
    if (Chance(0.02)) {
        space.WriteU32(engine::offsets::kIndicatedAirspeed,
                       static_cast<std::uint32_t>(Pick(0, 300) * 128));
        space.WriteU16(engine::offsets::kOutsideAirTemperature,
                       static_cast<std::uint16_t>(Pick(-40, 40) * 256));
        space.WriteU16(engine::offsets::kGroundAltitude, static_cast<std::uint16_t>(Pick(0, 4000)));
    }
    if (Chance(0.005)) {
        space.WriteU32(engine::offsets::kGearControl, Chance(0.5) ? 0u : 16383u);
        space.WriteU32(engine::offsets::kFlapsControl, static_cast<std::uint32_t>(Pick(0, 16383)));
    }
    if (Chance(0.001)) {
        for (std::uint32_t tank : engine::offsets::kTankLevel) {
            space.WriteU32(tank, static_cast<std::uint32_t>(Pick(0, 100)) * 128u * 65536u);
        }
    }
}

// The user's side: buttons, preferences, ticks and saves.
void Soak::User() {
    Engine& e = *engine_;
    if (Chance(0.0005)) {
        e.cmdDisable_Click();
    } else if (Chance(0.002) && e.state().window.cmdActivateEnabled) {
        e.cmdActivate_Click();
    }
    if (Chance(0.0003)) {
        e.SetPauseWithSim(Pick(0, 1));
    }
    if (Chance(0.0003)) {
        e.SetFuelLeakSpeed(Pick(0, 2));
    }
    if (Chance(0.0003)) {
        const int seconds = Pick(1, 65);
        e.SetCheckInterval(std::to_string(seconds), seconds * 1000);
    }
    if (Chance(0.0003)) {
        e.SetAllowed(Pick(0, kSystemCount - 1), Pick(0, 1));
    }
    if (Chance(0.0002)) {
        saves += e.WriteCFG() ? 1 : 0;
    }
}

bool Soak::Misbehave() {
    if (!Chance(0.03)) {
        return true;
    }
    ++faultSteps;
    switch (Pick(0, 4)) {
        case 0:
            server_.SetTimeoutsBeforeSuccess(Pick(1, 30));  // up to 10 are retried away
            return false;
        case 1:
            server_.SetAnswer(Chance(0.5) ? 0 : static_cast<std::uint32_t>(Pick(2, 1000)));
            return false;
        case 2:
            server_.SetSendFailure(test_support::kInvalidWindowError, Pick(1, 40));
            return false;
        case 3: {
            // Odd replies: bytes of the block's first records changed.
            const std::uint64_t seed = random_();
            server_.SetReplyHook([state = seed](std::uint8_t* block) mutable {
                state = state * 6364136223846793005ULL + 1442695040888963407ULL;
                block[(state >> 33) % 64] ^= static_cast<std::uint8_t>(1u << ((state >> 29) & 7));
            });
            return false;
        }
        default: {
            // Odd replies: the data area of every read filled with 0xFF.
            server_.SetReplyHook([](std::uint8_t* block) {
                if ((block[0] & 0xFF) == 1) {
                    const std::uint32_t size = block[8] | block[9] << 8;
                    for (std::uint32_t i = 0; i < size && i < 8; ++i) {
                        block[16 + i] = 0xFF;
                    }
                }
            });
            return false;
        }
    }
}

void Soak::Heal() {
    server_.SetTimeoutsBeforeSuccess(0);
    server_.SetAnswer(1);
    server_.SetSendFailure(0, 0);
    server_.SetReplyHook(nullptr);
}

bool Soak::Step(std::string& broken) {
    Engine& e = *engine_;
    const auto before = e.state().window.chkFailureTypeEnabled;
    Pilot();
    User();
    const bool sound = Misbehave();
    const bool paused = server_.Space().ReadU16(kPauseOffset) == 1;
    const bool syncOn = e.state().settings.pauseWithSim == 1;
    clock_.Advance(1000);
    Heal();

    const auto& window = e.state().window;
    int newlyFailed = 0;
    for (int id = 0; id < kSystemCount; ++id) {
        if (!before[id] && window.chkFailureTypeEnabled[id]) {
            broken = "system " + std::to_string(id) + " may fail again";
            return false;
        }
        newlyFailed += before[id] && !window.chkFailureTypeEnabled[id] ? 1 : 0;
    }
    failures += newlyFailed;
    if (newlyFailed > 1) {
        broken = std::to_string(newlyFailed) + " systems failed in one check";
        return false;
    }
    const auto& leaks = e.state().continuing.tankLeak;
    const bool leaking = std::any_of(leaks.begin(), leaks.end(), [](bool l) { return l; });
    if (e.timer(TimerId::FuelLeak).Enabled() != leaking) {
        broken = leaking ? "a tank leaks but the leak timer is off"
                         : "the leak timer runs with no tank leaking";
        return false;
    }
    const bool checking = e.timer(TimerId::FailureEvent).Enabled();
    if (window.cmdActivateEnabled && checking) {
        broken = "the check timer runs while disabled";
        return false;
    }
    if (sound && syncOn && paused && e.state().settings.pauseWithSim == 1) {
        ++pausedChecks;
        if (checking || window.txtMessage.text != "Simulator Paused") {
            broken = "the check timer runs while the simulator is paused";
            return false;
        }
    }
    if (!link_.IsOpen()) {
        broken = "the link closed";
        return false;
    }
    const std::string& status = window.txtMessage.text;
    const std::string process = "Error in Process: ";
    if ((IsNumber(status) && !IsExchangeCode(status)) || status.rfind("Error in Write", 0) == 0 ||
        (status.rfind(process, 0) == 0 && !IsExchangeCode(status.substr(process.size())))) {
        broken = "unexpected status line '" + status + "'";
        return false;
    }
    return true;
}

bool Soak::Restart(std::string& broken) {
    Heal();
    quit_ = false;
    engine_->btnExit_Click();
    if (!quit_) {
        broken = "Exit did not leave: " + engine_->state().window.txtMessage.text;
        return false;
    }
    const std::string saved = WriteCFG(engine_->state().settings);
    engine_.reset();
    StartProgram();
    ++runs;
    if (!engine_->state().window.connectStatus) {
        broken = "the program did not connect again";
        return false;
    }
    if (WriteCFG(engine_->state().settings) != saved) {
        broken = "settings changed over Exit and start";
        return false;
    }
    return true;
}

TEST(Soak, AWeekOfSimulatedTimeWithAMisbehavingServer) {
    const std::int64_t seconds = EnvNumber("SKYFAULT_SOAK_SECONDS", 7 * 24 * 3600);
    const auto seed = static_cast<std::uint64_t>(EnvNumber("SKYFAULT_SOAK_SEED", 20240607));
    const auto started = std::chrono::steady_clock::now();
    Soak soak(seed);
    ASSERT_EQ(soak.engine().state().window.title, "Skyfault Connected");
    for (std::int64_t second = 0; second < seconds; ++second) {
        std::string broken;
        ASSERT_TRUE(soak.Step(broken))
            << "at simulated second " << second << " (seed " << seed << "): " << broken;
        if (second % (6 * 3600) == 6 * 3600 - 1) {
            ASSERT_TRUE(soak.Restart(broken))
                << "restart at simulated second " << second << ": " << broken;
        }
    }
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf(
        "soak: %lld simulated s in %.1f s wall; %d sends, %d failures, %d seconds with a "
        "misbehaving server, %d paused seconds checked, %d saves, %d runs\n",
        static_cast<long long>(seconds), wall, soak.server().Sends(), soak.failures,
        soak.faultSteps, soak.pausedChecks, soak.saves, soak.runs);
    // The run did meet what it is meant to meet.
    EXPECT_GT(soak.failures, 0);
    EXPECT_GT(soak.faultSteps, 0);
    EXPECT_GT(soak.pausedChecks, 0);
}

}  // namespace
}  // namespace skyfault::hardening
