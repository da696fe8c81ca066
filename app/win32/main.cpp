// Skyfault's entry on Windows: builds the engine over the Windows link
// transport, window timers and the MCI sound player, runs Main (which loads
// the main window and reads skyfault.cfg from the current folder), shows the
// window and runs the message loop until the window is unloaded.
#include <exception>
#include <memory>
#include <string>

#include "engine/engine.h"
#include "link/link.h"
#include "link/transport.h"
#include "platform/win32.h"
#include "ui/win32/file_dialog.h"
#include "ui/win32/frmMain.h"
#include "ui/win32/mci_player.h"
#include "ui/win32/window.h"
#include "ui/win32/window_timer.h"

namespace {

int Run(int showCommand) {
    const std::unique_ptr<skyfault::link::Transport> transport =
        skyfault::link::MakePlatformTransport();
    skyfault::link::Link link(*transport);
    skyfault::win32::WindowTimerFactory timers;
    skyfault::win32::MciSoundPlayer sound;
    skyfault::engine::Engine engine(skyfault::engine::Engine::Dependencies{
        .link = link, .timers = timers, .sound = sound, .configPath = "skyfault.cfg"});

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
    link.LinkClose();  // the link is closed before anything else ends (again, if Unload did)
    return code;
}

}  // namespace

int WINAPI WinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, LPSTR /*commandLine*/,
                   int showCommand) {
    try {
        return Run(showCommand);
    } catch (const std::exception& error) {
        // The system refused a window or a timer: said plainly, not a silent end.
        const std::wstring text =
            skyfault::win32::Widen(std::string("Skyfault cannot start: ") + error.what() + ".");
        MessageBoxW(nullptr, text.c_str(), L"Skyfault", MB_OK | MB_ICONERROR);
        return 1;
    }
}
