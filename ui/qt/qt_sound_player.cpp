#include "ui/qt/qt_sound_player.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QBuffer>
#include <QFile>
#include <QMediaDevices>
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

namespace skyfault::ui {

namespace {

constexpr std::uint16_t kFormatPcm = 1;
constexpr std::uint16_t kFormatFloat = 3;
constexpr std::uint16_t kFormatExtensible = 0xFFFE;
// A sanity bound: no notification sound is longer than this many bytes.
constexpr qsizetype kMaxDataBytes = 256 * 1024 * 1024;

std::uint32_t U32(const char* p) {
    const auto* b = reinterpret_cast<const unsigned char*>(p);
    return std::uint32_t(b[0]) | std::uint32_t(b[1]) << 8 | std::uint32_t(b[2]) << 16 |
           std::uint32_t(b[3]) << 24;
}

std::uint16_t U16(const char* p) {
    const auto* b = reinterpret_cast<const unsigned char*>(p);
    return std::uint16_t(b[0] | b[1] << 8);
}

std::int16_t Clamp16(double v) {
    return static_cast<std::int16_t>(std::clamp(std::lround(v), -32768L, 32767L));
}

// One sample in the file's coding, as a 16-bit sample.
std::int16_t Sample(const char* p, std::uint16_t format, int bits) {
    const auto* b = reinterpret_cast<const unsigned char*>(p);
    if (format == kFormatFloat) {
        double v = 0;
        if (bits == 32) {
            v = std::bit_cast<float>(U32(p));
        } else {
            const std::uint64_t raw = std::uint64_t(U32(p)) | std::uint64_t(U32(p + 4)) << 32;
            v = std::bit_cast<double>(raw);
        }
        if (!std::isfinite(v)) {
            return 0;
        }
        return Clamp16(v * 32767.0);
    }
    switch (bits) {
        case 8:
            return static_cast<std::int16_t>((int(b[0]) - 128) * 256);
        case 16:
            return static_cast<std::int16_t>(U16(p));
        case 24:
            return static_cast<std::int16_t>(U16(p + 1));
        default:  // 32
            return static_cast<std::int16_t>(U16(p + 2));
    }
}

void Put16(QByteArray& out, qsizetype index, std::int16_t v) {
    const auto u = static_cast<std::uint16_t>(v);
    out[index * 2] = static_cast<char>(u & 0xFF);
    out[index * 2 + 1] = static_cast<char>(u >> 8);
}

std::int16_t Get16(const QByteArray& in, qsizetype index) {
    return static_cast<std::int16_t>(U16(in.constData() + index * 2));
}

}  // namespace

std::int64_t WaveSound::FrameCount() const {
    return channels > 0 ? samples.size() / (2 * channels) : 0;
}

std::optional<WaveSound> ParseWave(const QByteArray& bytes) {
    const char* data = bytes.constData();
    const qsizetype size = bytes.size();
    if (size < 12 || std::memcmp(data, "RIFF", 4) != 0 || std::memcmp(data + 8, "WAVE", 4) != 0) {
        return std::nullopt;
    }
    std::uint16_t format = 0;
    int channels = 0;
    int rate = 0;
    int bits = 0;
    int blockAlign = 0;
    bool haveFormat = false;
    qsizetype pos = 12;
    while (pos + 8 <= size) {
        const char* id = data + pos;
        const qsizetype length = U32(data + pos + 4);
        const qsizetype body = pos + 8;
        if (std::memcmp(id, "fmt ", 4) == 0) {
            if (length < 16 || body + 16 > size) {
                return std::nullopt;
            }
            format = U16(data + body);
            channels = U16(data + body + 2);
            rate = static_cast<int>(std::min<std::uint32_t>(U32(data + body + 4), 1'000'000));
            blockAlign = U16(data + body + 12);
            bits = U16(data + body + 14);
            if (format == kFormatExtensible) {
                if (length < 40 || body + 26 > size) {
                    return std::nullopt;
                }
                format = U16(data + body + 24);  // first two bytes of the sub-format
            }
            haveFormat = true;
        } else if (std::memcmp(id, "data", 4) == 0) {
            if (!haveFormat) {
                return std::nullopt;
            }
            const bool pcm =
                format == kFormatPcm && (bits == 8 || bits == 16 || bits == 24 || bits == 32);
            const bool flt = format == kFormatFloat && (bits == 32 || bits == 64);
            if (!(pcm || flt) || channels < 1 || rate < 1 || blockAlign != channels * bits / 8) {
                return std::nullopt;
            }
            // A data chunk longer than the file (a file cut short, or a
            // streaming header's length) plays what is there.
            const qsizetype available = std::min(std::min(length, size - body), kMaxDataBytes);
            const qsizetype frames = available / blockAlign;
            if (frames < 1) {
                return std::nullopt;
            }
            WaveSound sound;
            sound.sampleRate = rate;
            sound.channels = channels;
            sound.samples.resize(frames * channels * 2);
            const int step = bits / 8;
            for (qsizetype i = 0; i < frames * channels; ++i) {
                Put16(sound.samples, i, Sample(data + body + i * step, format, bits));
            }
            return sound;
        }
        pos = body + length + (length & 1);  // chunks are padded to even sizes
    }
    return std::nullopt;
}

WaveSound ConvertWave(const WaveSound& sound, int sampleRate, int channels) {
    WaveSound out;
    out.sampleRate = sampleRate;
    out.channels = channels;
    const std::int64_t inFrames = sound.FrameCount();
    if (inFrames < 1 || sampleRate < 1 || channels < 1 || sound.sampleRate < 1) {
        return out;
    }
    const auto outFrames = static_cast<std::int64_t>(
        std::ceil(double(inFrames) * double(sampleRate) / double(sound.sampleRate)));
    out.samples.resize(outFrames * channels * 2);
    const double ratio = double(sound.sampleRate) / double(sampleRate);
    // The value of one output channel from one input frame.
    auto frameValue = [&](std::int64_t frame, int channel) -> double {
        if (channels < sound.channels && channels == 1) {
            double sum = 0;
            for (int c = 0; c < sound.channels; ++c) {
                sum += Get16(sound.samples, frame * sound.channels + c);
            }
            return sum / sound.channels;
        }
        return Get16(sound.samples, frame * sound.channels + std::min(channel, sound.channels - 1));
    };
    for (std::int64_t i = 0; i < outFrames; ++i) {
        const double at = double(i) * ratio;
        const auto left = std::min<std::int64_t>(static_cast<std::int64_t>(at), inFrames - 1);
        const auto right = std::min<std::int64_t>(left + 1, inFrames - 1);
        const double t = at - double(left);
        for (int c = 0; c < channels; ++c) {
            const double v = frameValue(left, c) * (1.0 - t) + frameValue(right, c) * t;
            Put16(out.samples, i * channels + c, Clamp16(v));
        }
    }
    return out;
}

QtSoundPlayer::QtSoundPlayer(QObject* parent) : QObject(parent) {}

QtSoundPlayer::~QtSoundPlayer() {
    Close();
}

void QtSoundPlayer::Close() {
    if (sink_) {
        sink_->stop();  // cuts off a sound still playing
    }
    sink_.reset();
    buffer_.reset();
    sound_.reset();
}

void QtSoundPlayer::Open(const std::string& path) {
    Close();
    QFile file(QString::fromStdString(path));
    if (path.empty() || !file.open(QIODevice::ReadOnly)) {
        return;
    }
    sound_ = ParseWave(file.read(kMaxDataBytes + 4096));
}

void QtSoundPlayer::Play() {
    if (!sound_ || sink_) {
        return;
    }
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull()) {
        return;  // no audio server: nothing is heard
    }
    QAudioFormat format;
    format.setSampleFormat(QAudioFormat::Int16);
    format.setSampleRate(sound_->sampleRate);
    format.setChannelCount(sound_->channels);
    WaveSound playable = *sound_;
    if (!device.isFormatSupported(format)) {
        const QAudioFormat preferred = device.preferredFormat();
        format.setSampleRate(preferred.sampleRate());
        format.setChannelCount(preferred.channelCount());
        if (!device.isFormatSupported(format)) {
            return;
        }
        playable = ConvertWave(*sound_, format.sampleRate(), format.channelCount());
    }
    QByteArray pcm = playable.samples;
    const qsizetype frameBytes = qsizetype(2) * format.channelCount();
    pcm.append(qsizetype(format.sampleRate()) * kTailPaddingMs / 1000 * frameBytes, '\0');

    buffer_ = std::make_unique<QBuffer>();
    buffer_->setData(pcm);
    buffer_->open(QIODevice::ReadOnly);
    sink_ = std::make_unique<QAudioSink>(device, format);
    sink_->start(buffer_.get());  // returns at once; the sink pulls as it plays
}

}  // namespace skyfault::ui
