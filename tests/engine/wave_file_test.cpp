// Failure sounds: the wave reader, its accepted formats and its size cap,
// and the conversion for a device.

#include "engine/wave_file.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/wave_image.h"

namespace skyfault::engine {
namespace {

namespace fs = std::filesystem;
using skyfault::testing::PutLE;
using skyfault::testing::WaveImage;

std::vector<int> Samples(const WaveSound& sound) {
    return std::vector<int>(sound.samples.begin(), sound.samples.end());
}

class WaveFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        folder_ = fs::temp_directory_path() / ("skyfault-wave-" + std::string(info->name()));
        fs::remove_all(folder_);
        fs::create_directories(folder_);
    }
    void TearDown() override {
        std::error_code error;
        fs::remove_all(folder_, error);
    }
    std::string Write(const std::string& name, const std::string& bytes) {
        const fs::path path = folder_ / name;
        std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
        return path.string();
    }

    fs::path folder_;
};

TEST(ParseWaveTest, ReadsEveryCodingTo16Bits) {
    std::string pcm16;
    PutLE(pcm16, 0x1234, 2);
    PutLE(pcm16, 0x8000, 2);
    auto sound = ParseWave(WaveImage(1, 1, 22050, 16, pcm16));
    ASSERT_TRUE(sound);
    EXPECT_EQ(sound->sampleRate, 22050);
    EXPECT_EQ(sound->channels, 1);
    EXPECT_EQ(Samples(*sound), (std::vector<int>{0x1234, -32768}));

    sound = ParseWave(WaveImage(1, 2, 8000, 8, std::string("\x80\xFF\x00\x40", 4)));
    ASSERT_TRUE(sound);
    EXPECT_EQ(sound->channels, 2);
    EXPECT_EQ(sound->FrameCount(), 2);
    EXPECT_EQ(Samples(*sound), (std::vector<int>{0, 127 * 256, -32768, -64 * 256}));

    std::string pcm24;
    PutLE(pcm24, 0x7FFFFF, 3);
    PutLE(pcm24, 0x800000, 3);
    sound = ParseWave(WaveImage(1, 1, 48000, 24, pcm24, /*extensible=*/true));
    ASSERT_TRUE(sound);
    EXPECT_EQ(Samples(*sound), (std::vector<int>{32767, -32768}));

    std::string pcm32;
    PutLE(pcm32, 0x7FFF0000u, 4);
    sound = ParseWave(WaveImage(1, 1, 48000, 32, pcm32));
    ASSERT_TRUE(sound);
    EXPECT_EQ(Samples(*sound), (std::vector<int>{32767}));

    std::string float32;
    for (const float v : {0.5f, -1.0f, 2.0f}) {
        PutLE(float32, std::bit_cast<std::uint32_t>(v), 4);
    }
    sound = ParseWave(WaveImage(3, 1, 44100, 32, float32, false, /*oddChunkFirst=*/true));
    ASSERT_TRUE(sound);
    EXPECT_EQ(Samples(*sound), (std::vector<int>{16384, -32767, 32767}));

    std::string float64;
    for (const double v : {-0.5, std::nan("")}) {
        PutLE(float64, std::bit_cast<std::uint64_t>(v), 8);
    }
    sound = ParseWave(WaveImage(3, 1, 96000, 64, float64));
    ASSERT_TRUE(sound);
    EXPECT_EQ(Samples(*sound), (std::vector<int>{-16384, 0}));
}

