// The Windows program's own windows over an engine on a manual clock, against
// a server in the test's process: controls are driven by messages and read
// back. The behaviour behind them is the engine's and is tested there.

#include <gtest/gtest.h>

// clang-format off
#include "link/win32.h"
#include <commctrl.h>
// clang-format on

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "tests/support/engine_fixture.h"
#include "tests/support/wave_image.h"
#include "ui/win32/file_dialog.h"
#include "ui/win32/frmAbout.h"
#include "ui/win32/frmMain.h"
#include "ui/win32/frmPreferences.h"
#include "ui/win32/frmSystemSettings.h"
#include "ui/win32/mci_player.h"
#include "ui/win32/resource.h"
#include "ui/win32/window.h"
#include "ui/win32/window_timer.h"

namespace skyfault::win32 {
namespace {

// A file allowing `systems` (Flaps greyed), each failing at every check.
std::string ConfigAllowing(const std::vector<int>& systems, const char* activated) {
    std::string failures, lists;
    for (int id = 0; id < kSystemCount; ++id) {
        const std::string key = ConfigKey(Catalogue()[id].caption);
        const bool on = std::find(systems.begin(), systems.end(), id) != systems.end();
        failures += key + (id == 24 ? "=2" : on ? "=1" : "=0") + "\r\n";
        lists += key + "Str=" + engine::testing::kAlwaysList + "\r\n";
    }
    return std::string("[General]\r\nRate=500\r\nFrequency=30\r\nActivated=") + activated +
           "\r\nVisualNotification=1\r\nFuelLeakSpeed=1\r\n[Failures]\r\n" + failures +
           "[Sounds]\r\nDefaultSound=default.wav\r\n[Systems]\r\n" + lists;
}

// Runs what is queued for the thread's windows, as the message loop does.
void Pump() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE) != FALSE) {
        if (!HandleDialogKeys(message)) {
            DispatchMessageA(&message);
        }
    }
}
void Click(HWND control) {
    SendMessageA(control, BM_CLICK, 0, 0);
}
void Type(HWND box, const std::string& text) {
    SendMessageA(box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}
void Menu(HWND window, int command) {
    SendMessageA(window, WM_COMMAND, command, 0);
}
void Select(HWND dialog, HWND list, int position) {
    SendMessageA(list, CB_SETCURSEL, position, 0);
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_CMB_SYSTEM, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(list));
}
// Escape as the message loop hands it over, to the window holding `control`.
void Escape(HWND control) {
    MSG message{control, WM_KEYDOWN, VK_ESCAPE, 0, 0, {}};
    EXPECT_TRUE(HandleDialogKeys(message));
}
int Check(HWND box) {
    return static_cast<int>(SendMessageA(box, BM_GETCHECK, 0, 0));
}

std::string ToolTipText(HWND toolTip, HWND owner, HWND tool) {
    char text[80] = {};  // as much as the 8-bit message gives
    TOOLINFOA info{sizeof info, 0, owner,  reinterpret_cast<UINT_PTR>(tool), {}, nullptr,
                   text,        0, nullptr};
    SendMessageA(toolTip, TTM_GETTEXTA, sizeof text, reinterpret_cast<LPARAM>(&info));
    return text;
}

class WindowsTest : public ::testing::Test {
protected:
    test_support::InProcessServer server;
    link::Link link{server};
    engine::ManualClock clock;
    engine::testing::RecordingSound sound;
    engine::SeededRandom random{7.0};
    engine::testing::TempFolder folder;
    std::filesystem::path configPath = folder.path() / "skyfault.cfg";
    ScriptedFileDialog files;
    std::unique_ptr<engine::Engine> engine;
    std::unique_ptr<frmMain> window;
    int quits = 0;

    ~WindowsTest() override {
        window.reset();
        Pump();
        engine.reset();
        link.LinkClose();
    }

    // As the program starts: the window first, then Main, then showing.
    void Start(const std::vector<int>& allowed, const char* activated = "1") {
        window.reset();
        engine.reset();
        engine::testing::WriteFile(configPath, ConfigAllowing(allowed, activated));
        engine = std::make_unique<engine::Engine>(
            engine::Engine::Dependencies{link, clock, sound, &random, &clock, configPath.string()});
        window = std::make_unique<frmMain>(*engine, files);
        window->SetQuitHandler([this] { ++quits; });
        engine->Main();
        ShowWindow(window->hwnd(), SW_SHOW);
    }

