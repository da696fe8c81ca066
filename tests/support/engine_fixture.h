#pragma once

// A running engine on a manual clock against a server in the test's process,
// with a configuration file of the test's own.

#include <gtest/gtest.h>

#include <algorithm>
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
    double Next() override { return inner_.Next(); }
    std::vector<double> seeds;

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
    std::ofstream(path, std::ios::binary) << bytes;
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

    ~EngineTest() override { Stop(); }

    void WriteConfig(const std::string& text) { WriteFile(configPath, text); }
    void Make() {
        engine = std::make_unique<Engine>(
            Engine::Dependencies{link, clock, sound, &random, &clock, configPath.string()});
        engine->SetQuitCallback([this] { ++quits; });
    }
    // Makes the engine and runs Main, as the program's start does.
    void Start() {
        Make();
        engine->Main();
    }
    void Stop() {
        engine.reset();
        link.LinkClose();
    }
    // Starts with only `systemId` allowed, with the given comma list.
    void StartWithOnly(int systemId, const std::string& list) {
        Stop();
        Start();
        for (int id = 0; id < kSystemCount; ++id) {
            engine->SetAllowed(id, id == systemId ? 1 : 0);
        }
        engine->settings().systemStr[systemId] = list;
        engine->SetPauseWithSim(0);  // no pause reads in the log
        server.ClearLog();
    }

    const EngineState& state() const { return engine->state(); }
    const std::string& Status() const { return state().window.txtMessage.text; }
    Timer& timer(TimerId id) { return engine->timer(id); }
    int FailedCount() const {
        const auto& boxes = state().window.chkFailureTypeEnabled;
        return static_cast<int>(std::count(boxes.begin(), boxes.end(), false));
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
