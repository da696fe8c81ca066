// The wave reader and the conversion for a device on any input: no crash,
// nothing over the size cap at any stage, and no format outside the accepted
// set handed on to a player or a device.
//
// Input: the device's rate (2 bytes, times 3) and channel count (1 byte),
// the bytes the file is said to hold beyond the input (4 bytes), then the
// file's first bytes.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "engine/wave_file.h"
#include "fuzz/fuzz_check.h"

namespace {

using namespace skyfault::engine;

bool AcceptedRate(std::int64_t rate) {
    return rate >= kMinWaveRate && rate <= kMaxWaveRate;
}

bool AcceptedChannels(std::int64_t channels) {
    return channels >= 1 && channels <= kMaxWaveChannels;
}

// A sound handed on: an accepted rate and channel count, whole frames, at
// least one of them, within the cap.
void CheckSound(const WaveSound& sound) {
    SKYFAULT_FUZZ_CHECK(AcceptedRate(sound.sampleRate));
    SKYFAULT_FUZZ_CHECK(AcceptedChannels(sound.channels));
    SKYFAULT_FUZZ_CHECK(sound.Bytes() <= kMaxSoundBytes);
    SKYFAULT_FUZZ_CHECK(sound.samples.size() % static_cast<std::size_t>(sound.channels) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    skyfault::fuzz::InputReader input(data, size);
    const int deviceRate = input.U16() * 3;
    const int deviceChannels = input.Byte() % 16;
    std::uint64_t beyond = input.U16();
    beyond |= std::uint64_t(input.U16()) << 16;
    const std::string_view head = input.Rest();
    const std::uint64_t fileSize = head.size() + beyond;

    // The header of a file that goes on beyond what was read.
    bool incomplete = false;
    if (const auto header = ReadWaveHeader(head, fileSize, incomplete)) {
        const WaveFormat& format = header->format;
        SKYFAULT_FUZZ_CHECK(IsAcceptedFormat(format));
        SKYFAULT_FUZZ_CHECK(fileSize <= kMaxSoundBytes);
        const auto frameBytes = static_cast<std::size_t>(format.channels * format.bits / 8);
        SKYFAULT_FUZZ_CHECK(header->dataBytes >= frameBytes && header->dataBytes % frameBytes == 0);
        SKYFAULT_FUZZ_CHECK(header->dataOffset + header->dataBytes <= fileSize);
        SKYFAULT_FUZZ_CHECK(header->dataBytes / (format.bits / 8) * 2 <= kMaxSoundBytes);
        SKYFAULT_FUZZ_CHECK(!incomplete);
    } else if (incomplete) {
        SKYFAULT_FUZZ_CHECK(head.size() < fileSize);
    }

    // The whole file in memory, and the same sound converted for the device.
    bool whole = false;
    const bool accepted = ReadWaveHeader(head, head.size(), whole).has_value();
    const std::optional<WaveSound> sound = ParseWave(head);
    SKYFAULT_FUZZ_CHECK(sound.has_value() == accepted);
    if (sound) {
        CheckSound(*sound);
        SKYFAULT_FUZZ_CHECK(sound->FrameCount() >= 1);
        const auto bytes =
            ConvertedBytes(sound->FrameCount(), sound->sampleRate, deviceRate, deviceChannels);
        const auto converted = ConvertWave(*sound, deviceRate, deviceChannels);
        SKYFAULT_FUZZ_CHECK(converted.has_value() == bytes.has_value());
        if (converted) {
            CheckSound(*converted);
            SKYFAULT_FUZZ_CHECK(converted->sampleRate == deviceRate);
            SKYFAULT_FUZZ_CHECK(converted->channels == deviceChannels);
            SKYFAULT_FUZZ_CHECK(converted->Bytes() == *bytes);
        }
    }

    // The bound on conversion for sounds of any length, without allocating:
    // the same numbers read as a frame count that no input here can reach.
    // Refused only outside the accepted set, for a source over the cap itself,
    // or when really over the cap.
    const auto frames = static_cast<std::int64_t>(beyond);
    const int sourceRate = static_cast<int>(fileSize % 200000);
    const bool acceptedSet = AcceptedRate(sourceRate) && AcceptedRate(deviceRate) &&
                             AcceptedChannels(deviceChannels) &&
                             std::uint64_t(frames) * 2 <= kMaxSoundBytes;
    const double estimate =
        double(frames) * double(deviceRate) / double(sourceRate) * double(deviceChannels) * 2.0;
    if (const auto bytes = ConvertedBytes(frames, sourceRate, deviceRate, deviceChannels)) {
        SKYFAULT_FUZZ_CHECK(acceptedSet);
        SKYFAULT_FUZZ_CHECK(*bytes <= kMaxSoundBytes);
        SKYFAULT_FUZZ_CHECK(estimate <= double(*bytes) + 1.0);
        SKYFAULT_FUZZ_CHECK(double(*bytes) < estimate + 2.0 * 16);
    } else if (acceptedSet) {
        SKYFAULT_FUZZ_CHECK(estimate > double(kMaxSoundBytes) - 2.0 * 16);
    }
    return 0;
}