    HWND Main(int id) const { return window->Control(id); }
    std::string Status() const { return GetText(Main(IDC_TXT_MESSAGE)); }
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
    Start({3, 22}, "0");
    EXPECT_EQ(GetText(window->hwnd()), "Skyfault Connected");
    EXPECT_NE(GetClassLongPtrA(window->hwnd(), GCLP_HICON), 0) << "the built-in icon";
    EXPECT_NE(SendMessageA(Main(IDC_IMAGE1), STM_GETIMAGE, IMAGE_BITMAP, 0), 0) << "the banner";
    EXPECT_EQ(GetText(Main(IDC_LBL_RATE)), engine->state().window.lblRate);
    EXPECT_EQ(GetText(Main(IDC_LBL_INTERVAL)), "30");
    EXPECT_EQ(Status(), "Skyfault Disabled");
    EXPECT_TRUE(IsWindowEnabled(Main(IDC_CMD_ACTIVATE)));
    EXPECT_FALSE(IsWindowEnabled(Main(IDC_CMD_DISABLE)));
    for (int id = 0; id < kSystemCount; ++id) {
        EXPECT_EQ(Check(Main(IDC_CHK_FAILURE_TYPE(id))), id == 24              ? BST_INDETERMINATE
                                                         : id == 3 || id == 22 ? BST_CHECKED
                                                                               : BST_UNCHECKED)
            << id;
    }

    // A failure in red, its box greyed; a disabled button has no command.
    Click(Main(IDC_CMD_ACTIVATE));
    EXPECT_EQ(Status(), "Skyfault Activated");
    EXPECT_FALSE(IsWindowEnabled(Main(IDC_CMD_ACTIVATE)));
    EXPECT_TRUE(IsWindowEnabled(Main(IDC_CMD_DISABLE)));
    engine->FailSystem(3);
    EXPECT_EQ(Status(), "Failure: Attitude Indicator");
    EXPECT_EQ(StatusColour(), RGB(255, 0, 0));
    EXPECT_FALSE(IsWindowEnabled(Main(IDC_CHK_FAILURE_TYPE(3))));
    EXPECT_TRUE(IsWindowEnabled(Main(IDC_CHK_FAILURE_TYPE(22))));
    Menu(window->hwnd(), IDC_CMD_ACTIVATE);
    EXPECT_EQ(StatusColour(), RGB(255, 0, 0)) << "Activate is disabled: nothing happens";
    Click(Main(IDC_CMD_DISABLE));
    EXPECT_EQ(Status(), "Skyfault Disabled");
    EXPECT_EQ(StatusColour(), RGB(0, 0, 0));

    // A greyed box clears, then ticks; the engine follows.
    for (const int expected : {BST_UNCHECKED, BST_CHECKED}) {
        Click(Main(IDC_CHK_FAILURE_TYPE(24)));
        EXPECT_EQ(Check(Main(IDC_CHK_FAILURE_TYPE(24))), expected);
        EXPECT_EQ(engine->state().settings.allowed[24], expected == BST_CHECKED ? 1 : 0);
    }

    // A long message shows from its start; the whole of it is in the tool tip.
    const std::string longText = "Could not save skyfault.cfg: " + std::string(40, 'x') + ".";
    engine->SetStatusText(longText);
    EXPECT_EQ(Status(), longText);
    EXPECT_EQ(SendMessageA(Main(IDC_TXT_MESSAGE), EM_GETFIRSTVISIBLELINE, 0, 0), 0);
    EXPECT_EQ(ToolTipText(window->StatusToolTip(), window->hwnd(), Main(IDC_TXT_MESSAGE)),
              longText);
}

