#pragma once

#include <QObject>
#include <memory>
#include <optional>
#include <string>

#include "engine/sources.h"
#include "engine/wave_file.h"

class QAudioSink;
class QBuffer;

namespace skyfault::ui {

// The program's one wave-sound player, on Qt Multimedia's audio output.
// The file is read and checked by the core (engine::ReadWaveFile: a regular
// file, an accepted format, within the size cap), converted when the device
// cannot take it as it is (within the same cap), and fed to a QAudioSink,
// followed by silence so that the device plays every sample before it runs
// dry; the sink is then left alone until the next Close, so nothing cuts the
// tail off. Nothing here waits for the sound or reports anything: without an
// audio server, or with a bad file, nothing is heard.
class QtSoundPlayer final : public QObject, public engine::SoundPlayer {
public:
    explicit QtSoundPlayer(QObject* parent = nullptr);
    ~QtSoundPlayer() override;

    void Close() override;
    void Open(const std::string& path) override;
    void Play() override;

    // Silence fed after the sound so that its end leaves the device buffer.
    static constexpr int kTailPaddingMs = 500;

private:
    std::optional<engine::WaveSound> sound_;
    std::unique_ptr<QBuffer> buffer_;
    std::unique_ptr<QAudioSink> sink_;
};

}  // namespace skyfault::ui
