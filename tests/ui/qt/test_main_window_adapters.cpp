// The Qt adapters behind the engine: the timer on QTimer and the wave-sound
// player (the reader itself is the core's, tested in tests/engine).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <string>
#include <thread>
#include <utility>

#include "tests/support/wave_image.h"
#include "ui/qt/qt_sound_player.h"
#include "ui/qt/qt_timer.h"

namespace skyfault::ui {
namespace {

using skyfault::testing::WaveImage;

// Runs the event loop until `done` or two seconds have passed.
template <typename Done>
bool ProcessUntil(Done done) {
    QElapsedTimer watch;
    watch.start();
    while (!done() && watch.elapsed() < 2000) {
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return done();
}

TEST(QtTimerTest, TicksOnlyWhileEnabledWithAPositivePeriod) {
    QtTimerFactory factory;
    auto timer = factory.CreateTimer();
    EXPECT_FALSE(timer->Enabled());
    EXPECT_EQ(timer->Interval(), 0);
    int ticks = 0;
    timer->SetCallback([&ticks] { ++ticks; });

    timer->SetEnabled(true);  // period 0: never ticks
    EXPECT_TRUE(timer->Enabled());
    EXPECT_FALSE(static_cast<QtTimer&>(*timer).IsRunning());

    timer->SetInterval(5);
    EXPECT_TRUE(ProcessUntil([&ticks] { return ticks >= 3; }));

    timer->SetEnabled(false);
    const int stopped = ticks;
    QApplication::processEvents();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    QApplication::processEvents();
    EXPECT_EQ(ticks, stopped);
    EXPECT_EQ(timer->Interval(), 5);
}

TEST(QtTimerTest, EnablingAgainKeepsTheWaitAndANewPeriodRestartsIt) {
    QtTimer timer;
    timer.SetInterval(10000);
    EXPECT_FALSE(timer.IsRunning()) << "a disabled timer only keeps its period";
    timer.SetEnabled(true);
    ASSERT_TRUE(timer.IsRunning());
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    timer.SetEnabled(true);
    EXPECT_LE(timer.RemainingMs(), 9950) << "the wait under way goes on";

    timer.SetInterval(20000);
    EXPECT_GT(timer.RemainingMs(), 19000) << "a new period starts a new wait";
    EXPECT_EQ(timer.Interval(), 20000);

    timer.SetInterval(0);
    EXPECT_FALSE(timer.IsRunning());
    EXPECT_TRUE(timer.Enabled());
}

// --- The sound player ------------------------------------------------------

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
}

// What cannot be played is never opened, and no path makes Open wait: not a
// FIFO nobody writes to, not an endless device, not a sound a device cannot
// take (too low a rate, too many channels), not one over the size cap.
TEST(QtSoundPlayerTest, OnlyPlayableRegularFilesOpenAndNothingWaits) {
    // Removed by name bytes: QDir cannot name a file that is not UTF-8.
    struct Folder {
        std::string path = std::filesystem::temp_directory_path().string() + "/skyfault-sound-" +
                           std::to_string(::getpid());
        Folder() { std::filesystem::create_directories(path); }
        ~Folder() {
            std::error_code error;
            std::filesystem::remove_all(path, error);
        }
    } dir;
    const std::string& folder = dir.path;
    const std::string pcm(800, '\0');
    const std::string two(2, '\x01');
    WriteFile(folder + "/junk.wav", "not a wave file");
    WriteFile(folder + "/good.wav", WaveImage(1, 1, 8000, 16, pcm));
    // The user's own 8-bit bytes: Latin-1 "é", not UTF-8.
    WriteFile(folder + "/alarme \xE9t\xE9.wav", WaveImage(1, 2, 44100, 16, pcm));
    WriteFile(folder + "/1hz.wav", WaveImage(1, 1, 1, 16, two));
    WriteFile(folder + "/7999hz.wav", WaveImage(1, 1, 7999, 16, pcm));
    WriteFile(folder + "/33ch.wav", WaveImage(1, 33, 1, 16, std::string(66 * 100, '\0')));
    WriteFile(folder + "/9ch.wav", WaveImage(1, 9, 8000, 16, std::string(18 * 100, '\0')));
    // 40 MB of samples, mostly a hole in the file.
    std::string huge = WaveImage(1, 2, 48000, 16, std::string(4, '\0'));
    huge.replace(huge.size() - 8, 4, "\x00\x00\x80\x02", 4);
    WriteFile(folder + "/huge.wav", huge);
    std::filesystem::resize_file(folder + "/huge.wav", 40u << 20);
    const std::string fifo = folder + "/fifo.wav";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);

    QtSoundPlayer player;
    for (const auto& [path, playable] : std::initializer_list<std::pair<std::string, bool>>{
             {"", false},
             {folder + "/missing.wav", false},
             {folder + "/junk.wav", false},
             {folder, false},
             {fifo, false},
             {"/dev/zero", false},
             {"/dev/urandom", false},
             {folder + "/1hz.wav", false},
             {folder + "/7999hz.wav", false},
             {folder + "/33ch.wav", false},
             {folder + "/9ch.wav", false},
             {folder + "/huge.wav", false},
             {folder + "/good.wav", true},
             {folder + "/alarme \xE9t\xE9.wav", true},
         }) {
        SCOPED_TRACE(path);
        player.Close();
        auto open = std::async(std::launch::async, [&player, &path] { player.Open(path); });
        if (open.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
            const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);  // lets it go on
            if (writer >= 0) {
                ::close(writer);
            }
            open.wait();
            ADD_FAILURE() << "Open waited";
        }
        EXPECT_EQ(player.IsOpen(), playable);
        // The check a player makes before it hands a path to the system agrees.
        EXPECT_EQ(engine::CheckWaveFile(path), playable);
        if (!playable) {
            player.Play();
            EXPECT_FALSE(player.IsPlaying());
        }
    }
    player.Close();
    EXPECT_FALSE(player.IsOpen());
    EXPECT_FALSE(player.IsPlaying());
}

}  // namespace
}  // namespace skyfault::ui
