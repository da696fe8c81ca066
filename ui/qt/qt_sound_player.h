#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "engine/sources.h"

class QAudioSink;
class QBuffer;

namespace skyfault::ui {

// The samples of a wave file, as signed 16-bit interleaved frames.
struct WaveSound {
    int sampleRate = 0;
    int channels = 0;
    QByteArray samples;  // little-endian int16, channels per frame

    std::int64_t FrameCount() const;
};

// Reads a RIFF/WAVE image: PCM of 8, 16, 24 or 32 bits, IEEE float of 32 or
// 64 bits, plain or extensible; any number of channels. Nothing for anything
// else, or for a file whose data is cut short to no whole frame.
std::optional<WaveSound> ParseWave(const QByteArray& bytes);

// Converts a sound to another rate and number of channels (linear
// interpolation; channels are mixed down or copied up).
WaveSound ConvertWave(const WaveSound& sound, int sampleRate, int channels);

// The program's one wave-sound player, on Qt Multimedia's audio output.
// The file is decoded by ParseWave and fed to a QAudioSink, followed by
// silence so that the device plays every sample before it runs dry; the sink
// is then left alone until the next Close, so nothing cuts the tail off.
// Nothing here waits for the sound or reports anything: without an audio
// server, or with a bad file, nothing is heard.
class QtSoundPlayer final : public QObject, public engine::SoundPlayer {
public:
    explicit QtSoundPlayer(QObject* parent = nullptr);
    ~QtSoundPlayer() override;

    void Close() override;
    void Open(const std::string& path) override;
    void Play() override;

    // For tests: whether a playable sound is open, and whether a sink runs.
    bool IsOpen() const { return sound_.has_value(); }
    bool IsPlaying() const { return sink_ != nullptr; }

    // Silence fed after the sound so that its end leaves the device buffer.
    static constexpr int kTailPaddingMs = 500;

private:
    std::optional<WaveSound> sound_;
    std::unique_ptr<QBuffer> buffer_;
    std::unique_ptr<QAudioSink> sink_;
};

}  // namespace skyfault::ui
