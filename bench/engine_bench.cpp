// The failure engine's timer handlers against the in-process server: one
// tick of the failure check with and without a hit, and one tick of each
// continuing failure.

#include <benchmark/benchmark.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_util.h"
#include "engine/engine.h"
#include "engine/sources.h"
#include "link/link.h"
#include "settings/catalogue.h"
#include "sim/sim_core.h"
#include "tests/support/in_process_server.h"
#include "tests/support/manual_clock.h"

namespace skyfault::bench {
namespace {

// Hands everything to the in-process server, but leaves the server's own
// work out of the allocation count: it stands in for the simulator, whose
// allocations are not the program's. Its time is measured all the same.
class UncountedServerTransport final : public link::Transport {
public:
    explicit UncountedServerTransport(test_support::InProcessServer& server) : server_(server) {}

    std::uintptr_t FindServerWindow(std::string_view className) override {
        return server_.FindServerWindow(className);
    }
    void ReleaseWindow(std::uintptr_t window) override { server_.ReleaseWindow(window); }
    bool WindowExists(std::uintptr_t window) override { return server_.WindowExists(window); }
    std::uint32_t RegisterMessage(std::string_view name) override {
        return server_.RegisterMessage(name);
    }
    std::uint32_t CurrentProcessId() override { return server_.CurrentProcessId(); }
    std::uint16_t AddAtom(std::string_view name) override { return server_.AddAtom(name); }
    void DeleteAtom(std::uint16_t atom) override { server_.DeleteAtom(atom); }
    std::uintptr_t CreateMapping(std::string_view name, std::uint32_t size,
                                 bool& alreadyExisted) override {
        return server_.CreateMapping(name, size, alreadyExisted);
    }
    std::uint8_t* MapView(std::uintptr_t mapping) override { return server_.MapView(mapping); }
    void UnmapView(std::uint8_t* view) override { server_.UnmapView(view); }
    void CloseMapping(std::uintptr_t mapping) override { server_.CloseMapping(mapping); }
    bool SendMessageTimeout(std::uintptr_t window, std::uint32_t message, std::int32_t wParam,
                            std::int32_t lParam, std::uint32_t timeoutMs, std::uint32_t& answer,
                            std::uint32_t& lastError) override {
        const UncountedScope uncounted;
        const auto start = std::chrono::steady_clock::now();
        const bool sent = server_.SendMessageTimeout(window, message, wParam, lParam, timeoutMs,
                                                     answer, lastError);
        serverTime_ += std::chrono::steady_clock::now() - start;
        return sent;
    }
    // The time spent in the server so far.
    std::chrono::nanoseconds ServerTime() const { return serverTime_; }
    void Sleep(std::uint32_t milliseconds) override { server_.Sleep(milliseconds); }

private:
    test_support::InProcessServer& server_;
    std::chrono::nanoseconds serverTime_{0};
};

// Reports the time spent in the in-process server (which stands in for the
// simulator: it carries the block out and keeps a record of each send) as a
// per-iteration counter ("server_ns"), so that the engine's own share shows.
void ReportServerTime(benchmark::State& state, std::chrono::nanoseconds serverTime) {
    state.counters["server_ns"] = benchmark::Counter(static_cast<double>(serverTime.count()),
                                                     benchmark::Counter::kAvgIterations);
}

// The list every system has after a first start (default rate 1 in 1000).
constexpr char kDefaultList[] = "1000,0,999,-50,100,-999,99999,D";
// Rate 1 (every draw hits) and windows that every value read passes.
constexpr char kAlwaysHitList[] = "1,-1000,1000,-1000,1000,-1000,1000000,C";

// The program's generator, with its values moved into [1/1000, 1): still
// uniform there, so that the examination order is drawn as usual, but no
// draw of a system at rate 1000 (or less often) ever hits.
class NeverHittingRandom final : public engine::RandomSource {
public:
    void Seed(double seed) override { generator_.Seed(seed); }
    double Next() override { return kLowest + generator_.Next() * (1.0 - kLowest); }

private:
    static constexpr double kLowest = 1.0 / 1000.0;
    engine::SeededRandom generator_;
};

using namespace skyfault::system_id;

// A server, an open link to it, and a clock for the engines' timers.
struct Rig {
    test_support::InProcessServer server;
    UncountedServerTransport transport{server};
    link::Link link{transport};
    test_support::ManualClock clock;
    engine::NullSoundPlayer sound;
    NeverHittingRandom random;
    bool open = false;

