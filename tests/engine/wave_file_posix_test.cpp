// The sound reader where FIFOs, devices and file names that are not UTF-8
// come in.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <initializer_list>
#include <utility>

#include "engine/wave_file.h"
#include "tests/support/engine_fixture.h"
#include "tests/support/wave_image.h"

namespace skyfault::engine {
namespace {

// No path makes a player's Open wait: not a FIFO nobody writes to, not an
// endless device. A user's Latin-1 path (not UTF-8) opens.
TEST(WaveFilePosixTest, OnlyPlayableRegularFilesOpenAndNothingWaits) {
    const testing::TempFolder dir;
    const std::string fifo = dir.path().string() + "/fifo.wav";
    const std::string named = dir.path().string() + "/alarme \xE9t\xE9.wav";
    testing::WriteFile(named, skyfault::testing::WaveImage(1, 2, 44100, 16, std::string(1800, 0)));
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const auto& [path, playable] : std::initializer_list<std::pair<std::string, bool>>{
             {fifo, false}, {"/dev/zero", false}, {named, true}}) {
        auto open = std::async(std::launch::async, [&path] { return ReadWaveFile(path); });
        if (open.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
            ::close(::open(fifo.c_str(), O_WRONLY | O_NONBLOCK));  // lets it go on
            ADD_FAILURE() << "Open waited: " << path;
        }
        EXPECT_EQ(open.get().has_value(), playable) << path;
    }
}

}  // namespace
}  // namespace skyfault::engine
