// Saving never loses the user's settings: on a full disk the old file stays
// whole and alone, and a saving process killed at random moments leaves the
// complete old or the complete new file (a folder where the file should be
// is in the engine's own tests, which also run under Wine).

#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <string>
#include <thread>

#include "settings/config.h"
#include "settings/model.h"
#include "tests/support/engine_fixture.h"
#include "tests/support/sim_process_posix.h"

namespace skyfault::engine::testing {
namespace {

TEST_F(EngineTest, SavingOnAFullDiskKeepsTheOldFileAndWorksAgainAfterwards) {
    WriteConfig(WriteCFG(FirstStartSettings()));
    const std::string old = ReadFile(configPath);
    Start();
    engine->SetAllowed(3, 0);
    const int refused = test_support::RunInChild([&] {
        signal(SIGXFSZ, SIG_IGN);  // writing past the limit fails with EFBIG
        const rlimit limit{100, 100};
        return setrlimit(RLIMIT_FSIZE, &limit) == 0 && !engine->WriteCFG() &&
                       Status().rfind(SaveErrorMessage(""), 0) == 0
                   ? 0
                   : 1;
    });
    EXPECT_EQ(refused, 0);
    EXPECT_EQ(ReadFile(configPath), old);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 1);
    ASSERT_TRUE(engine->WriteCFG()) << Status();
    EXPECT_NE(ReadFile(configPath).find("AttitudeIndicator=0\r\n"), std::string::npos);
}

TEST(SaveFaultTest, SavingProcessKilledAtRandomMomentsLeavesOneWholeFile) {
    TempFolder folder;
    const std::string path = (folder.path() / "skyfault.cfg").string();
    Settings second = FirstStartSettings();
    for (auto& list : second.systemStr) {
        list = std::string(400, '7');  // a larger file: a longer write to cut into
    }
    const std::string a = WriteCFG(FirstStartSettings());
    const std::string b = WriteCFG(second);
    WriteFile(path, a);
    // Kills land anywhere within about two saves of each content.
    const auto started = std::chrono::steady_clock::now();
    for (int round = 0; round < 3; ++round) {
        ASSERT_EQ(SaveConfigFile(path, b) + SaveConfigFile(path, a), "");
    }
    long long windowUs =
        std::max<long long>(4000, std::chrono::duration_cast<std::chrono::microseconds>(
                                      std::chrono::steady_clock::now() - started)
                                          .count() *
                                      2 / 3);
    std::mt19937 random(20240607);
    int seen[2] = {0, 0};
    for (int kill = 0; kill < 200; ++kill) {
        if (kill % 20 == 19 && (seen[0] == 0 || seen[1] == 0)) {
            windowUs *= 2;  // a child may save more slowly: spread the kills wider
        }
        const pid_t child = fork();
        if (child == 0) {
            for (;;) {
                SaveConfigFile(path, b);
                SaveConfigFile(path, a);
            }
        }
        std::this_thread::sleep_for(std::chrono::microseconds(
            std::uniform_int_distribution<long long>(0, windowUs)(random)));
        ::kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        const std::string now = ReadFile(path);
        ASSERT_TRUE(now == a || now == b) << "after kill " << kill << ": " << now.size();
        ++seen[now == a ? 0 : 1];
    }
    EXPECT_GT(seen[0], 0);  // the kills did land in the middle of saving
    EXPECT_GT(seen[1], 0);
}

}  // namespace
}  // namespace skyfault::engine::testing
