// The engine keeps running when the server goes wrong, and never loses the
// user's settings when saving goes wrong: a folder it may not write to, a
// full disk, and a saving process killed at random moments (a folder where
// the file should be is in the engine's own tests, which also run under Wine).

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <thread>

#include "engine/engine.h"
#include "engine/manual_timer.h"
#include "link/link.h"
#include "link/transport_posix.h"
#include "settings/config.h"
#include "settings/model.h"
#include "tests/support/engine_fixture.h"
#include "tests/support/in_process_server.h"
#include "tests/support/sim_process_posix.h"

namespace skyfault::hardening {
namespace {

namespace fs = std::filesystem;
using engine::Engine;
using engine::TimerId;

using engine::testing::ReadFile;
using engine::testing::WriteFile;
using namespace test_support;

// Every entry of a folder but the one named.
int OtherEntries(const fs::path& folder, const std::string& except) {
    int count = 0;
    for (const auto& entry : fs::directory_iterator(folder)) {
        count += entry.path().filename() == except ? 0 : 1;
    }
    return count;
}

constexpr const char* kSaveErrorPrefix = "Could not save skyfault.cfg: ";

// --- The engine against skyfault-sim --------------------------------------

class EngineServerFaultTest : public ::testing::Test {
protected:
    RuntimeDir dir;
    std::unique_ptr<link::Transport> transport =
        link::MakeLocalTransport({50, [](std::uint32_t) {}});
    link::Link link{*transport};
    engine::ManualClock clock;
    engine::NullSoundPlayer sound;
    std::unique_ptr<Engine> engine;

    ~EngineServerFaultTest() override {
        engine.reset();
        link.LinkClose();
    }

    void Start(const std::string& config) {
        const std::string path = dir.Path() + "/skyfault.cfg";
        WriteFile(path, config);
        engine = std::make_unique<Engine>(
            Engine::Dependencies{link, clock, sound, nullptr, &clock, path});
        engine->Main();
    }
    const std::string& Status() const { return engine->state().window.txtMessage.text; }
};

TEST_F(EngineServerFaultTest, StatusLineShowsTheCodesAndExchangesWorkAgainAfterwards) {
    auto sim = std::make_unique<SimProcess>();
    ASSERT_TRUE(sim->Ready());
    Start("PauseWithSim=1\r\nActivated=1\r\n");
    ASSERT_EQ(engine->state().window.title, "Skyfault Connected");

    sim.reset();  // killed
    clock.Advance(1000);
    EXPECT_EQ(Status(), "12");

    sim = std::make_unique<SimProcess>(std::vector<std::string>{"--answer", "0"});
    ASSERT_TRUE(sim->Ready());
    clock.Advance(1000);
    EXPECT_EQ(Status(), "13");

    sim.reset();  // one server at a time on the meeting place
    sim = std::make_unique<SimProcess>(std::vector<std::string>{"--late", "300"});
    ASSERT_TRUE(sim->Ready());
    clock.Advance(1000);
    EXPECT_EQ(Status(), "11");

    // A sound server again: the pause is followed as before.
    sim.reset();
    sim = std::make_unique<SimProcess>();
    ASSERT_TRUE(sim->Ready());
    sim->Send("set pause 1");
    sim->Send("get pause");
    ASSERT_TRUE(sim->WaitFor("pause 1"));
    clock.Advance(1000);
    EXPECT_EQ(Status(), "Simulator Paused");
    EXPECT_FALSE(engine->timer(TimerId::FailureEvent).Enabled());
    sim->Send("set pause 0");
    sim->Send("get pause");
    ASSERT_TRUE(sim->WaitFor("pause 0"));
    clock.Advance(1000);
    EXPECT_EQ(Status(), "Simulator Active");
    EXPECT_TRUE(engine->timer(TimerId::FailureEvent).Enabled());
    EXPECT_TRUE(link.IsOpen());
}

TEST_F(EngineServerFaultTest, FailureWhileTheServerIsDownIsReportedAndTriedAgain) {
    auto sim = std::make_unique<SimProcess>();
    ASSERT_TRUE(sim->Ready());
    // Only ADF may fail, at every check, every second.
    std::string config = "Frequency=1\r\nPauseWithSim=0\r\nVisualNotification=1\r\n";
    for (const auto& system : Catalogue()) {
        config += ConfigKey(system.caption) + "=0\r\n";
    }
    config += "ADF=1\r\nADFStr=1,0,999,-50,100,-999,99999,C\r\n";
    Start(config);
    ASSERT_TRUE(engine->state().window.connectStatus);

    sim.reset();
    clock.Advance(1000);
    EXPECT_EQ(Status(), "Error in Process: 12");
    EXPECT_TRUE(engine->state().window.chkFailureTypeEnabled[0]);  // still eligible

    sim = std::make_unique<SimProcess>();
    ASSERT_TRUE(sim->Ready());
    clock.Advance(1000);
    EXPECT_EQ(Status(), "Failure: ADF");
    EXPECT_FALSE(engine->state().window.chkFailureTypeEnabled[0]);
    ASSERT_TRUE(sim->WaitFor("write 0x0B64 1 01"));
}

// --- Saving ------------------------------------------------------------------

class SaveFaultTest : public ::testing::Test {
protected:
    test_support::InProcessServer server;
    link::Link link{server};
    engine::ManualClock clock;
    engine::NullSoundPlayer sound;
    fs::path folder;
    fs::path path;
    std::string old;
    std::unique_ptr<Engine> engine;

    SaveFaultTest() {
        char pattern[] = "/tmp/skyfault-save-XXXXXX";
        folder = mkdtemp(pattern);
        path = folder / "skyfault.cfg";
    }
    ~SaveFaultTest() override {
        engine.reset();
        link.LinkClose();
        std::error_code ignored;
        fs::permissions(folder, fs::perms::owner_all, ignored);
        fs::remove_all(folder, ignored);
    }