// Only the rates, channel counts and codings of real sound cards and files;
// the reader in memory, the file reader and the check a player makes before
// it hands a path on all agree.
TEST_F(WaveFileTest, AcceptsOnlyWhatSoundCardsAndFilesUse) {
    const std::string two(2, '\x01');
    const std::string frames(8 * 8 * 4, '\0');  // four frames of 8 channels of 64 bits
    std::string badGuid = WaveImage(1, 1, 8000, 16, two, /*extensible=*/true);
    badGuid[12 + 8 + 24 + 5] = '\x11';
    std::string dataFirst = WaveImage(1, 1, 8000, 16, two);
    dataFirst.erase(dataFirst.find("fmt "), 24);
    std::string longChunkFirst = WaveImage(1, 1, 8000, 16, two);
    std::string junk = "JUNK";
    PutLE(junk, 9000, 4);
    longChunkFirst.insert(12, junk + std::string(9000, 'j'));
    struct Case {
        const char* name;
        std::string image;
        bool accepted;
    };
    const Case cases[] = {
        {"8000 Hz", WaveImage(1, 1, 8000, 16, two), true},
        {"192000 Hz", WaveImage(1, 1, 192000, 16, two), true},
        {"1 Hz", WaveImage(1, 1, 1, 16, two), false},
        {"49 Hz", WaveImage(1, 1, 49, 16, two), false},
        {"7999 Hz", WaveImage(1, 1, 7999, 16, two), false},
        {"192001 Hz", WaveImage(1, 1, 192001, 16, two), false},
        {"4294967295 Hz", WaveImage(1, 1, -1, 16, two), false},
        {"8 channels of float 64", WaveImage(3, 8, 44100, 64, frames), true},
        {"9 channels", WaveImage(1, 9, 44100, 8, frames), false},
        {"33 channels", WaveImage(1, 33, 44100, 8, frames), false},
        {"no channel", WaveImage(1, 0, 44100, 16, two), false},
        {"PCM 8", WaveImage(1, 1, 44100, 8, two), true},
        {"PCM 24 extensible", WaveImage(1, 1, 44100, 24, std::string(3, '\0'), true), true},
        {"PCM 12", WaveImage(1, 1, 8000, 12, two), false},
        {"PCM 64", WaveImage(1, 1, 8000, 64, frames), false},
        {"float 16", WaveImage(3, 1, 8000, 16, two), false},
        {"ADPCM", WaveImage(2, 1, 8000, 4, two), false},
        {"extensible, foreign sub-format", badGuid, false},
        {"no samples", WaveImage(1, 1, 8000, 16, ""), false},
        {"half a frame", WaveImage(1, 2, 8000, 16, two), false},
        {"data before the format", dataFirst, false},
        {"a long chunk before the format", longChunkFirst, true},
        {"not RIFF", std::string(1000, 'x'), false},
        {"empty", "", false},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = Write(std::to_string(n++) + ".wav", c.image);
        EXPECT_EQ(ParseWave(c.image).has_value(), c.accepted);
        EXPECT_EQ(ReadWaveFile(path).has_value(), c.accepted);
        EXPECT_EQ(CheckWaveFile(path), c.accepted);
    }
    for (const std::string& path :
         {std::string(), (folder_ / "missing.wav").string(), folder_.string()}) {
        EXPECT_FALSE(ReadWaveFile(path)) << path;
        EXPECT_FALSE(CheckWaveFile(path)) << path;
    }
}

TEST(ParseWaveTest, PlaysWhatIsThereOfAFileCutShort) {
    std::string pcm;
    for (int i = 0; i < 100; ++i) {
        PutLE(pcm, static_cast<std::uint32_t>(i), 2);
    }
    std::string file = WaveImage(1, 1, 8000, 16, pcm);
    file.resize(file.size() - 51);  // 25 whole samples and half of one gone
    const auto sound = ParseWave(file);
    ASSERT_TRUE(sound);
    EXPECT_EQ(sound->FrameCount(), 74);
}