    Rig() {
        std::int32_t result = 0;
        link.LinkInitialize();
        open = link.LinkOpen(0, result);
        server.Space().WriteU32(sim::offsets::kIndicatedAirspeed, 120 * 128);
        server.Space().WriteU16(sim::offsets::kOutsideAirTemperature, 15 * 256);
        server.Space().WriteU16(sim::offsets::kGroundAltitude, 300);
    }

    // An engine as the program has it after a first start, with every
    // system allowed and the notifications on: the default lists, the real
    // clock, the generator that never hits. No configuration file is read
    // (Main is not called).
    std::unique_ptr<engine::Engine> MakeEngine() {
        auto made = std::make_unique<engine::Engine>(
            engine::Engine::Dependencies{.link = link,
                                         .timers = clock,
                                         .sound = sound,
                                         .random = &random,
                                         .configPath = "/nonexistent",
                                         .logPath = "/nonexistent/skyfault-log.csv"});
        Settings& settings = made->settings();
        settings.audioNotify = true;
        settings.visualNotify = true;
        for (int id = 0; id < kSystemCount; ++id) {
            settings.allowed[id] = 1;
            settings.systemStr[id] = kDefaultList;
        }
        return made;
    }
};

void BM_FailureTick_NoHit(benchmark::State& state) {
    Rig rig;
    if (!rig.open) {
        state.SkipWithError("the link did not open");
        return;
    }
    const auto engine = rig.MakeEngine();
    engine->tmrFailureEvent_Timer();  // first use
    const int sendsBefore = rig.server.Sends();
    const std::uint64_t before = AllocationCount();
    for (auto _ : state) {
        engine->tmrFailureEvent_Timer();
    }
    ReportAllocations(state, AllocationCount() - before);
    ReportExchanges(state, static_cast<std::uint64_t>(rig.server.Sends() - sendsBefore));
    for (bool notFailed : engine->state().window.chkFailureTypeEnabled) {
        if (!notFailed) {
            state.SkipWithError("a system failed: the tick did not stay without a hit");
        }
    }
}
BENCHMARK(BM_FailureTick_NoHit);

// A hit on ADF (rate 1, windows passed), the other 24 systems allowed at
// the default rate but never hit: three reads and ADF's write. A system fails once per run, so
// each measurement ticks a batch of fresh engines made beforehand, outside
// the measured time.
void BM_FailureTick_Hit(benchmark::State& state) {
    Rig rig;
    if (!rig.open) {
        state.SkipWithError("the link did not open");
        return;
    }
    constexpr int kBatch = 32;
    std::vector<std::unique_ptr<engine::Engine>> engines(kBatch);
    std::uint64_t allocations = 0;
    std::int64_t sends = 0;
    std::int64_t ticks = 0;
    std::chrono::nanoseconds serverTime{0};
    for (auto _ : state) {
        for (auto& made : engines) {
            made = rig.MakeEngine();
            made->settings().systemStr[kADF] = kAlwaysHitList;
        }
        rig.server.ClearLog();
        const int sendsBefore = rig.server.Sends();
        const std::uint64_t before = AllocationCount();
        const auto serverBefore = rig.transport.ServerTime();
        const auto start = std::chrono::steady_clock::now();
        for (auto& made : engines) {
            made->tmrFailureEvent_Timer();
        }
        const auto stop = std::chrono::steady_clock::now();
        serverTime += rig.transport.ServerTime() - serverBefore;
        allocations += AllocationCount() - before;
        sends += rig.server.Sends() - sendsBefore;
        ticks += kBatch;
        state.SetIterationTime(std::chrono::duration<double>(stop - start).count() / kBatch);
        for (const auto& made : engines) {
            if (made->state().window.chkFailureTypeEnabled[kADF]) {
                state.SkipWithError("ADF did not fail");
                return;
            }
        }
    }
    ReportAllocations(state, ticks == 0 ? 0 : allocations * state.iterations() / ticks);
    ReportServerTime(
        state, ticks == 0 ? std::chrono::nanoseconds{0} : serverTime * state.iterations() / ticks);
    ReportExchanges(state, ticks == 0 ? 0
                                      : static_cast<std::uint64_t>(sends) *
                                            static_cast<std::uint64_t>(state.iterations()) /
                                            static_cast<std::uint64_t>(ticks));
}
BENCHMARK(BM_FailureTick_Hit)->UseManualTime();

// One engine with Engine 1, Left Tank, Landing Gear and Flaps failed, so
// that every continuing failure is armed.
struct ContinuingRig : Rig {
    std::unique_ptr<engine::Engine> engine;
    static constexpr std::uint32_t kFullTank = 0x7FFF0000;

