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
    // Wide characters, so that any folder or file name opens. Where the
    // wave device's driver takes only names of the code page (Wine's does),
    // the file's short 8.3 name, when the volume keeps one, opens it.
    const std::wstring element = Widen(path);
    if (!OpenElement(element)) {
        std::wstring shortName(MAX_PATH, L'\0');
        const DWORD length = GetShortPathNameW(element.c_str(), shortName.data(),
                                               static_cast<DWORD>(shortName.size()));
        if (length > 0 && length < shortName.size()) {
            shortName.resize(length);
            if (shortName != element) {
                OpenElement(shortName);
            }
        }
    }
}

bool MciSoundPlayer::OpenElement(const std::wstring& element) {
    MCI_OPEN_PARMSW open{};
    open.lpstrDeviceType = L"waveaudio";
    open.lpstrElementName = element.c_str();
    if (mciSendCommandW(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_ELEMENT | MCI_WAIT,
                        reinterpret_cast<DWORD_PTR>(&open)) != 0) {
        return false;
    }
    device_ = open.wDeviceID;
    return true;
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