// No stage of a sound holds more than the cap: the file, its samples as
// decoded (8-bit samples double), its samples as converted for a device.
TEST_F(WaveFileTest, EveryStageStaysWithinTheCap) {
    // Headers only: the sizes are the file's, the data chunk claims 4 GiB.
    auto accepted = [](int bits, int channels, std::uint64_t fileSize) {
        std::string head = WaveImage(1, channels, 8000, bits, "");
        head.replace(head.size() - 4, 4, "\xFF\xFF\xFF\xFF", 4);
        bool incomplete = false;
        return ReadWaveHeader(head, fileSize, incomplete).has_value();
    };
    constexpr std::uint64_t kHeader = 44;
    EXPECT_TRUE(accepted(16, 2, kMaxSoundBytes));
    EXPECT_FALSE(accepted(16, 2, kMaxSoundBytes + 1)) << "a file over the cap";
    EXPECT_TRUE(accepted(8, 1, kHeader + kMaxSoundBytes / 2));
    EXPECT_FALSE(accepted(8, 1, kHeader + kMaxSoundBytes / 2 + 1)) << "8-bit samples decoded";

    // A file over the cap is refused as a whole, before its samples are read.
    std::string big = WaveImage(1, 2, 48000, 16, std::string(4, '\0'));
    big.replace(big.size() - 8, 4, "\x00\x00\x00\x02", 4);
    const std::string path = Write("big.wav", big);
    fs::resize_file(path, kMaxSoundBytes + 1);
    EXPECT_FALSE(CheckWaveFile(path));
    EXPECT_FALSE(ReadWaveFile(path));
    fs::resize_file(path, 1u << 20);
    EXPECT_TRUE(CheckWaveFile(path));
    const auto sound = ReadWaveFile(path);
    ASSERT_TRUE(sound);
    EXPECT_EQ(sound->FrameCount(), ((1 << 20) - 44) / 4);

    // Conversion: 8000 Hz to 192000 Hz and 8 channels fills the cap at
    // 87381 frames (2097144 frames of 16 bytes out).
    struct Conversion {
        std::int64_t frames;
        int from, to, channels;
        bool fits;
    };
    for (const Conversion& c : {
             Conversion{87381, 8000, 192000, 8, true},
             Conversion{87382, 8000, 192000, 8, false},
             Conversion{8388608, 48000, 48000, 2, true},
             Conversion{8388609, 48000, 48000, 2, false},
             Conversion{0, 8000, 8000, 1, true},
             Conversion{-1, 8000, 8000, 1, false},
             Conversion{100, 7999, 8000, 1, false},
             Conversion{100, 8000, 192001, 1, false},
             Conversion{100, 8000, 8000, 9, false},
             Conversion{100, 8000, 8000, 0, false},
         }) {
        const auto bytes = ConvertedBytes(c.frames, c.from, c.to, c.channels);
        EXPECT_EQ(bytes.has_value(), c.fits) << c.frames << " " << c.to << " " << c.channels;
        if (bytes) {
            EXPECT_LE(*bytes, kMaxSoundBytes);
        }
    }
    WaveSound tooLong;
    tooLong.sampleRate = 8000;
    tooLong.channels = 1;
    tooLong.samples.resize(87382);
    EXPECT_TRUE(ConvertWave(tooLong, 192000, 1));
    EXPECT_FALSE(ConvertWave(tooLong, 192000, 8));
    EXPECT_FALSE(ConvertWave(tooLong, 4000, 1)) << "a device rate outside the accepted set";
}

TEST(ConvertWaveTest, KeepsTheLengthAcrossRatesAndChannels) {
    WaveSound mono;
    mono.sampleRate = 8000;
    mono.channels = 1;
    for (int i = 0; i < 8000; ++i) {
        mono.samples.push_back(static_cast<std::int16_t>(std::lround(10000 * std::sin(i * 0.1))));
    }
    const auto stereo = ConvertWave(mono, 48000, 2);
    ASSERT_TRUE(stereo);
    EXPECT_EQ(stereo->FrameCount(), 48000);
    EXPECT_EQ(stereo->samples[0], stereo->samples[1]);
    EXPECT_EQ(stereo->samples[600], mono.samples[50]);  // frame 300 of 48000 is frame 50 of 8000
    const auto back = ConvertWave(*stereo, 8000, 1);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->FrameCount(), 8000);
    EXPECT_EQ(back->samples[123], mono.samples[123]);
}

}  // namespace
}  // namespace skyfault::engine
