// Saving never loses the user's settings: a saving process killed at random
// moments leaves the complete old or the complete new file, never a mix, a
// short file or none. Refused saves are in the engine's and the settings'
// own tests.

#include <sys/wait.h>
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

namespace skyfault::engine::testing {
namespace {

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
    using namespace std::chrono;
    const auto started = steady_clock::now();
    for (int round = 0; round < 3; ++round) {
        ASSERT_EQ(SaveConfigFile(path, b) + SaveConfigFile(path, a), "");
    }
    long long windowUs = duration_cast<microseconds>(steady_clock::now() - started).count() * 2 / 3;
    windowUs = std::max(4000LL, windowUs);
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
        std::this_thread::sleep_for(
            microseconds(std::uniform_int_distribution<long long>(0, windowUs)(random)));
        ::kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        const std::string now = ReadFile(path);
        ASSERT_TRUE(now == a || now == b) << "after kill " << kill << ": " << now.size();
        ++seen[now == a ? 0 : 1];
    }
    EXPECT_GT(seen[0], 0);  // the kills did land in the middle of saving
    EXPECT_GT(seen[1], 0);
}

}  // namespace
}  // namespace skyfault::engine::testing