TEST_F(WindowsTest, DialogsLiveAsTheEngineSaysAndEscapeIsCancel) {
    Start({3});
    const HWND main = window->hwnd();

    // Preferences: made hidden with the window, shown without owner, only hidden again.
    frmPreferences* prefs = window->Preferences();
    const HWND p = prefs->hwnd();
    EXPECT_FALSE(IsWindowVisible(p));
    Click(Main(IDC_CMD_DEFAULT));
    EXPECT_TRUE(IsWindowVisible(p));
    EXPECT_EQ(GetWindow(p, GW_OWNER), nullptr);
    Type(prefs->Control(IDC_TXT_RATE_DENOMINATOR), "70000");
    Type(prefs->Control(IDC_TXT_INTERVAL), "45");
    Click(prefs->Control(IDC_OPT_FUEL_LEAK_SPEED(2)));
    EXPECT_EQ(Check(prefs->Control(IDC_OPT_FUEL_LEAK_SPEED(1))), BST_UNCHECKED);
    Click(prefs->Control(IDC_CMD_PREFS_OK));
    EXPECT_FALSE(IsWindowVisible(p));
    EXPECT_EQ(Status(), "Max rate value is 65000.");
    EXPECT_EQ(GetText(Main(IDC_LBL_INTERVAL)), "45");
    EXPECT_EQ(engine->state().settings.fuelLeakSpeed, 2);
    Menu(main, IDM_FILE_DEFAULT);
    EXPECT_EQ(window->Preferences(), prefs);
    files.Answer("C:\\sounds\\bell.wav");
    Click(prefs->Control(IDC_CMD_DEFAULT_BROWSE));
    EXPECT_EQ(files.TitlesAsked(), std::vector<std::string>{"Open Sound File"});
    EXPECT_EQ(files.OwnersAsked(), std::vector<HWND>{p});
    EXPECT_EQ(GetText(prefs->Control(IDC_TXT_DEFAULT_SOUND)), "C:\\sounds\\bell.wav");
    Escape(prefs->Control(IDC_CMD_PREFS_OK));
    EXPECT_FALSE(IsWindowVisible(p));
    EXPECT_EQ(GetText(prefs->Control(IDC_TXT_DEFAULT_SOUND)), "default.wav");

    // System settings: made when first shown, hidden by OK, destroyed by Cancel.
    EXPECT_EQ(window->SystemSettings(), nullptr);
    Click(Main(IDC_CMD_SPECIFIC));
    frmSystemSettings* settings = window->SystemSettings();
    ASSERT_NE(settings, nullptr);
    const HWND s = settings->hwnd();
    const HWND list = settings->Control(IDC_CMB_SYSTEM);
    EXPECT_TRUE(IsWindowVisible(s));
    EXPECT_EQ(GetWindow(s, GW_OWNER), nullptr);
    Type(settings->Control(IDC_TXT_SYSTEM_RATE), "77");
    Select(s, list, 3);
    EXPECT_EQ(engine->state().settings.systemStr[0], "77,0,999,-50,100,-999,99999,C");
    files.Answer("C:\\sounds\\gong.wav");
    Click(settings->Control(IDC_CMD_SOUND_BROWSE));
    EXPECT_EQ(files.TitlesAsked().back(), "") << "the platform's own title";
    EXPECT_EQ(files.OwnersAsked().back(), s);
    Click(settings->Control(IDC_CMD_OK_SYSTEM_SETTINGS));
    EXPECT_FALSE(IsWindowVisible(s));
    EXPECT_EQ(engine->state().settings.soundFiles[3], "C:\\sounds\\gong.wav");
    Pump();
    Menu(main, IDM_FILE_SPECIFIC);
    EXPECT_EQ(window->SystemSettings(), settings);
    const std::string shown = engine->state().settings.systemStr[3];
    Type(settings->Control(IDC_TXT_SYSTEM_RATE), "55");
    Select(s, list, 0);
    Escape(settings->Control(IDC_CMD_OK_SYSTEM_SETTINGS));
    EXPECT_EQ(engine->state().settings.systemStr[3], shown) << "Cancel restores the lists";
    Pump();
    EXPECT_EQ(window->SystemSettings(), nullptr);
    EXPECT_FALSE(IsWindow(s));

    // About: loaded once on use, unloaded by OK and by its close box.
    for (const bool closeBox : {false, true}) {
        Menu(main, IDM_HELP_ABOUT);
        frmAbout* about = window->About();
        ASSERT_NE(about, nullptr);
        Menu(main, IDM_HELP_ABOUT);
        EXPECT_EQ(window->About(), about);
        closeBox ? static_cast<void>(SendMessageA(about->hwnd(), WM_CLOSE, 0, 0))
                 : Click(about->Control(IDC_CMD_OK));
        Pump();
        EXPECT_EQ(window->About(), nullptr);
    }
}

