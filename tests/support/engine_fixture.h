#pragma once

// A running engine on a manual clock against a server in the test's process,
// with a configuration file of the test's own.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "engine/manual_timer.h"
#include "link/link.h"
#include "tests/support/in_process_server.h"

namespace skyfault::engine::testing {

// Records every player command as "Close", "Open:<path>" or "Play".
class RecordingSound final : public SoundPlayer {
public:
    void Close() override { commands.push_back("Close"); }
    void Open(const std::string& path) override { commands.push_back("Open:" + path); }
    void Play() override { commands.push_back("Play"); }
    std::vector<std::string> commands;
};

// The real generator, recording the seeds it is given.
class RecordingRandom final : public RandomSource {
public:
    void Seed(double seed) override {
        seeds.push_back(seed);
        inner_.Seed(seed);
    }
    double Next() override {
        ++draws;
        return inner_.Next();
    }
    std::vector<double> seeds;
    int draws = 0;

private:
    SeededRandom inner_;
};

// A folder of its own under the temporary folder, removed afterwards.
class TempFolder {
public:
    TempFolder() {
        std::random_device device;
        path_ = std::filesystem::temp_directory_path() /
                ("skyfault-engine-" + std::to_string(device()) + "-" + std::to_string(device()));
        std::filesystem::create_directories(path_);
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

inline std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

// The list of a system that fails at every draw and whose windows hold
// for the stand-in's starting values (120 kt, 15 degrees C, 328 ft).
inline constexpr const char* kAlwaysList = "1,0,999,-50,100,-999,99999,C";

class EngineTest : public ::testing::Test {
protected:
    test_support::InProcessServer server;
    link::Link link{server};
    ManualClock clock;
    RecordingSound sound;
    RecordingRandom random;
    TempFolder folder;
    std::filesystem::path configPath = folder.path() / "skyfault.cfg";
    std::unique_ptr<Engine> engine;
    int quits = 0;
    int changes = 0;

    ~EngineTest() override {
        engine.reset();
        link.LinkClose();
    }

    void WriteConfig(const std::string& text) { WriteFile(configPath, text); }

    // Makes the engine and runs Main, as the program's start does.
    void Start() {
        engine = std::make_unique<Engine>(
            Engine::Dependencies{link, clock, sound, &random, &clock, configPath.string()});
        engine->SetChangedCallback([this] { ++changes; });
        engine->SetQuitCallback([this] { ++quits; });
        engine->Main();
    }

    // Starts with only `systemId` allowed, with the given comma list.
    void StartWithOnly(int systemId, const std::string& list) {
        Start();
        for (int id = 0; id < kSystemCount; ++id) {
            engine->SetAllowed(id, id == systemId ? 1 : 0);
        }
        engine->settings().systemStr[systemId] = list;
        engine->SetPauseWithSim(0);  // no pause reads in the log
        server.ClearLog();
    }

    const EngineState& state() const { return engine->state(); }
    Timer& timer(TimerId id) { return engine->timer(id); }
    int FailedCount() const {
        int count = 0;
        for (bool enabled : state().window.chkFailureTypeEnabled) {
            count += enabled ? 0 : 1;
        }
        return count;
    }
    // Advances to just after the next failure check.
    void NextCheck() { clock.Advance(timer(TimerId::FailureEvent).Interval()); }
};

inline std::uint32_t ValueOf(const test_support::Access& access) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < access.bytes.size() && i < 4; ++i) {
        value |= static_cast<std::uint32_t>(access.bytes[i]) << (8 * i);
    }
    return value;
}

}  // namespace skyfault::engine::testing
