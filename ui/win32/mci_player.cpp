#include "ui/win32/mci_player.h"

#include <mmsystem.h>

namespace skyfault::win32 {

bool PlayableSoundFile(const std::string& path) {
    // For now: an existing file that is neither a folder nor a device.
    const DWORD attributes =
        path.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
}

MciSoundPlayer::~MciSoundPlayer() {
    Close();
}

void MciSoundPlayer::Close() {
    if (device_ != 0) {
        mciSendCommandA(device_, MCI_CLOSE, MCI_WAIT, 0);  // cuts off a sound still playing
        device_ = 0;
    }
}

void MciSoundPlayer::Open(const std::string& path) {
    Close();
    if (!PlayableSoundFile(path)) {
        return;
    }
    MCI_OPEN_PARMSA open{};
    open.lpstrDeviceType = "waveaudio";
    open.lpstrElementName = path.c_str();
    if (mciSendCommandA(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_ELEMENT | MCI_WAIT,
                        reinterpret_cast<DWORD_PTR>(&open)) == 0) {
        device_ = open.wDeviceID;
    }
}

void MciSoundPlayer::Play() {
    if (device_ == 0) {
        return;
    }
    MCI_PLAY_PARMS play{};
    // Neither waiting nor notified: the sound plays to its end on its own.
    if (mciSendCommandA(device_, MCI_PLAY, 0, reinterpret_cast<DWORD_PTR>(&play)) != 0) {
        Close();
    }
}

}  // namespace skyfault::win32
