// Skyfault's entry on Windows: builds the engine over the Windows link
// transport, window timers and the MCI sound player, runs Main (which loads
// the main window and reads skyfault.cfg from the folder it starts in,
// whatever the current folder later becomes), shows the window and runs the
// message loop until the window is unloaded. A second start in the same
// session says that Skyfault is already running, brings the first one's
// window forward and ends.
#include <exception>
#include <string>

#include "engine/engine.h"
#include "engine/front_end.h"
#include "engine/program_core.h"
#include "platform/win32.h"
#include "settings/instance_lock.h"
#include "ui/win32/file_dialog.h"
#include "ui/win32/frmMain.h"
#include "ui/win32/mci_player.h"
#include "ui/win32/resource.h"
#include "ui/win32/window.h"
#include "ui/win32/window_timer.h"

namespace {

int Run(int showCommand) {
    skyfault::win32::WindowTimerFactory timers;
    skyfault::win32::MciSoundPlayer sound;
    skyfault::engine::ProgramCore core(timers, sound);
    skyfault::engine::Engine& engine = core.engine();

    skyfault::win32::Win32FileDialog files;
    skyfault::win32::frmMain window(engine, files);

    engine.Main();
    if (engine.state().window.loaded) {
        ShowWindow(window.hwnd(), showCommand);
        UpdateWindow(window.hwnd());
    }
    MSG message;
    int code = 0;
    for (;;) {
        const BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == 0) {
            code = static_cast<int>(message.wParam);
            break;
        }
        if (got < 0) {
            break;
        }
        if (!skyfault::win32::HandleDialogKeys(message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    core.link().LinkClose();  // the link is closed before anything else ends (again, if Unload did)
    return code;
}

}  // namespace

int WINAPI WinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, LPSTR /*commandLine*/,
                   int showCommand) {
    // One Skyfault per user session: a second would fail systems twice and
    // race the first one's saves. It says so and brings the first forward.
    const skyfault::InstanceLock instance;
    if (instance.heldElsewhere()) {
        MessageBoxW(nullptr, skyfault::win32::Widen(skyfault::engine::kAlreadyRunning).c_str(),
                    skyfault::win32::Widen(skyfault::engine::kApplicationTitle).c_str(),
                    MB_OK | MB_ICONINFORMATION | MB_SETFOREGROUND);
        if (const HWND first = FindWindowA(SKYFAULT_CLASS_MAIN, nullptr)) {
            if (IsIconic(first)) {
                ShowWindow(first, SW_RESTORE);
            }
            SetForegroundWindow(first);
        }
        return 1;
    }
    try {
        return Run(showCommand);
    } catch (const std::exception& error) {
        // The system refused a window or a timer: said plainly, not a silent end.
        const std::wstring text =
            skyfault::win32::Widen(std::string("Skyfault cannot start: ") + error.what() + ".");
        MessageBoxW(nullptr, text.c_str(),
                    skyfault::win32::Widen(skyfault::engine::kApplicationTitle).c_str(),
                    MB_OK | MB_ICONERROR);
        return 1;
    }
}
