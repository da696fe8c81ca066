// The Qt adapters behind the engine: the timer on QTimer and the wave-sound
// player's file reader.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <thread>
#include <vector>

#include "ui/qt/qt_sound_player.h"
#include "ui/qt/qt_timer.h"

namespace skyfault::ui {
namespace {

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

// --- Wave files ------------------------------------------------------------

void Put(QByteArray& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.append(static_cast<char>((value >> (8 * i)) & 0xFF));
    }
}

// A RIFF/WAVE image with the given format chunk fields and data bytes; an
// odd-sized chunk of other matter may stand before the data.
QByteArray Wave(std::uint16_t format, int channels, int rate, int bits, const QByteArray& data,
                bool extensible = false, bool oddChunkFirst = false) {
    QByteArray fmt;
    Put(fmt, extensible ? 0xFFFE : format, 2);
    Put(fmt, static_cast<std::uint32_t>(channels), 2);
    Put(fmt, static_cast<std::uint32_t>(rate), 4);
    Put(fmt, static_cast<std::uint32_t>(rate * channels * bits / 8), 4);
    Put(fmt, static_cast<std::uint32_t>(channels * bits / 8), 2);
    Put(fmt, static_cast<std::uint32_t>(bits), 2);
    if (extensible) {
        Put(fmt, 22, 2);
        Put(fmt, static_cast<std::uint32_t>(bits), 2);
        Put(fmt, 0, 4);
        Put(fmt, format, 2);
        fmt.append(QByteArray("\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 14));
    }
    QByteArray body = "WAVE";
    body += "fmt ";
    Put(body, static_cast<std::uint32_t>(fmt.size()), 4);
    body += fmt;
    if (oddChunkFirst) {
        body += "LIST";
        Put(body, 3, 4);
        body += QByteArray("abc\0", 4);  // padded to an even size
    }
    body += "data";
    Put(body, static_cast<std::uint32_t>(data.size()), 4);
    body += data;
    QByteArray file = "RIFF";
    Put(file, static_cast<std::uint32_t>(body.size()), 4);
    return file + body;
}

std::vector<int> Samples(const WaveSound& sound) {
    std::vector<int> out;
    for (qsizetype i = 0; i + 1 < sound.samples.size(); i += 2) {
        out.push_back(
            static_cast<std::int16_t>(static_cast<std::uint8_t>(sound.samples[i]) |
                                      static_cast<std::uint8_t>(sound.samples[i + 1]) << 8));
    }
    return out;
}

TEST(ParseWaveTest, ReadsEveryCodingTo16Bits) {
    QByteArray pcm16;
    Put(pcm16, 0x1234, 2);
    Put(pcm16, 0x8000, 2);
    auto sound = ParseWave(Wave(1, 1, 22050, 16, pcm16));
    ASSERT_TRUE(sound);
    EXPECT_EQ(sound->sampleRate, 22050);
    EXPECT_EQ(sound->channels, 1);
    EXPECT_EQ(Samples(*sound), (std::vector<int>{0x1234, -32768}));

    const QByteArray pcm8("\x80\xFF\x00\x40", 4);
    sound = ParseWave(Wave(1, 2, 8000, 8, pcm8));
    ASSERT_TRUE(sound);
    EXPECT_EQ(sound->channels, 2);
    EXPECT_EQ(sound->FrameCount(), 2);
    EXPECT_EQ(Samples(*sound), (std::vector<int>{0, 127 * 256, -32768, -64 * 256}));

    QByteArray pcm24;
    Put(pcm24, 0x7FFFFF, 3);
    Put(pcm24, 0x800000, 3);
    sound = ParseWave(Wave(1, 1, 48000, 24, pcm24, /*extensible=*/true));
    ASSERT_TRUE(sound);
    EXPECT_EQ(Samples(*sound), (std::vector<int>{32767, -32768}));

    QByteArray float32;
    for (const float v : {0.5f, -1.0f, 2.0f}) {
        Put(float32, std::bit_cast<std::uint32_t>(v), 4);
    }
    sound = ParseWave(Wave(3, 1, 44100, 32, float32, false, /*oddChunkFirst=*/true));
    ASSERT_TRUE(sound);
    EXPECT_EQ(Samples(*sound), (std::vector<int>{16384, -32767, 32767}));
}

TEST(ParseWaveTest, RefusesWhatItCannotPlay) {
    QByteArray two;
    Put(two, 1, 2);
    EXPECT_FALSE(ParseWave(QByteArray()));
    EXPECT_FALSE(ParseWave(QByteArray("RIFF\0\0\0\0WAVEjunk", 16)));
    EXPECT_FALSE(ParseWave(QByteArray(1000, 'x')));
    EXPECT_FALSE(ParseWave(Wave(2, 1, 8000, 4, two))) << "ADPCM";
    EXPECT_FALSE(ParseWave(Wave(1, 1, 8000, 12, two)));
    EXPECT_FALSE(ParseWave(Wave(1, 0, 8000, 16, two)));
    EXPECT_FALSE(ParseWave(Wave(1, 1, 8000, 16, QByteArray()))) << "no samples";
    QByteArray data = Wave(1, 1, 8000, 16, two);
    data.remove(data.indexOf("fmt "), 24);  // data before any format
    EXPECT_FALSE(ParseWave(data));
}

TEST(ParseWaveTest, PlaysWhatIsThereOfAFileCutShort) {
    QByteArray pcm;
    for (int i = 0; i < 100; ++i) {
        Put(pcm, static_cast<std::uint32_t>(i), 2);
    }
    QByteArray file = Wave(1, 1, 8000, 16, pcm);
    file.chop(51);  // 25 whole samples and half of one gone
    const auto sound = ParseWave(file);
    ASSERT_TRUE(sound);
    EXPECT_EQ(sound->FrameCount(), 74);
}

TEST(ConvertWaveTest, KeepsTheLengthAcrossRatesAndChannels) {
    WaveSound mono;
    mono.sampleRate = 8000;
    mono.channels = 1;
    for (int i = 0; i < 8000; ++i) {
        const auto v = static_cast<std::int16_t>(std::lround(10000 * std::sin(i * 0.1)));
        mono.samples.append(static_cast<char>(v & 0xFF));
        mono.samples.append(static_cast<char>((v >> 8) & 0xFF));
    }
    const WaveSound stereo = ConvertWave(mono, 48000, 2);
    EXPECT_EQ(stereo.FrameCount(), 48000);
    const auto s = Samples(stereo);
    EXPECT_EQ(s[0], s[1]);
    EXPECT_EQ(s[600], Samples(mono)[50]);  // frame 300 of 48000 is frame 50 of 8000
    const WaveSound back = ConvertWave(stereo, 8000, 1);
    EXPECT_EQ(back.FrameCount(), 8000);
    EXPECT_EQ(Samples(back)[123], Samples(mono)[123]);
}

TEST(QtSoundPlayerTest, BadFilesAreSilentAndCloseForgetsTheSound) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString junk = dir.filePath(QStringLiteral("junk.wav"));
    QFile file(junk);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("not a wave file");
    file.close();

    QtSoundPlayer player;
    for (const std::string& path :
         {std::string(), dir.filePath(QStringLiteral("missing.wav")).toStdString(),
          junk.toStdString(), dir.path().toStdString()}) {
        player.Close();
        player.Open(path);
        EXPECT_FALSE(player.IsOpen()) << path;
        player.Play();
        EXPECT_FALSE(player.IsPlaying()) << path;
    }

    QByteArray pcm(800, '\0');
    const QString good = dir.filePath(QStringLiteral("good.wav"));
    QFile out(good);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(Wave(1, 1, 8000, 16, pcm));
    out.close();
    player.Open(good.toStdString());
    EXPECT_TRUE(player.IsOpen());
    player.Close();
    EXPECT_FALSE(player.IsOpen());
    EXPECT_FALSE(player.IsPlaying());
}

}  // namespace
}  // namespace skyfault::ui
