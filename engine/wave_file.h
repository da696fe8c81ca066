#pragma once

// Failure sounds: wave files as a user may name them. Only a regular file is
// read, its header is judged before the rest is read, and only what sound
// cards and sound files use is accepted, within a size cap that no failure
// sound comes near. Every player of the program goes through here.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace skyfault::engine {

// The accepted sounds: 8000..192000 Hz, 1..8 channels, PCM of 8, 16, 24 or
// 32 bits or IEEE float of 32 or 64 bits, plain or extensible.
inline constexpr int kMinWaveRate = 8000;
inline constexpr int kMaxWaveRate = 192000;
inline constexpr int kMaxWaveChannels = 8;
// The cap on every stage of a sound: the file as read, its samples as
// decoded, and its samples as converted for a device each hold at most this
// many bytes. A file over it is not played.
inline constexpr std::size_t kMaxSoundBytes = 32u << 20;

enum class WaveCoding { Pcm, Float };

struct WaveFormat {
    WaveCoding coding = WaveCoding::Pcm;
    int sampleRate = 0;
    int channels = 0;
    int bits = 0;

    bool operator==(const WaveFormat&) const = default;
};

// Whether a format is one of the accepted ones.
bool IsAcceptedFormat(const WaveFormat& format);

// Where the samples of a wave file lie.
struct WaveHeader {
    WaveFormat format;
    std::size_t dataOffset = 0;  // from the start of the file
    std::size_t dataBytes = 0;   // whole frames that are in the file
};

// Reads the header from the first bytes of a wave file of `fileSize` bytes:
// "RIFF", "WAVE", then chunks up to the data chunk. A data chunk that claims
// more than the file holds gives what is there. Nothing for a file outside
// the accepted set, over the cap (file or decoded samples), or without one
// whole frame; `incomplete` is set when `head` ends before the data chunk
// while the file goes on, so that more of it could tell.
std::optional<WaveHeader> ReadWaveHeader(std::string_view head, std::uint64_t fileSize,
                                         bool& incomplete);

// The samples of a sound, as signed 16-bit interleaved frames.
struct WaveSound {
    int sampleRate = 0;
    int channels = 0;
    std::vector<std::int16_t> samples;

    std::int64_t FrameCount() const;
    std::size_t Bytes() const { return samples.size() * sizeof(std::int16_t); }
};

// Decodes a whole wave file held in memory (8-bit PCM is centred, wider PCM
// keeps its top 16 bits, float is scaled and clipped). Nothing where
// ReadWaveHeader gives nothing.
std::optional<WaveSound> ParseWave(std::string_view bytes);

// The bytes of `frames` frames at `fromRate` converted to `toRate` with
// `channels` channels of 16-bit samples; nothing when either rate or the
// channel count is outside the accepted set, or the source or the result is
// over the cap.
std::optional<std::size_t> ConvertedBytes(std::int64_t frames, int fromRate, int toRate,
                                          int channels);

// The sound at another rate and channel count, for a device that cannot
// take it as it is (linear interpolation; channels are mixed down to one or
// copied up). Nothing when ConvertedBytes gives nothing.
std::optional<WaveSound> ConvertWave(const WaveSound& sound, int sampleRate, int channels);

// Reads and decodes the sound file at `path` (the path's bytes as they
// stand in skyfault.cfg). Nothing for anything but a regular, accepted wave
// file within the cap; a FIFO or a device is never read.
std::optional<WaveSound> ReadWaveFile(const std::string& path);

// Whether `path` names a regular file whose wave header is accepted and
// whose size is within the cap: what ReadWaveFile would play, judged without
// decoding. For players that hand the path on to the system.
bool CheckWaveFile(const std::string& path);

}  // namespace skyfault::engine
