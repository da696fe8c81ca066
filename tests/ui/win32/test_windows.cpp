// The Windows program's own windows over an engine on a manual clock, against
// a server in the test's process: controls are driven by messages and read
// back. The behaviour behind them is the engine's and is tested there.

#include <gtest/gtest.h>

#include <utility>
#include <vector>

// clang-format off
#include "platform/win32.h"
#include <commctrl.h>
#include <mmsystem.h>
// clang-format on

#include "skyfault_version.h"
#include "tests/support/engine_fixture.h"
#include "tests/support/wave_image.h"
#include "ui/win32/file_dialog.h"
#include "ui/win32/frmAbout.h"
#include "ui/win32/frmMain.h"
#include "ui/win32/frmPreferences.h"
#include "ui/win32/frmSystemSettings.h"
#include "ui/win32/mci_player.h"
#include "ui/win32/resource.h"
#include "ui/win32/window_timer.h"

namespace skyfault::win32 {
namespace {

// Runs what is queued for the thread's windows, as the message loop does;
// the number of times the loop was told to end (WM_QUIT).
int Pump() {
    MSG message;
    int quits = 0;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE) != FALSE) {
        if (message.message == WM_QUIT) {
            ++quits;
        } else if (!HandleDialogKeys(message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    return quits;
}

// A key pressed and released on the focused control, through the message loop.
void Press(WPARAM key) {
    const HWND focus = GetFocus();
    PostMessageW(focus, WM_KEYDOWN, key, 1);
    PostMessageW(focus, WM_KEYUP, key, 0xC0000001);
    Pump();
}

// Answers with the path it was given, once (none: as a cancelled dialog),
// and records each question.
struct ScriptedFileDialog final : FileDialog {
    std::string ChooseFile(HWND owner, const std::string& title) override {
        asked.emplace_back(owner, title);
        return std::exchange(answer, {});
    }
    std::string answer;
    std::vector<std::pair<HWND, std::string>> asked;
};

class WindowsTest : public engine::testing::EngineTest {
protected:
    ScriptedFileDialog files;
    std::unique_ptr<frmMain> window;

    ~WindowsTest() override {
        window.reset();
        Pump();
    }

    // As the program starts, disabled, from a file refusing Left Tank (Flaps
    // greyed): the window, Main, showing.
    void Open() {
        WriteConfig(
            "[General]\r\nFrequency=30\r\nActivated=0\r\nVisualNotification=1\r\n"
            "[Failures]\r\nLeftTank=0\r\nFlaps=2\r\n[Sounds]\r\nDefaultSound=default.wav\r\n");
        Make();
        window = std::make_unique<frmMain>(*engine, files);
        engine->Main();
        ShowWindow(window->hwnd(), SW_SHOW);
    }

    HWND Main(int id) const { return window->Control(id); }
    // The thread's window of that class (resource.h), as the windowing system
    // has it; nullptr when there is none.
    static HWND Loaded(const char* className) {
        HWND found = nullptr;
        for (HWND w = nullptr; (w = FindWindowExA(nullptr, w, className, nullptr)) != nullptr;) {
            if (GetWindowThreadProcessId(w, nullptr) == GetCurrentThreadId()) {
                EXPECT_EQ(found, nullptr) << "two windows of one class";
                found = w;
            }
        }
        return found;
    }
    static HWND Preferences() { return Loaded(SKYFAULT_CLASS_PREFERENCES); }
    static HWND SystemSettings() { return Loaded(SKYFAULT_CLASS_SYSTEM_SETTINGS); }
    static HWND About() { return Loaded(SKYFAULT_CLASS_ABOUT); }
    static HWND FailureLog() { return Loaded(SKYFAULT_CLASS_FAILURE_LOG); }
    std::string Shown() const { return GetText(Main(IDC_TXT_MESSAGE)); }
    static void Click(HWND control) { SendMessageA(control, BM_CLICK, 0, 0); }
    static void Menu(HWND window, int command) { SendMessageA(window, WM_COMMAND, command, 0); }
    static int Check(HWND box) { return static_cast<int>(SendMessageA(box, BM_GETCHECK, 0, 0)); }
    // Escape as the message loop hands it over, to the window holding `control`.
    static void Escape(HWND c) {
        MSG m{c, WM_KEYDOWN, VK_ESCAPE, 0, 0, {}};
        HandleDialogKeys(m);
    }
    COLORREF StatusColour() const {
        const HDC dc = CreateCompatibleDC(nullptr);
        SendMessageA(window->hwnd(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                     reinterpret_cast<LPARAM>(Main(IDC_TXT_MESSAGE)));
        const COLORREF colour = GetTextColor(dc);
        DeleteDC(dc);
        return colour;
    }
};

TEST_F(WindowsTest, TheMainWindowShowsTheEngineAndForwardsItsCommands) {
    Open();
    EXPECT_EQ(Shown(), "Skyfault Disabled");
    EXPECT_TRUE(IsWindowEnabled(Main(IDC_CMD_ACTIVATE)));
    EXPECT_FALSE(IsWindowEnabled(Main(IDC_CMD_DISABLE)));
    EXPECT_EQ(Check(Main(IDC_CHK_FAILURE_TYPE(22))), BST_CHECKED);
    EXPECT_EQ(Check(Main(IDC_CHK_FAILURE_TYPE(21))), BST_UNCHECKED);
    EXPECT_EQ(Check(Main(IDC_CHK_FAILURE_TYPE(24))), BST_INDETERMINATE);

    // A failure in red, its box greyed; a disabled button has no command.
    Click(Main(IDC_CMD_ACTIVATE));
    engine->FailSystem(3);
    EXPECT_EQ(Shown(), "Failure: Attitude Indicator");
    EXPECT_EQ(StatusColour(), RGB(255, 0, 0));
    EXPECT_FALSE(IsWindowEnabled(Main(IDC_CHK_FAILURE_TYPE(3))));
    // Repair All Systems is greyed but while a system is failed (the Wine
    // desktop test reads the Failure Log's rows).
    const HMENU bar = GetMenu(window->hwnd());
    EXPECT_EQ(GetMenuState(bar, IDM_FLIGHT_REPAIR, MF_BYCOMMAND) & MF_GRAYED, 0u);
    Menu(window->hwnd(), IDM_FLIGHT_REPAIR);
    EXPECT_TRUE(IsWindowEnabled(Main(IDC_CHK_FAILURE_TYPE(3))));
    EXPECT_NE(GetMenuState(bar, IDM_FLIGHT_REPAIR, MF_BYCOMMAND) & MF_GRAYED, 0u);
    engine->FailSystem(3);
    Menu(window->hwnd(), IDC_CMD_ACTIVATE);
    EXPECT_EQ(StatusColour(), RGB(255, 0, 0)) << "Activate is disabled: nothing happens";
    Click(Main(IDC_CMD_DISABLE));
    EXPECT_EQ(Shown(), "Skyfault Disabled");
    EXPECT_EQ(StatusColour(), RGB(0, 0, 0));

    // A click reaches the engine (a greyed box clears: its rule is the
    // engine's), and the box shows the result.
    Click(Main(IDC_CHK_FAILURE_TYPE(24)));
    EXPECT_EQ(engine->state().settings.allowed[24], 0);
    EXPECT_EQ(Check(Main(IDC_CHK_FAILURE_TYPE(24))), BST_UNCHECKED);

    // A long message shows from its start; the whole of it is in the tool tip.
    const std::string longText = "Could not save skyfault.cfg: " + std::string(40, 'x') + ".";
    engine->SetStatusText(longText);
    EXPECT_EQ(SendMessageA(Main(IDC_TXT_MESSAGE), EM_GETFIRSTVISIBLELINE, 0, 0), 0);
    char tip[80] = {};  // as much as the 8-bit message gives
    TOOLINFOA info{};
    info.cbSize = sizeof info;
    info.hwnd = window->hwnd();
    info.uId = reinterpret_cast<UINT_PTR>(Main(IDC_TXT_MESSAGE));
    info.lpszText = tip;
    SendMessageA(Loaded(TOOLTIPS_CLASSA), TTM_GETTEXTA, sizeof tip,
                 reinterpret_cast<LPARAM>(&info));
    EXPECT_EQ(tip, longText);
}

TEST_F(WindowsTest, DialogsForwardTheirControlsEscapeIsCancelAndTheCloseBoxEndsAll) {
    Open();
    const HWND main = window->hwnd();

    // Preferences: shown without owner, its edits and options taken on OK.
    const HWND p = Preferences();
    Click(Main(IDC_CMD_DEFAULT));
    EXPECT_TRUE(IsWindowVisible(p));
    EXPECT_EQ(GetWindow(p, GW_OWNER), nullptr);
    SetText(GetDlgItem(p, IDC_TXT_RATE_DENOMINATOR), "70000");
    SetText(GetDlgItem(p, IDC_TXT_INTERVAL), "45");
    Click(GetDlgItem(p, IDC_OPT_FUEL_LEAK_SPEED(2)));
    Click(GetDlgItem(p, IDC_CMD_PREFS_OK));
    EXPECT_FALSE(IsWindowVisible(p));
    EXPECT_EQ(Shown(), "Max rate value is 65000.");
    EXPECT_EQ(GetText(Main(IDC_LBL_INTERVAL)), "45");
    EXPECT_EQ(engine->state().settings.fuelLeakSpeed, 2);
    Menu(main, IDM_FILE_DEFAULT);
    files.answer = "C:\\sounds\\bell.wav";
    Click(GetDlgItem(p, IDC_CMD_DEFAULT_BROWSE));
    EXPECT_EQ(files.asked, (std::vector<std::pair<HWND, std::string>>{{p, "Open Sound File"}}));
    Escape(GetDlgItem(p, IDC_CMD_PREFS_OK));
    EXPECT_EQ(GetText(GetDlgItem(p, IDC_TXT_DEFAULT_SOUND)), "default.wav");

    // Sound names as the system's code page allows (Wine's follows the test's
    // locale): on a Western Windows (1252) skyfault.cfg cannot hold a
    // Cyrillic name, on a Cyrillic one (1251) not a French e acute (never the
    // best-fit "e", another file). Such a name is refused whether chosen or
    // typed, the box keeping its text; the other is kept, and saved as the
    // code page's bytes.
    const UINT page = GetACP();
    ASSERT_TRUE(page == 1252 || page == 1251) << page;
    const std::string cyrillic = "C:\\\u0417\u0432\u0443\u043a\u0438\\\u0433\u043e\u043d\u0433.wav";
    const std::string french = "C:\\Sons\\alarme_\u00e9.wav";
    const std::string& foreign = page == 1252 ? cyrillic : french;
    const std::string& own = page == 1252 ? french : cyrillic;
    const std::string ownBytes = page == 1252 ? "C:\\Sons\\alarme_\xE9.wav"
                                              : "C:\\\xC7\xE2\xF3\xEA\xE8\\\xE3\xEE\xED\xE3.wav";
    Menu(main, IDM_FILE_DEFAULT);
    const HWND sound = GetDlgItem(p, IDC_TXT_DEFAULT_SOUND);
    files.answer = foreign;
    Click(GetDlgItem(p, IDC_CMD_DEFAULT_BROWSE));
    EXPECT_EQ(GetText(sound), "default.wav");
    SetWindowTextW(sound, Widen(foreign).c_str());
    EXPECT_EQ(GetText(sound), "default.wav");
    Click(GetDlgItem(p, IDC_CMD_PREFS_OK));
    EXPECT_EQ(engine->state().settings.defaultSound, "default.wav") << "the refused name kept out";
    Menu(main, IDM_FILE_DEFAULT);
    files.answer = own;
    Click(GetDlgItem(p, IDC_CMD_DEFAULT_BROWSE));
    Click(GetDlgItem(p, IDC_CMD_PREFS_OK));
    EXPECT_NE(engine::testing::ReadFile(configPath).find("DefaultSound=" + ownBytes + "\r\n"),
              std::string::npos);

    // System settings: hidden by OK, destroyed by Cancel.
    Click(Main(IDC_CMD_SPECIFIC));
    const HWND s = SystemSettings();
    ASSERT_NE(s, nullptr);
    EXPECT_TRUE(IsWindowVisible(s));
    SetText(GetDlgItem(s, IDC_TXT_SYSTEM_RATE), "77");
    SendMessageA(GetDlgItem(s, IDC_CMB_SYSTEM), CB_SETCURSEL, 3, 0);
    SendMessageA(s, WM_COMMAND, MAKEWPARAM(IDC_CMB_SYSTEM, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(GetDlgItem(s, IDC_CMB_SYSTEM)));
    EXPECT_EQ(engine->state().settings.systemStr[0].rfind("77,", 0), 0u);
    files.answer = "C:\\sounds\\gong.wav";
    Click(GetDlgItem(s, IDC_CMD_SOUND_BROWSE));
    EXPECT_EQ(files.asked.back(), std::pair(s, std::string())) << "the platform's own title";
    files.answer = foreign;
    Click(GetDlgItem(s, IDC_CMD_SOUND_BROWSE));
    SetWindowTextW(GetDlgItem(s, IDC_TXT_SYSTEM_SOUND), Widen(foreign).c_str());
    EXPECT_EQ(GetText(GetDlgItem(s, IDC_TXT_SYSTEM_SOUND)), "C:\\sounds\\gong.wav");
    Click(GetDlgItem(s, IDC_CMD_OK_SYSTEM_SETTINGS));
    EXPECT_FALSE(IsWindowVisible(s));
    EXPECT_EQ(engine->state().settings.soundFiles[3], "C:\\sounds\\gong.wav");
    Pump();
    Menu(main, IDM_FILE_SPECIFIC);
    ASSERT_EQ(SystemSettings(), s);
    Escape(GetDlgItem(s, IDC_CMD_OK_SYSTEM_SETTINGS));
    Pump();
    EXPECT_FALSE(IsWindow(s));

    // About: unloaded by OK and by its close box.
    for (const bool closeBox : {false, true}) {
        Menu(main, IDM_HELP_ABOUT);
        const HWND about = About();
        ASSERT_NE(about, nullptr);
        EXPECT_TRUE(GetText(GetDlgItem(about, IDC_TXT_ABOUT))
                        .starts_with("Skyfault v" SKYFAULT_VERSION "\r\n\r\nMakes aircraft"));
        closeBox ? static_cast<void>(SendMessageA(about, WM_CLOSE, 0, 0))
                 : Click(GetDlgItem(about, IDC_CMD_OK));
        Pump();
        EXPECT_EQ(About(), nullptr);
    }

    // The close box ends without saving, every window along (Exit and File >
    // Exit save: the Wine desktop test has both).
    std::filesystem::remove(configPath);
    Menu(main, IDM_HELP_ABOUT);
    Menu(main, IDM_FLIGHT_LOG);  // its box, losing the focus as all ends, keeps what it holds
    SetFocus(GetDlgItem(FailureLog(), IDC_TXT_MAX_FAILURES));
    SetText(GetDlgItem(FailureLog(), IDC_TXT_MAX_FAILURES), "5");
    SendMessageA(main, WM_CLOSE, 0, 0);
    EXPECT_EQ(Pump(), 1);
    EXPECT_FALSE(std::filesystem::exists(configPath));
    EXPECT_FALSE(IsWindowVisible(main));
    EXPECT_FALSE(IsWindowVisible(About()));
    Menu(main, IDM_FILE_EXIT);
    EXPECT_EQ(Pump(), 0) << "an unloaded window has no more commands";
}

// Windows users' keyboard: the focus moves on from a button that disables
// itself, a dialog opens on its first box and gives the focus back to the
// button that opened it, and every menu item has an access key.
TEST_F(WindowsTest, FocusMovesOnAndComesBackAndMenuItemsHaveAccessKeys) {
    Open();
    SetForegroundWindow(window->hwnd());
    const HWND activate = Main(IDC_CMD_ACTIVATE);
    const HWND disable = Main(IDC_CMD_DISABLE);
    window->FocusControl(activate);
    ASSERT_EQ(GetFocus(), activate);
    Press(VK_SPACE);
    EXPECT_EQ(Shown(), "Skyfault Activated");
    EXPECT_EQ(GetFocus(), disable) << "the focus moved on from Activate";
    EXPECT_EQ(GetWindowLongPtrW(activate, GWL_STYLE) & BS_DEFPUSHBUTTON, 0)
        << "a disabled button has no default look";
    Press(VK_SPACE);
    EXPECT_EQ(Shown(), "Skyfault Disabled");
    EXPECT_EQ(GetFocus(), Main(IDC_CMD_DEFAULT)) << "Disable hands on to the next control";
    Press(VK_TAB);
    EXPECT_EQ(GetFocus(), Main(IDC_CMD_SPECIFIC)) << "Tab goes on";

    // Each dialog opens on its first box; Escape gives the focus back.
    window->FocusControl(Main(IDC_CMD_DEFAULT));
    Press(VK_SPACE);
    EXPECT_EQ(GetFocus(), GetDlgItem(Preferences(), IDC_TXT_RATE_DENOMINATOR));
    Press(VK_ESCAPE);
    EXPECT_FALSE(IsWindowVisible(Preferences()));
    EXPECT_EQ(GetFocus(), Main(IDC_CMD_DEFAULT)) << "back to the button that opened it";
    Press(VK_TAB);
    Press(VK_SPACE);
    ASSERT_NE(SystemSettings(), nullptr);
    EXPECT_EQ(GetFocus(), GetDlgItem(SystemSettings(), IDC_CMB_SYSTEM));
    Press(VK_ESCAPE);
    EXPECT_EQ(GetFocus(), Main(IDC_CMD_SPECIFIC));

    // The Failure Log opens on its list. Its box commits on Enter, keeping
    // the focus, and when Tab takes the focus on to Close; a refused text
    // leaves the limit, the box showing it. Escape hides the window.
    SendMessageW(window->hwnd(), WM_COMMAND, IDM_FLIGHT_LOG, 0);
    const HWND log = FailureLog();
    ASSERT_NE(log, nullptr);
    EXPECT_EQ(GetFocus(), GetDlgItem(log, IDC_LVW_EVENTS));
    Press(VK_TAB);
    const HWND limit = GetDlgItem(log, IDC_TXT_MAX_FAILURES);
    ASSERT_EQ(GetFocus(), limit);
    for (const auto& [typed, shown] : {std::pair{"1000", "0"}, {" 3 ", "3"}, {"x", "3"}}) {
        SetText(limit, typed);
        Press(VK_RETURN);
        EXPECT_EQ(GetText(limit), shown) << typed;
        EXPECT_EQ(engine->state().settings.maxFailures, std::stoi(shown)) << typed;
        EXPECT_EQ(GetFocus(), limit) << typed;
    }
    SetText(limit, "2");
    Press(VK_TAB);
    EXPECT_EQ(engine->state().settings.maxFailures, 2) << "committed as the focus left";
    EXPECT_EQ(GetFocus(), GetDlgItem(log, IDC_CMD_CLOSE_LOG));
    Press(VK_ESCAPE);
    EXPECT_FALSE(IsWindowVisible(log));
    EXPECT_EQ(FailureLog(), log) << "hidden, kept for the run";

    // Alt+H, A: the Help menu's About, through the system's menu loop.
    const HMENU bar = GetMenu(window->hwnd());
    std::vector<std::wstring> items;
    for (int menu = 0; menu < GetMenuItemCount(bar); ++menu) {
        wchar_t caption[64] = {};
        GetMenuStringW(bar, static_cast<UINT>(menu), caption, 64, MF_BYPOSITION);
        items.emplace_back(caption);
        const HMENU popup = GetSubMenu(bar, menu);
        for (int item = 0; item < GetMenuItemCount(popup); ++item) {
            wchar_t text[64] = {};
            GetMenuStringW(popup, static_cast<UINT>(item), text, 64, MF_BYPOSITION);
            items.emplace_back(text);
        }
    }
    EXPECT_EQ(items, (std::vector<std::wstring>{
                         L"&File", L"&Default Settings", L"&Specific Systems", L"E&xit", L"F&light",
                         L"&Repair All Systems", L"Failure &Log...", L"&Help", L"&About"}))
        << "Flight leaves Alt+F to File";
    // A is typed once the menu is open, as a user would; should it not reach
    // the menu, the menu ends after a while anyway.
    static HWND menuOwner;
    menuOwner = window->hwnd();
    const UINT_PTR typing = SetTimer(nullptr, 0, 200, [](HWND, UINT, UINT_PTR id, DWORD) {
        KillTimer(nullptr, id);
        PostMessageW(menuOwner, WM_KEYDOWN, 'A', 1);
        PostMessageW(menuOwner, WM_KEYUP, 'A', 0xC0000001);
    });
    const UINT_PTR guard =
        SetTimer(nullptr, 0, 3000, [](HWND, UINT, UINT_PTR, DWORD) { EndMenu(); });
    PostMessageW(window->hwnd(), WM_SYSCOMMAND, SC_KEYMENU, 'h');
    Pump();
    KillTimer(nullptr, typing);
    KillTimer(nullptr, guard);
    ASSERT_NE(About(), nullptr) << "Alt+H, A opens About";
    EXPECT_EQ(GetFocus(), GetDlgItem(About(), IDC_CMD_OK));
}

TEST(Win32AdaptersTest, WindowTimersTickOnlyWhileRunningAndMciOpensOnlyWaveFiles) {
    WindowTimerFactory factory;
    std::unique_ptr<engine::Timer> timer = factory.CreateTimer();
    const HWND timers = FindWindowExW(HWND_MESSAGE, nullptr, L"Skyfault.Timers", nullptr);
    int ticks = 0;
    timer->SetCallback([&] { ++ticks; });
    timer->SetEnabled(true);
    timer->SetInterval(20);  // (its real ticks fail Pitot in the Wine desktop test)
    SendMessageA(timers, WM_TIMER, 1, 0);
    EXPECT_EQ(ticks, 1);
    timer->SetInterval(0);
    SendMessageA(timers, WM_TIMER, 1, 0);  // one already queued
    EXPECT_EQ(ticks, 1) << "a new period of 0 stops it";

    engine::testing::TempFolder folder;
    const std::filesystem::path empty = folder.path() / "empty.wav";
    const std::filesystem::path tone = folder.path() / "tone.wav";
    engine::testing::WriteFile(empty, std::string("RIFF") + std::string(40, '\0'));
    engine::testing::WriteFile(tone, testing::WaveImage(1, 1, 8000, 8, std::string(800, '\x80')));
    // The wave-audio devices this process has open.
    const auto devices = [] {
        DWORD open = 0;
        MCI_SYSINFO_PARMSW info{};
        info.lpstrReturn = reinterpret_cast<LPWSTR>(&open);
        info.dwRetSize = sizeof open;
        info.wDeviceType = MCI_DEVTYPE_WAVEFORM_AUDIO;
        mciSendCommandW(MCI_ALL_DEVICE_ID, MCI_SYSINFO, MCI_SYSINFO_QUANTITY | MCI_SYSINFO_OPEN,
                        reinterpret_cast<DWORD_PTR>(&info));
        return open;
    };
    MciSoundPlayer player;
    for (const std::string& path : {std::string(), folder.path().string(), std::string("NUL"),
                                    (folder.path() / "missing.wav").string(), empty.string()}) {
        EXPECT_FALSE(PlayableSoundFile(path)) << path;
        player.Open(path);
        EXPECT_EQ(devices(), 0u) << path;
    }
    player.Open(tone.string());  // played or not, as the machine's audio allows
    EXPECT_EQ(devices(), 1u);
    player.Play();

    // A sound in a folder and file of any name opens (the names in UTF-8).
    const std::filesystem::path named =
        folder.path() / L"\u0417\u0432\u0443\u043a\u0438 \u00e9" / L"\u0433\u043e\u043d\u0433.wav";
    ASSERT_NE(CreateDirectoryW(named.parent_path().wstring().c_str(), nullptr), FALSE);
    ASSERT_NE(CopyFileW(tone.wstring().c_str(), named.wstring().c_str(), TRUE), FALSE);
    const std::string utf8 = Narrow(named.wstring());
    player.Open(utf8);
    EXPECT_EQ(devices(), 1u);
    player.Close();
    EXPECT_EQ(devices(), 0u);
}

}  // namespace
}  // namespace skyfault::win32
