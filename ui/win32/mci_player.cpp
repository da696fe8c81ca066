#include "ui/win32/mci_player.h"

#include <mmsystem.h>

#include "engine/wave_file.h"

namespace skyfault::win32 {

bool PlayableSoundFile(const std::string& path) {
    // The same rules as every sound player of the program: a regular file
    // whose wave format a sound device takes, within the size cap.
    return engine::CheckWaveFile(path);
}

MciSoundPlayer::~MciSoundPlayer() {
    Close();
}

void MciSoundPlayer::Close() {
    if (device_ != 0) {
        mciSendCommandW(device_, MCI_CLOSE, MCI_WAIT, 0);  // cuts off a sound still playing
        device_ = 0;
    }
}

void MciSoundPlayer::Open(const std::string& path) {
    Close();
    if (!PlayableSoundFile(path)) {
        return;
    }
    // Wide characters, so that any folder or file name opens.
    const std::wstring element = Widen(path);
    MCI_OPEN_PARMSW open{};
    open.lpstrDeviceType = L"waveaudio";
    open.lpstrElementName = element.c_str();
    if (mciSendCommandW(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_ELEMENT | MCI_WAIT,
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
    if (mciSendCommandW(device_, MCI_PLAY, 0, reinterpret_cast<DWORD_PTR>(&play)) != 0) {
        Close();
    }
}

}  // namespace skyfault::win32