TEST_F(WindowsTest, ExitAndFileExitSaveAndEndTheCloseBoxEndsWithoutSaving) {
    for (const int command : {0, IDM_FILE_EXIT, IDC_BTN_EXIT}) {
        SCOPED_TRACE(command);
        Start({2});
        Click(Main(IDC_CHK_FAILURE_TYPE(3)));
        std::filesystem::remove(configPath);
        Menu(window->hwnd(), IDM_HELP_ABOUT);
        quits = 0;
        command == 0 ? static_cast<void>(SendMessageA(window->hwnd(), WM_CLOSE, 0, 0))
                     : Menu(window->hwnd(), command);
        EXPECT_EQ(quits, 1);
        EXPECT_EQ(std::filesystem::exists(configPath), command != 0);
        EXPECT_FALSE(link.IsOpen());
        EXPECT_FALSE(IsWindowVisible(window->hwnd()));
        EXPECT_FALSE(IsWindowVisible(window->About()->hwnd())) << "other windows go with it";
        Menu(window->hwnd(), IDM_FILE_EXIT);
        EXPECT_EQ(quits, 1) << "an unloaded window has no more commands";
    }
    EXPECT_NE(engine::testing::ReadFile(configPath).find("AttitudeIndicator=1\r\n"),
              std::string::npos);
}

TEST(Win32AdaptersTest, WindowTimersTickOnlyWhileRunningAndMciOpensOnlyWaveFiles) {
    WindowTimerFactory factory;
    std::unique_ptr<engine::Timer> timer = factory.CreateTimer();
    auto& windowTimer = static_cast<WindowTimer&>(*timer);
    int ticks = 0;
    timer->SetCallback([&] { ++ticks; });
    timer->SetEnabled(true);
    EXPECT_FALSE(windowTimer.IsRunning()) << "no period yet";
    timer->SetInterval(20);
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (ticks < 3 && std::chrono::steady_clock::now() < until) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        Pump();
    }
    EXPECT_GE(ticks, 3);
    timer->SetInterval(0);
    EXPECT_FALSE(windowTimer.IsRunning()) << "a new period of 0 stops it";
    const int stopped = ticks;
    SendMessageA(factory.hwnd(), WM_TIMER, 1, 0);  // one already queued
    timer->SetInterval(20);
    timer->SetEnabled(false);
    SendMessageA(factory.hwnd(), WM_TIMER, 1, 0);
    EXPECT_EQ(ticks, stopped) << "a stopped or disabled timer does not tick";

    engine::testing::TempFolder folder;
    const std::filesystem::path empty = folder.path() / "empty.wav";
    const std::filesystem::path tone = folder.path() / "tone.wav";
    engine::testing::WriteFile(empty, std::string("RIFF") + std::string(40, '\0'));
    engine::testing::WriteFile(tone, testing::WaveImage(1, 1, 8000, 8, std::string(800, '\x80')));
    MciSoundPlayer player;
    for (const std::string& path : {std::string(), folder.path().string(), std::string("NUL"),
                                    (folder.path() / "missing.wav").string(), empty.string()}) {
        EXPECT_FALSE(PlayableSoundFile(path)) << path;
        player.Open(path);
        EXPECT_EQ(player.OpenDevice(), 0u) << path;
        player.Play();
    }
    // A wave file opens (played or not, as the machine's audio allows); the
    // next Open closes it first.
    player.Open(tone.string());
    EXPECT_NE(player.OpenDevice(), 0u);
    player.Play();
    player.Open(empty.string());
    EXPECT_EQ(player.OpenDevice(), 0u);
}

TEST(Win32ResourcesTest, TheProgramCarriesItsManifest) {
    const HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    ASSERT_NE(found, nullptr) << "no manifest";
    const std::string manifest(static_cast<const char*>(LockResource(LoadResource(nullptr, found))),
                               SizeofResource(nullptr, found));
    EXPECT_NE(manifest.find("Common-Controls\" version=\"6.0.0.0\""), std::string::npos);
    EXPECT_NE(manifest.find("PerMonitorV2"), std::string::npos);
}

}  // namespace
}  // namespace skyfault::win32
