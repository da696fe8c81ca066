#include "ui/qt/qt_sound_player.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QBuffer>
#include <QByteArray>
#include <QMediaDevices>
#include <cstdint>

namespace skyfault::ui {

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
    // The path's bytes name the file as they stand (the platform's file-name
    // encoding); the core reads only a regular, playable file within the cap.
    sound_ = engine::ReadWaveFile(path);
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
    std::optional<engine::WaveSound> converted;
    if (!device.isFormatSupported(format)) {
        const QAudioFormat preferred = device.preferredFormat();
        format.setSampleRate(preferred.sampleRate());
        format.setChannelCount(preferred.channelCount());
        if (!device.isFormatSupported(format)) {
            return;
        }
        // Nothing for a device format outside the accepted set or a result
        // over the cap.
        converted = engine::ConvertWave(*sound_, format.sampleRate(), format.channelCount());
        if (!converted) {
            return;
        }
    }
    const engine::WaveSound& playable = converted ? *converted : *sound_;
    const std::size_t padding = std::size_t(format.sampleRate()) * kTailPaddingMs / 1000 *
                                std::size_t(format.channelCount()) * 2;
    if (playable.Bytes() + padding > engine::kMaxSoundBytes) {
        return;
    }
    QByteArray pcm(static_cast<qsizetype>(playable.Bytes() + padding), '\0');
    char* out = pcm.data();
    for (const std::int16_t sample : playable.samples) {  // little-endian
        const auto u = static_cast<std::uint16_t>(sample);
        *out++ = static_cast<char>(u & 0xFF);
        *out++ = static_cast<char>(u >> 8);
    }
    converted.reset();

    buffer_ = std::make_unique<QBuffer>();
    buffer_->setData(pcm);
    buffer_->open(QIODevice::ReadOnly);
    sink_ = std::make_unique<QAudioSink>(device, format);
    sink_->start(buffer_.get());  // returns at once; the sink pulls as it plays
}

}  // namespace skyfault::ui
