// The Qt adapters behind the engine: the timer on QTimer and the wave-sound
// player (the reader itself is the core's, tested in tests/engine).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <string>
#include <thread>

#include "tests/support/engine_fixture.h"
#include "tests/support/wave_image.h"
#include "ui/qt/qt_sound_player.h"
#include "ui/qt/qt_timer.h"

namespace skyfault::ui {
namespace {

using skyfault::testing::WaveImage;

// Ticks only while enabled with a period; enabling again keeps the wait under
// way, a new period starts a new one.
TEST(QtTimerTest, TicksWhileEnabledAndANewPeriodRestartsTheWait) {
    QtTimer timer;
    int ticks = 0;
    timer.SetCallback([&ticks] { ++ticks; });
    timer.SetEnabled(true);
    EXPECT_FALSE(timer.IsRunning()) << "period 0 never ticks";
    timer.SetInterval(5);
    EXPECT_TRUE(QTest::qWaitFor([&ticks] { return ticks >= 3; }, 2000));
    timer.SetEnabled(false);
    const int stopped = ticks;
    QTest::qWait(20);
    EXPECT_EQ(ticks, stopped);

    timer.SetInterval(10000);
    EXPECT_FALSE(timer.IsRunning()) << "a disabled timer only keeps its period";
    timer.SetEnabled(true);
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    timer.SetEnabled(true);
    EXPECT_LE(timer.RemainingMs(), 9950);
    timer.SetInterval(20000);
    EXPECT_GT(timer.RemainingMs(), 19000);
}

// Only a playable regular file opens, and no path makes Open wait: not a FIFO
// nobody writes to, not an endless device, not too low a rate or too many
// channels. A user's Latin-1 path (not UTF-8) opens.
TEST(QtSoundPlayerTest, OnlyPlayableRegularFilesOpenAndNothingWaits) {
    const engine::testing::TempFolder dir;
    const std::string folder = dir.path().string();
    const auto write = [&folder](const std::string& name, const std::string& bytes) {
        std::ofstream(folder + name, std::ios::binary) << bytes;
        return folder + name;
    };
    const std::string pcm(800, '\0');
    const std::string fifo = folder + "/fifo.wav";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);

    QtSoundPlayer player;
    for (const auto& [path, playable] : std::initializer_list<std::pair<std::string, bool>>{
             {folder + "/missing.wav", false},
             {write("/junk.wav", "not a wave file"), false},
             {folder, false},
             {fifo, false},
             {"/dev/zero", false},
             {write("/7999hz.wav", WaveImage(1, 1, 7999, 16, pcm)), false},
             {write("/9ch.wav", WaveImage(1, 9, 8000, 16, std::string(1800, '\0'))), false},
             {write("/good.wav", WaveImage(1, 1, 8000, 16, pcm)), true},
             {write("/alarme \xE9t\xE9.wav", WaveImage(1, 2, 44100, 16, pcm)), true},
         }) {
        SCOPED_TRACE(path);
        player.Close();
        auto open = std::async(std::launch::async, [&player, &path] { player.Open(path); });
        if (open.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
            ::close(::open(fifo.c_str(), O_WRONLY | O_NONBLOCK));  // lets it go on
            open.wait();
            ADD_FAILURE() << "Open waited";
        }
        EXPECT_EQ(player.IsOpen(), playable);
        if (!playable) {
            player.Play();
            EXPECT_FALSE(player.IsPlaying());
        }
    }
    player.Close();
    EXPECT_FALSE(player.IsPlaying());
}

}  // namespace
}  // namespace skyfault::ui