    ContinuingRig() {
        engine = MakeEngine();
        server.Space().WriteU32(sim::offsets::kLeftTank, kFullTank);
        for (int id : {kEngine1, kLeftTank, kLandingGear, kFlaps}) {
            engine->FailSystem(static_cast<std::int16_t>(id));
        }
        server.ClearLog();
    }

    bool Armed() const {
        const engine::ContinuingFailureState& c = engine->state().continuing;
        return open && c.engineOut[0] && c.tankLeak[0];
    }
};

using Handler = void (engine::Engine::*)();

void RunContinuing(benchmark::State& state, Handler handler, bool refillTank) {
    ContinuingRig rig;
    if (!rig.Armed()) {
        state.SkipWithError("the continuing failures are not armed");
        return;
    }
    (rig.engine.get()->*handler)();  // first use
    const int sendsBefore = rig.server.Sends();
    const auto serverBefore = rig.transport.ServerTime();
    std::uint64_t allocations = 0;
    std::uint64_t before = AllocationCount();
    std::int64_t iteration = 0;
    for (auto _ : state) {
        (rig.engine.get()->*handler)();
        if ((iteration & 1023) == 1023) {
            allocations += AllocationCount() - before;
            state.PauseTiming();
            rig.server.ClearLog();
            if (refillTank) {
                rig.server.Space().WriteU32(sim::offsets::kLeftTank, ContinuingRig::kFullTank);
            }
            state.ResumeTiming();
            before = AllocationCount();
        }
        ++iteration;
    }
    allocations += AllocationCount() - before;
    ReportAllocations(state, allocations);
    ReportExchanges(state, static_cast<std::uint64_t>(rig.server.Sends() - sendsBefore));
    ReportServerTime(state, rig.transport.ServerTime() - serverBefore);
    if (refillTank && !rig.engine->state().continuing.tankLeak[0]) {
        state.SkipWithError("the tank ran dry during the run");
    }
}

void BM_ContinuingTick_EngineOut(benchmark::State& state) {
    RunContinuing(state, &engine::Engine::tmrEngineOut_Timer, false);
}
BENCHMARK(BM_ContinuingTick_EngineOut);

void BM_ContinuingTick_FuelLeak(benchmark::State& state) {
    RunContinuing(state, &engine::Engine::tmrFuelLeak_Timer, true);
}
BENCHMARK(BM_ContinuingTick_FuelLeak);

void BM_ContinuingTick_GearStuck(benchmark::State& state) {
    RunContinuing(state, &engine::Engine::tmrGearStuck_Timer, false);
}
BENCHMARK(BM_ContinuingTick_GearStuck);

void BM_ContinuingTick_FlapsStuck(benchmark::State& state) {
    RunContinuing(state, &engine::Engine::tmrFlapsStuck_Timer, false);
}
BENCHMARK(BM_ContinuingTick_FlapsStuck);

}  // namespace
}  // namespace skyfault::bench
