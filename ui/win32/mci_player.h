#pragma once

#include <string>

#include "engine/sources.h"
#include "link/win32.h"

namespace skyfault::win32 {

// Whether `path` names a sound file the player may open. Only such files
// are handed to MCI, so that it never opens a folder, a device or a pipe.
bool PlayableSoundFile(const std::string& path);

// The notification sound player on MCI's wave-audio device. Close stops and
// closes whatever is open; Open waits until the file is open; Play starts it
// and returns at once, and the sound plays to its end. Paths are the 8-bit
// texts of the settings (ANSI). A file that cannot be opened, or no audio
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

    // The device of the open file, or 0 (for tests).
    UINT OpenDevice() const { return device_; }

private:
    UINT device_ = 0;
};

}  // namespace skyfault::win32