    // Starts from a saved file, then changes a setting so that the next save
    // has something new to write.
    void StartFromSavedFile() {
        old = WriteCFG(FirstStartSettings());
        WriteFile(path, old);
        engine = std::make_unique<Engine>(
            Engine::Dependencies{link, clock, sound, nullptr, &clock, path.string()});
        engine->Main();
        engine->SetAllowed(3, 0);
        engine->cmdDisable_Click();
    }

    // Saves in a child process after `prepare` (run in the child); the exit
    // code is 0 when WriteCFG refused and told the user why.
    template <typename Prepare>
    int SaveInChild(Prepare prepare) {
        return RunInChild([&] {
            if (!prepare()) {
                return 3;
            }
            const bool saved = engine->WriteCFG();
            const std::string& status = engine->state().window.txtMessage.text;
            if (saved) {
                return 1;
            }
            return status.rfind(kSaveErrorPrefix, 0) == 0 ? 0 : 2;
        });
    }

    void ExpectOldFileAndNothingElse() {
        EXPECT_EQ(ReadFile(path), old);
        EXPECT_EQ(OtherEntries(folder, "skyfault.cfg"), 0);
    }

    // Once the fault is gone, the same engine saves its new state.
    void ExpectSaveWorksAgain() {
        ASSERT_TRUE(engine->WriteCFG()) << engine->state().window.txtMessage.text;
        const std::string saved = ReadFile(path);
        EXPECT_NE(saved, old);
        EXPECT_NE(saved.find("AttitudeIndicator=0\r\n"), std::string::npos);
        EXPECT_NE(saved.find("Activated=0\r\n"), std::string::npos);
    }
};

TEST_F(SaveFaultTest, ReadOnlyFolder) {
    StartFromSavedFile();
    if (geteuid() == 0) {
        // Root writes anywhere: save as another user.
        ASSERT_EQ(chmod(folder.c_str(), 0755), 0);
        EXPECT_EQ(SaveInChild([] { return setgid(65534) == 0 && setuid(65534) == 0; }), 0);
    } else {
        ASSERT_EQ(chmod(folder.c_str(), 0555), 0);
        EXPECT_FALSE(engine->WriteCFG());
        EXPECT_EQ(engine->state().window.txtMessage.text.rfind(kSaveErrorPrefix, 0), 0u);
        ASSERT_EQ(chmod(folder.c_str(), 0700), 0);
    }
    ExpectOldFileAndNothingElse();
    ExpectSaveWorksAgain();
}

TEST_F(SaveFaultTest, FullDisk) {
    StartFromSavedFile();
    EXPECT_EQ(SaveInChild([] {
                  // Writing past the limit fails with EFBIG instead of a signal.
                  signal(SIGXFSZ, SIG_IGN);
                  const rlimit limit{100, 100};
                  return setrlimit(RLIMIT_FSIZE, &limit) == 0;
              }),
              0);
    ExpectOldFileAndNothingElse();
    ExpectSaveWorksAgain();
}

// A saving process killed at random moments leaves either the complete old
// or the complete new file, never a mix, a short file or none.
TEST_F(SaveFaultTest, SavingProcessKilledAtRandomMoments) {
    Settings first = FirstStartSettings();
    Settings second = FirstStartSettings();
    second.rateDenominator = "250";
    for (auto& list : second.systemStr) {
        list = std::string(400, '7');  // a larger file: a longer write to cut into
    }
    const std::string a = WriteCFG(first);
    const std::string b = WriteCFG(second);
    ASSERT_NE(a.size(), b.size());
    WriteFile(path, a);

    // Kills land anywhere within about two saves of each content, however
    // long a save takes on this machine at this moment.
    const auto started = std::chrono::steady_clock::now();
    for (int round = 0; round < 3; ++round) {
        ASSERT_EQ(SaveConfigFile(path.string(), b), "");
        ASSERT_EQ(SaveConfigFile(path.string(), a), "");
    }
    const auto pairUs = std::chrono::duration_cast<std::chrono::microseconds>(
                            std::chrono::steady_clock::now() - started)
                            .count() /
                        3;
    std::mt19937 random(20240607);
    long long windowUs = std::max<long long>(4000, 2 * pairUs);
    int sawA = 0;
    int sawB = 0;
    constexpr int kKills = 200;
    for (int kill = 0; kill < kKills; ++kill) {
        // A child may save more slowly than this process did (a fresh fork,
        // a loaded machine): while the kills keep finding one content only,
        // they are spread wider.
        if (kill % 20 == 19 && (sawA == 0 || sawB == 0)) {
            windowUs *= 2;
        }
        std::uniform_int_distribution<long long> delayUs(0, windowUs);
        const pid_t child = fork();
        if (child == 0) {
            for (;;) {
                SaveConfigFile(path.string(), b);
                SaveConfigFile(path.string(), a);
            }
        }
        std::this_thread::sleep_for(std::chrono::microseconds(delayUs(random)));
        ::kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        const std::string now = ReadFile(path);
        ASSERT_TRUE(now == a || now == b)
            << "after kill " << kill << ": " << now.size() << " bytes";
        (now == a ? sawA : sawB) += 1;
    }
    // Both contents were seen: the kills did land in the middle of saving.
    EXPECT_GT(sawA, 0);
    EXPECT_GT(sawB, 0);
    const int leftovers = OtherEntries(folder, "skyfault.cfg");
    std::printf(
        "%d kills within %lld us: old %d, new %d; %d unfinished temporary files left beside\n",
        kKills, windowUs, sawA, sawB, leftovers);
}

}  // namespace
}  // namespace skyfault::hardening
