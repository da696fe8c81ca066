#pragma once

// A running engine on a manual clock against a server in the test's process,
// with a configuration file of the test's own.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "link/link.h"
#include "tests/support/in_process_server.h"
#include "tests/support/manual_clock.h"

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
    void Seed(double seed) override { inner_.Seed(seeds.emplace_back(seed)); }
    double Next() override { return inner_.Next(); }
    std::vector<double> seeds;

private:
    SeededRandom inner_;
};

// A folder of its own under the temporary folder, removed afterwards.
class TempFolder {
public:
    TempFolder() { std::filesystem::create_directories(path_); }
    ~TempFolder() { std::filesystem::remove_all(path_, ignored_); }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_ = std::filesystem::temp_directory_path() /
                                  ("skyfault-engine-" + std::to_string(std::random_device{}()) +
                                   "-" + std::to_string(std::random_device{}()));
    std::error_code ignored_;
};

inline std::string ReadFile(const std::filesystem::path& path) {
    return {std::istreambuf_iterator<char>(std::ifstream(path, std::ios::binary).rdbuf()), {}};
}

// A path as the engine takes it: UTF-8 (on Windows too).
inline std::string Utf8(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return {text.begin(), text.end()};
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
    test_support::ManualClock clock;
    RecordingSound sound;
    RecordingRandom random;
    TempFolder folder;
    std::filesystem::path configPath = folder.path() / "skyfault.cfg";
    std::filesystem::path logPath = folder.path() / "skyfault-log.csv";
    std::unique_ptr<Engine> engine;
    int quits = 0;

    ~EngineTest() override { Stop(); }

    void WriteConfig(const std::string& text) { WriteFile(configPath, text); }
    void Make() {
        engine = std::make_unique<Engine>(Engine::Dependencies{
            link, clock, sound, &random, &clock, configPath.string(), &clock, Utf8(logPath)});
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
    // Starts with only `systemId` allowed, with the given comma list, and
    // with nothing logged or played yet.
    void StartWithOnly(int systemId, const std::string& list) {
        Stop();
        Start();
        for (int id = 0; id < kSystemCount; ++id) {
            engine->SetAllowed(id, id == systemId ? 1 : 0);
        }
        engine->settings().systemStr[systemId] = list;
        engine->SetPauseWithSim(0);  // no pause reads in the log
        server.ClearLog();
        sound.commands.clear();
    }

    const EngineState& state() const { return engine->state(); }
    const std::string& Status() const { return state().window.txtMessage.text; }
    Timer& timer(TimerId id) { return engine->timer(id); }
    int FailedCount() const {
        return static_cast<int>(std::ranges::count(state().window.chkFailureTypeEnabled, false));
    }
    // Advances to just after the next failure check.
    void NextCheck() { clock.Advance(timer(TimerId::FailureEvent).Interval()); }
};

// The little-endian value of up to four bytes written or read.
inline std::uint32_t ValueOf(const test_support::Access& access) {
    std::uint32_t value = 0;
    std::memcpy(&value, access.bytes.data(), std::min<std::size_t>(access.bytes.size(), 4));
    return value;
}

}  // namespace skyfault::engine::testing
