#include "engine/wave_file.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#include "settings/regular_file.h"

namespace skyfault::engine {
namespace {

constexpr std::uint16_t kFormatPcm = 1;
constexpr std::uint16_t kFormatFloat = 3;
constexpr std::uint16_t kFormatExtensible = 0xFFFE;
// The sub-format of an extensible format chunk: the plain format's code in
// its first two bytes, then always these fourteen.
constexpr char kSubFormatTail[] = "\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71";
// The first read of a file: enough for the header of any ordinary file.
constexpr std::size_t kHeadBytes = 4096;

std::uint32_t U32(const char* p) {
    const auto* b = reinterpret_cast<const unsigned char*>(p);
    return std::uint32_t(b[0]) | std::uint32_t(b[1]) << 8 | std::uint32_t(b[2]) << 16 |
           std::uint32_t(b[3]) << 24;
}

std::uint16_t U16(const char* p) {
    const auto* b = reinterpret_cast<const unsigned char*>(p);
    return static_cast<std::uint16_t>(b[0] | b[1] << 8);
}

std::int16_t Clamp16(double v) {
    return static_cast<std::int16_t>(std::clamp(std::lround(v), -32768L, 32767L));
}

// One sample in the file's coding, as a 16-bit sample.
std::int16_t Sample(const char* p, const WaveFormat& format) {
    if (format.coding == WaveCoding::Float) {
        double v = 0;
        if (format.bits == 32) {
            v = std::bit_cast<float>(U32(p));
        } else {
            v = std::bit_cast<double>(std::uint64_t(U32(p)) | std::uint64_t(U32(p + 4)) << 32);
        }
        return std::isfinite(v) ? Clamp16(v * 32767.0) : 0;
    }
    switch (format.bits) {
        case 8:
            return static_cast<std::int16_t>((int(static_cast<unsigned char>(p[0])) - 128) * 256);
        case 16:
            return static_cast<std::int16_t>(U16(p));
        case 24:
            return static_cast<std::int16_t>(U16(p + 1));
        default:  // 32
            return static_cast<std::int16_t>(U16(p + 2));
    }
}

// The format chunk's body, or nothing for a format outside the accepted set.
std::optional<WaveFormat> ReadFormat(std::string_view body) {
    if (body.size() < 16) {
        return std::nullopt;
    }
    std::uint16_t code = U16(body.data());
    if (code == kFormatExtensible) {
        if (body.size() < 40 ||
            std::memcmp(body.data() + 26, kSubFormatTail, sizeof kSubFormatTail - 1) != 0) {
            return std::nullopt;
        }
        code = U16(body.data() + 24);
    }
    if (code != kFormatPcm && code != kFormatFloat) {
        return std::nullopt;
    }
    WaveFormat format;
    format.coding = code == kFormatPcm ? WaveCoding::Pcm : WaveCoding::Float;
    format.channels = U16(body.data() + 2);
    const std::uint32_t rate = U32(body.data() + 4);
    format.sampleRate = rate <= std::uint32_t(kMaxWaveRate) ? static_cast<int>(rate) : 0;
    format.bits = U16(body.data() + 14);
    const int blockAlign = U16(body.data() + 12);
    if (!IsAcceptedFormat(format) || blockAlign != format.channels * format.bits / 8) {
        return std::nullopt;
    }
    return format;
}

// The header from what has been read of an open file, reading the rest of
// the file (within the cap) only when the header goes on past the first part.
std::optional<WaveHeader> ReadHead(RegularFile& file, std::string& bytes) {
    if (file.status() != RegularFile::Status::Open || file.size() > kMaxSoundBytes ||
        !file.Read(kHeadBytes, bytes)) {
        return std::nullopt;
    }
    bool incomplete = false;
    auto header = ReadWaveHeader(bytes, file.size(), incomplete);
    if (!header && incomplete) {
        if (!file.Read(kMaxSoundBytes + 1 - bytes.size(), bytes)) {
            return std::nullopt;
        }
        header = ReadWaveHeader(bytes, bytes.size(), incomplete);
    }
    return header;
}

}  // namespace

bool IsAcceptedFormat(const WaveFormat& format) {
    const bool bits = format.coding == WaveCoding::Pcm ? (format.bits == 8 || format.bits == 16 ||
                                                          format.bits == 24 || format.bits == 32)
                                                       : (format.bits == 32 || format.bits == 64);
    return bits && format.sampleRate >= kMinWaveRate && format.sampleRate <= kMaxWaveRate &&
           format.channels >= 1 && format.channels <= kMaxWaveChannels;
}

std::optional<WaveHeader> ReadWaveHeader(std::string_view head, std::uint64_t fileSize,
                                         bool& incomplete) {
    incomplete = false;
    if (fileSize > kMaxSoundBytes) {
        return std::nullopt;
    }
    fileSize = std::max<std::uint64_t>(fileSize, head.size());
    const bool more = head.size() < fileSize;
    if (head.size() < 12) {
        incomplete = more;
        return std::nullopt;
    }
    if (head.substr(0, 4) != "RIFF" || head.substr(8, 4) != "WAVE") {
        return std::nullopt;
    }
    std::optional<WaveFormat> format;
    std::uint64_t pos = 12;
    while (true) {
        if (pos + 8 > head.size()) {
            incomplete = more && pos + 8 <= fileSize;
            return std::nullopt;
        }
        const std::string_view id = head.substr(pos, 4);
        const std::uint64_t length = U32(head.data() + pos + 4);
        const std::uint64_t body = pos + 8;
        if (id == "fmt ") {
            const std::uint64_t needed = std::min<std::uint64_t>(length, 40);
            if (body + needed > head.size()) {
                incomplete = more && body + needed <= fileSize;
                return std::nullopt;
            }
            format = ReadFormat(head.substr(body, needed));
            if (!format) {
                return std::nullopt;
            }
        } else if (id == "data") {
            if (!format) {
                return std::nullopt;
            }
            const std::uint64_t available =
                std::min(length, fileSize > body ? fileSize - body : std::uint64_t(0));
            const auto frameBytes = static_cast<std::uint64_t>(format->channels * format->bits / 8);
            const std::uint64_t frames = available / frameBytes;
            const std::uint64_t decoded = frames * std::uint64_t(format->channels) * 2;
            if (frames < 1 || decoded > kMaxSoundBytes) {
                return std::nullopt;
            }
            WaveHeader header;
            header.format = *format;
            header.dataOffset = static_cast<std::size_t>(body);
            header.dataBytes = static_cast<std::size_t>(frames * frameBytes);
            return header;
        }
        pos = body + length + (length & 1);  // chunks are padded to even sizes
    }
}

std::int64_t WaveSound::FrameCount() const {
    return channels > 0 ? static_cast<std::int64_t>(samples.size()) / channels : 0;
}

std::optional<WaveSound> ParseWave(std::string_view bytes) {
    bool incomplete = false;
    const auto header = ReadWaveHeader(bytes, bytes.size(), incomplete);
    if (!header) {
        return std::nullopt;
    }
    const WaveFormat& format = header->format;
    const std::size_t step = static_cast<std::size_t>(format.bits / 8);
    WaveSound sound;
    sound.sampleRate = format.sampleRate;
    sound.channels = format.channels;
    sound.samples.resize(header->dataBytes / step);
    const char* data = bytes.data() + header->dataOffset;
    for (std::size_t i = 0; i < sound.samples.size(); ++i) {
        sound.samples[i] = Sample(data + i * step, format);
    }
    return sound;
}

std::optional<std::size_t> ConvertedBytes(std::int64_t frames, int fromRate, int toRate,
                                          int channels) {
    const auto accepted = [](int rate) { return rate >= kMinWaveRate && rate <= kMaxWaveRate; };
    // A source of more frames than the cap holds 16-bit samples is over it.
    if (frames < 0 || frames > std::int64_t(kMaxSoundBytes / 2) || !accepted(fromRate) ||
        !accepted(toRate) || channels < 1 || channels > kMaxWaveChannels) {
        return std::nullopt;
    }
    // At most 2^24 frames times 192000: well within 64 bits.
    const std::int64_t outFrames = (frames * toRate + fromRate - 1) / fromRate;
    const std::int64_t bytes = outFrames * channels * 2;
    if (bytes > std::int64_t(kMaxSoundBytes)) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(bytes);
}

std::optional<WaveSound> ConvertWave(const WaveSound& sound, int sampleRate, int channels) {
    const std::int64_t inFrames = sound.FrameCount();
    const auto bytes = ConvertedBytes(inFrames, sound.sampleRate, sampleRate, channels);
    if (!bytes || sound.channels < 1 || sound.channels > kMaxWaveChannels) {
        return std::nullopt;
    }
    WaveSound out;
    out.sampleRate = sampleRate;
    out.channels = channels;
    out.samples.resize(*bytes / 2);
    const std::int64_t outFrames = out.FrameCount();
    if (inFrames < 1) {
        return out;
    }
    const double ratio = double(sound.sampleRate) / double(sampleRate);
    // The value of one output channel from one input frame.
    auto frameValue = [&](std::int64_t frame, int channel) -> double {
        const auto at = static_cast<std::size_t>(frame * sound.channels);
        if (channels == 1 && sound.channels > 1) {
            double sum = 0;
            for (int c = 0; c < sound.channels; ++c) {
                sum += sound.samples[at + static_cast<std::size_t>(c)];
            }
            return sum / sound.channels;
        }
        return sound.samples[at + static_cast<std::size_t>(std::min(channel, sound.channels - 1))];
    };
    for (std::int64_t i = 0; i < outFrames; ++i) {
        const double at = double(i) * ratio;
        const auto left = std::min<std::int64_t>(static_cast<std::int64_t>(at), inFrames - 1);
        const auto right = std::min<std::int64_t>(left + 1, inFrames - 1);
        const double t = at - double(left);
        for (int c = 0; c < channels; ++c) {
            const double v = frameValue(left, c) * (1.0 - t) + frameValue(right, c) * t;
            out.samples[static_cast<std::size_t>(i * channels + c)] = Clamp16(v);
        }
    }
    return out;
}

std::optional<WaveSound> ReadWaveFile(const std::string& path) {
    RegularFile file(path);
    std::string bytes;
    const auto header = ReadHead(file, bytes);
    if (!header) {
        return std::nullopt;
    }
    // Only as far as the samples go.
    const std::size_t end = header->dataOffset + header->dataBytes;
    if (bytes.size() < end && !file.Read(end - bytes.size(), bytes)) {
        return std::nullopt;
    }
    return ParseWave(std::string_view(bytes).substr(0, end));
}

bool CheckWaveFile(const std::string& path) {
    RegularFile file(path);
    std::string bytes;
    return ReadHead(file, bytes).has_value();
}

}  // namespace skyfault::engine
