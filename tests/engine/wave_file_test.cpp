// Failure sounds: the wave reader, its accepted formats and its bounds, and
// the conversion for a device. fuzz/fuzz_wave.cpp checks the bounds on any
// input.

#include "engine/wave_file.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <string>
#include <vector>

#include "tests/support/engine_fixture.h"
#include "tests/support/wave_image.h"

namespace skyfault::engine {
namespace {

using skyfault::testing::Le;
using skyfault::testing::WaveImage;

// Every coding of sound cards and files reads to 16 bits, anything else (no
// samples) is refused; memory and file readers and a player's check agree.
TEST(WaveFileTest, ReadsEveryCodingTo16BitsAndRefusesWhatSoundCardsDoNotUse) {
    engine::testing::TempFolder folder;
    const std::string two(2, '\x01');
    const auto f32 = [](float v) { return std::uint64_t{std::bit_cast<std::uint32_t>(v)}; };
    const std::pair<std::string, std::vector<int>> cases[] = {
        {WaveImage(1, 1, 22050, 16, Le({0x1234, 0x8000}, 2)), {0x1234, -32768}},
        {WaveImage(1, 2, 8000, 8, Le({0x80, 0xFF, 0x00, 0x40}, 1)), {0, 127 * 256, -32768, -16384}},
        {WaveImage(1, 1, 48000, 24, Le({0x7FFFFF, 0x800000}, 3), true), {32767, -32768}},
        {WaveImage(1, 1, 48000, 32, Le({0x7FFF0000u}, 4)), {32767}},
        {WaveImage(3, 1, 44100, 32, Le({f32(0.5f), f32(-1.0f), f32(2.0f)}, 4), false, true),
         {16384, -32767, 32767}},
        {WaveImage(3, 8, 96000, 64,
                   Le({std::bit_cast<std::uint64_t>(-0.5),
                       std::bit_cast<std::uint64_t>(std::nan("")), 0, 0, 0, 0, 0, 0},
                      8)),
         {-16384, 0, 0, 0, 0, 0, 0, 0}},
        {WaveImage(1, 1, 8000, 16, "\x01\x01\x02\x02\x03").erase(47), {257}},  // cut short
        {WaveImage(1, 1, 192000, 16, two), {257}},
        {WaveImage(1, 1, 8000, 16, two).insert(12, "JUNK" + Le({9000}, 4) + std::string(9000, 'j')),
         {257}},
        {WaveImage(1, 1, 7999, 16, two), {}},
        {WaveImage(1, 1, 192001, 16, two), {}},
        {WaveImage(1, 9, 44100, 8, std::string(9, '\0')), {}},
        {WaveImage(1, 1, 8000, 12, two), {}},
        {WaveImage(3, 1, 8000, 16, two), {}},
        {WaveImage(1, 1, 8000, 16, two, true).replace(49, 1, "\x11"), {}},  // another sub-format
        {WaveImage(1, 1, 8000, 16, two).erase(12, 24), {}},                 // no format first
    };
    int n = 0;
    for (const auto& [image, samples] : cases) {
        SCOPED_TRACE(n);
        const std::string path = (folder.path() / (std::to_string(n++) + ".wav")).string();
        engine::testing::WriteFile(path, image);
        std::vector<int> read;
        if (const auto sound = ParseWave(image)) {
            read.assign(sound->samples.begin(), sound->samples.end());
        }
        EXPECT_EQ(read, samples);
        EXPECT_EQ(ReadWaveFile(path).has_value(), !samples.empty());
        EXPECT_EQ(CheckWaveFile(path), !samples.empty());
    }
}

// No stage of a sound holds more than the cap: the file, its samples as
// decoded (8-bit samples double), its samples as converted for a device.
TEST(WaveFileTest, EveryStageStaysWithinTheCap) {
    const auto accepted = [](int bits, int channels, std::uint64_t fileSize) {
        const std::string head =
            WaveImage(1, channels, 8000, bits, "").replace(40, 4, "\xFF\xFF\xFF\xFF");
        bool incomplete = false;  // the data chunk claims 4 GiB
        return ReadWaveHeader(head, fileSize, incomplete).has_value();
    };
    EXPECT_TRUE(accepted(16, 2, kMaxSoundBytes) && accepted(8, 1, 44 + kMaxSoundBytes / 2));
    EXPECT_FALSE(accepted(16, 2, kMaxSoundBytes + 1) || accepted(8, 1, 45 + kMaxSoundBytes / 2));
    // 8000 Hz to 192000 Hz and 8 channels fills the cap at 87381 frames.
    EXPECT_TRUE(ConvertedBytes(87381, 8000, 192000, 8) && ConvertedBytes(8388608, 48000, 48000, 2));
    EXPECT_FALSE(ConvertedBytes(87382, 8000, 192000, 8) ||
                 ConvertedBytes(8388609, 48000, 48000, 2));
    WaveSound mono{.sampleRate = 8000, .channels = 1, .samples = {}};
    for (int i = 0; i < 100; ++i) {
        mono.samples.push_back(static_cast<std::int16_t>(i * 7));
    }
    const auto stereo = ConvertWave(mono, 48000, 2);  // keeps the length
    ASSERT_TRUE(stereo);
    EXPECT_EQ(stereo->FrameCount(), 600);
    EXPECT_EQ(stereo->samples[600], mono.samples[50]);
    EXPECT_EQ(stereo->samples[601], mono.samples[50]);
}

}  // namespace
}  // namespace skyfault::engine
