#pragma once

#include <string>

#include "engine/sources.h"
#include "platform/win32.h"

namespace skyfault::win32 {

// Whether `path` names a sound file the player may open: a regular file
// with a wave format a sound device takes. Only such files are handed to
// MCI, so that it never opens a folder, a device, a pipe or a sound that
// would need memory without bound.
bool PlayableSoundFile(const std::string& path);

// The notification sound player on MCI's wave-audio device. Close stops and
// closes whatever is open; Open waits until the file is open; Play starts it
// and returns at once, and the sound plays to its end. Paths are the settings'
// UTF-8 texts, opened with wide characters. A file that cannot be opened, or no audio
// device, gives no sound and nothing else.
class MciSoundPlayer final : public engine::SoundPlayer {
public:
    MciSoundPlayer() = default;
    ~MciSoundPlayer() override;
    MciSoundPlayer(const MciSoundPlayer&) = delete;
    MciSoundPlayer& operator=(const MciSoundPlayer&) = delete;

    void Close() override;
    void Open(const std::string& path) override;
    void Play() override;

private:
    // Opens one name of the file; false when MCI refuses it.
    bool OpenElement(const std::wstring& element);

    UINT device_ = 0;
};

}  // namespace skyfault::win32
