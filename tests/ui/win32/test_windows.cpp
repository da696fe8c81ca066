// The Windows program's own windows over a running engine on a manual
// clock, against a server in the test's process: controls are driven by
// messages (BM_CLICK, WM_SETTEXT, menu commands, keys) and their texts,
// check and enabled states and colours read back. The behaviour behind them
// is the engine's and is tested there.

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

using engine::testing::kAlwaysList;

std::string ConfigKeyOf(int id) {
    std::string key(Catalogue()[id].caption);
    key.erase(std::remove(key.begin(), key.end(), ' '), key.end());
    return key;
}

// A file allowing the given systems, with the always-failing list for all.
std::string ConfigAllowing(const std::vector<int>& systems, const char* activated = "1") {
    std::string text = "[General]\r\nRate=1000\r\nFrequency=1\r\nActivated=";
    text += activated;
    text +=
        "\r\nAudioNotification=1\r\nVisualNotification=1\r\nFuelLeakSpeed=1\r\n"
        "PauseWithSim=0\r\n\r\n[Failures]\r\n";
    for (int id = 0; id < kSystemCount; ++id) {
        const bool allowed = std::find(systems.begin(), systems.end(), id) != systems.end();
        text += ConfigKeyOf(id) + (allowed ? "=1\r\n" : "=0\r\n");
    }
    text += "\r\n[Sounds]\r\nDefaultSound=default.wav\r\n\r\n[Systems]\r\n";
    for (int id = 0; id < kSystemCount; ++id) {
        text += ConfigKeyOf(id) + "Str=" + kAlwaysList + "\r\n";
    }
    return text;
}

// Runs what is queued for the thread's windows, as the message loop does.
void Pump() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE) != FALSE) {
        if (!HandleDialogKeys(message)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
}

void Click(HWND control) {
    ASSERT_NE(control, nullptr);
    SendMessageA(control, BM_CLICK, 0, 0);
}

void Type(HWND box, const std::string& text) {
    ASSERT_NE(box, nullptr);
    SendMessageA(box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void Menu(HWND window, int command) {
    SendMessageA(window, WM_COMMAND, MAKEWPARAM(command, 0), 0);
}

// A key as the message loop hands it over, to the window holding `control`.
void Key(HWND control, WPARAM key) {
    MSG message{};
    message.hwnd = control;
    message.message = WM_KEYDOWN;
    message.wParam = key;
    if (!HandleDialogKeys(message)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

int Check(HWND box) {
    return static_cast<int>(SendMessageA(box, BM_GETCHECK, 0, 0));
}

// The text and background colours a window gives a control when it draws.
struct Colours {
    COLORREF text;
    COLORREF background;
};
Colours ColoursOf(HWND window, HWND control) {
    const HDC dc = CreateCompatibleDC(nullptr);
    SetTextColor(dc, RGB(1, 2, 3));
    SetBkColor(dc, RGB(4, 5, 6));
    SendMessageA(window, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                 reinterpret_cast<LPARAM>(control));
    const Colours colours{GetTextColor(dc), GetBkColor(dc)};
    DeleteDC(dc);
    return colours;
}

// Read in full through the wide message (the 8-bit one stops at 80 bytes).
std::string ToolTipText(HWND toolTip, HWND owner, HWND tool) {
    std::wstring wide(1024, L'\0');
    TOOLINFOW info{};
    info.cbSize = sizeof info;
    info.hwnd = owner;
    info.uId = reinterpret_cast<UINT_PTR>(tool);
    info.lpszText = wide.data();
    SendMessageW(toolTip, TTM_GETTEXTW, wide.size(), reinterpret_cast<LPARAM>(&info));
    wide.resize(wide.find(L'\0'));
    std::string text(wide.size() * 2 + 1, '\0');
    const int length =
        WideCharToMultiByte(CP_ACP, 0, wide.c_str(), static_cast<int>(wide.size()), text.data(),
                            static_cast<int>(text.size()), nullptr, nullptr);
    text.resize(static_cast<std::size_t>(std::max(length, 0)));
    return text;
}

std::string MenuText(HWND window, int command) {
    char text[64] = {};
    GetMenuStringA(GetMenu(window), static_cast<UINT>(command), text, sizeof text, MF_BYCOMMAND);
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

    void WriteConfig(const std::string& text) { engine::testing::WriteFile(configPath, text); }
    std::string ReadConfig() const { return engine::testing::ReadFile(configPath); }

    // As the program starts: the window first, then Main, then showing.
    void Start() {
        engine = std::make_unique<engine::Engine>(
            engine::Engine::Dependencies{link, clock, sound, &random, &clock, configPath.string()});
        window = std::make_unique<frmMain>(*engine, files);
        window->SetQuitHandler([this] { ++quits; });
        engine->Main();
        if (engine->state().window.loaded) {
            ShowWindow(window->hwnd(), SW_SHOW);
        }
    }

    HWND Main(int id) const { return window->Control(id); }
    std::string Status() const { return GetText(Main(IDC_TXT_MESSAGE)); }
    COLORREF StatusColour() const { return ColoursOf(window->hwnd(), Main(IDC_TXT_MESSAGE)).text; }
};

TEST_F(WindowsTest, TheMainWindowShowsTheEngineAndForwardsItsCommands) {
    WriteConfig(ConfigAllowing({3, 22}, "0") + "Rate=500\r\nFrequency=30\r\nFlaps=2\r\n");
    Start();
    const HWND main = window->hwnd();
    EXPECT_TRUE(IsWindowVisible(main));
    EXPECT_EQ(GetText(main), "Skyfault Connected");
    EXPECT_EQ(GetText(Main(IDC_LBL_RATE)), engine->state().window.lblRate);
    EXPECT_NE(GetText(Main(IDC_LBL_RATE)).find(".002"), std::string::npos);
    EXPECT_EQ(GetText(Main(IDC_LBL_INTERVAL)), "30");
    EXPECT_EQ(Status(), "Skyfault Disabled");
    EXPECT_TRUE(IsWindowEnabled(Main(IDC_CMD_ACTIVATE)));
    EXPECT_FALSE(IsWindowEnabled(Main(IDC_CMD_DISABLE)));
    for (int id = 0; id < kSystemCount; ++id) {
        const int expected = id == 24              ? BST_INDETERMINATE
                             : id == 3 || id == 22 ? BST_CHECKED
                                                   : BST_UNCHECKED;
        EXPECT_EQ(Check(Main(IDC_CHK_FAILURE_TYPE(id))), expected) << id;
    }

    // Captions, frames, their colours and the menus.
    struct Caption {
        int id;
        const char* text;
    };
    for (const Caption c :
         {Caption{IDC_FRA_STATUS, "Status"}, Caption{IDC_CMD_ACTIVATE, "Activate"},
          Caption{IDC_CMD_DISABLE, "Disable"}, Caption{IDC_CMD_DEFAULT, "Default Settings"},
          Caption{IDC_CMD_SPECIFIC, "Specific Systems"}, Caption{IDC_BTN_EXIT, "Exit"},
          Caption{IDC_FRA_CURRENT_SETTINGS, "Current Settings"},
          Caption{IDC_LBL_RATE_HEADING, "Default Probability:"},
          Caption{IDC_LBL_CHECK_INTERVAL, "Check Interval:"},
          Caption{IDC_LBL_ALLOWED_FAILURES, "Allowed Failures:"},
          Caption{IDC_CHK_FAILURE_TYPE(15), "Vertical Speed Indicator"},
          Caption{IDC_CHK_FAILURE_TYPE(23), "Center Tank"}}) {
        EXPECT_EQ(GetText(Main(c.id)), c.text);
    }
    struct Frame {
        int id;
        const char* caption;
        COLORREF text;
        COLORREF background;
    };
    const COLORREF yellow = RGB(255, 255, 192);
    const COLORREF white = RGB(255, 255, 255);
    for (const Frame f : {Frame{IDC_FRA_CURRENT_SETTINGS, "Current Settings", RGB(0, 0, 0), yellow},
                          Frame{IDC_FRA_INSTRUMENTS, "Instruments", RGB(255, 0, 0), white},
                          Frame{IDC_FRA_ENGINES, "Engines", RGB(0, 0, 255), yellow},
                          Frame{IDC_FRA_SYSTEMS, "Systems", RGB(0, 128, 0), yellow},
                          Frame{IDC_FRA_RADIOS, "Radios", RGB(192, 0, 192), yellow},
                          Frame{IDC_FRA_FUEL_LEAK, "Fuel Leak", RGB(128, 128, 0), yellow},
                          Frame{IDC_FRA_MISC, "Miscellaneous", RGB(255, 128, 0), yellow}}) {
        EXPECT_EQ(GetText(Main(f.id)), f.caption);
        const Colours colours = ColoursOf(main, Main(f.id));
        EXPECT_EQ(colours.text, f.text) << f.caption;
        EXPECT_EQ(colours.background, f.background) << f.caption;
    }
    EXPECT_EQ(ColoursOf(main, Main(IDC_LBL_RATE)).background, yellow);
    EXPECT_EQ(ColoursOf(main, Main(IDC_CHK_FAILURE_TYPE(0))).background, white);
    EXPECT_EQ(MenuText(main, IDM_FILE_DEFAULT), "Default Settings");
    EXPECT_EQ(MenuText(main, IDM_FILE_SPECIFIC), "Specific Systems");
    EXPECT_EQ(MenuText(main, IDM_FILE_EXIT), "Exit");
    EXPECT_EQ(MenuText(main, IDM_HELP_ABOUT), "About");
    char bar[16] = {};
    GetMenuStringA(GetMenu(main), 1, bar, sizeof bar, MF_BYPOSITION);
    EXPECT_STREQ(bar, "&Help");

    // Activate; a failure in red, its box greyed; a disabled button has no command.
    Click(Main(IDC_CMD_ACTIVATE));
    EXPECT_EQ(Status(), "Skyfault Activated");
    EXPECT_FALSE(IsWindowEnabled(Main(IDC_CMD_ACTIVATE)));
    EXPECT_TRUE(IsWindowEnabled(Main(IDC_CMD_DISABLE)));
    engine->FailSystem(3);
    EXPECT_EQ(Status(), "Failure: Attitude Indicator");
    EXPECT_EQ(StatusColour(), RGB(255, 0, 0));
    EXPECT_FALSE(IsWindowEnabled(Main(IDC_CHK_FAILURE_TYPE(3))));
    Menu(main, IDC_CMD_ACTIVATE);
    EXPECT_EQ(StatusColour(), RGB(255, 0, 0)) << "Activate is disabled: nothing happens";
    Click(Main(IDC_CMD_DISABLE));
    EXPECT_EQ(Status(), "Skyfault Disabled");
    EXPECT_EQ(StatusColour(), RGB(0, 0, 0));

    // Check box clicks: a greyed box clears, then ticks; the engine follows.
    Click(Main(IDC_CHK_FAILURE_TYPE(24)));
    EXPECT_EQ(Check(Main(IDC_CHK_FAILURE_TYPE(24))), BST_UNCHECKED);
    EXPECT_EQ(engine->state().settings.allowed[24], 0);
    Click(Main(IDC_CHK_FAILURE_TYPE(24)));
    EXPECT_EQ(Check(Main(IDC_CHK_FAILURE_TYPE(24))), BST_CHECKED);
    EXPECT_EQ(engine->state().settings.allowed[24], 1);

    // Controls and captions follow the monitor's DPI.
    auto widthOf = [](HWND control) {
        RECT rect;
        GetWindowRect(control, &rect);
        return rect.right - rect.left;
    };
    auto fontOf = [](HWND control) {
        LOGFONTA font{};
        GetObjectA(reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0)), sizeof font,
                   &font);
        return font;
    };
    window->ApplyDpi(96);
    const LONG exitWidth = widthOf(Main(IDC_BTN_EXIT));
    EXPECT_STREQ(fontOf(Main(IDC_BTN_EXIT)).lfFaceName, "Century Gothic");
    EXPECT_EQ(fontOf(Main(IDC_BTN_EXIT)).lfWeight, FW_BOLD);
    EXPECT_EQ(fontOf(Main(IDC_LBL_RATE)).lfWeight, FW_NORMAL);
    window->ApplyDpi(192);
    EXPECT_EQ(widthOf(Main(IDC_BTN_EXIT)), 2 * exitWidth);
    EXPECT_EQ(fontOf(Main(IDC_LBL_RATE)).lfHeight, -24);  // 9 points at 192 dpi
    window->ApplyDpi(96);

    // A long message shows from its start; the whole of it is in the tool tip.
    const std::string longText =
        "Could not save skyfault.cfg: " + std::string(200, 'x') + " (the end)";
    engine->SetStatusText(longText);
    EXPECT_EQ(Status(), longText);
    EXPECT_EQ(SendMessageA(Main(IDC_TXT_MESSAGE), EM_GETFIRSTVISIBLELINE, 0, 0), 0);
    EXPECT_EQ(ToolTipText(window->StatusToolTip(), main, Main(IDC_TXT_MESSAGE)), longText);
}

TEST_F(WindowsTest, WithoutAServerTheTitleSaysWhy) {
    server.SetWindowClass("");
    Start();
    EXPECT_EQ(GetText(window->hwnd()), "Skyfault Error: Cannot link to FSUIPC or WideClient");
}

TEST_F(WindowsTest, DialogsAreModelessMadeHiddenAndDestroyedAsTheEngineSays) {
    WriteConfig(ConfigAllowing({3}));
    Start();
    const HWND main = window->hwnd();

    // Preferences: made with the window, hidden; shown by the button.
    frmPreferences* prefs = window->Preferences();
    ASSERT_NE(prefs, nullptr);
    const HWND p = prefs->hwnd();
    EXPECT_FALSE(IsWindowVisible(p));
    Click(Main(IDC_CMD_DEFAULT));
    EXPECT_TRUE(IsWindowVisible(p));
    EXPECT_EQ(GetText(p), "Preferences");
    EXPECT_EQ(GetWindow(p, GW_OWNER), nullptr) << "without owner";
    EXPECT_TRUE(IsWindowEnabled(main)) << "the main window stays usable";
    EXPECT_EQ(GetText(prefs->Control(IDC_TXT_INTERVAL)), "1");
    std::vector<int> tabOrder;
    for (HWND at = GetNextDlgTabItem(p, nullptr, FALSE);
         at != nullptr && tabOrder.size() < 20 &&
         (tabOrder.empty() || at != prefs->Control(tabOrder.front()));
         at = GetNextDlgTabItem(p, at, FALSE)) {
        tabOrder.push_back(GetDlgCtrlID(at));
    }
    EXPECT_EQ(tabOrder, (std::vector<int>{IDC_TXT_RATE_DENOMINATOR, IDC_TXT_INTERVAL,
                                          IDC_TXT_DEFAULT_SOUND, IDC_CMD_DEFAULT_BROWSE,
                                          IDC_CHK_AUDIO, IDC_CHK_TEXT, IDC_OPT_FUEL_LEAK_SPEED(1),
                                          IDC_CHK_PAUSE, IDC_CMD_PREFS_OK, IDC_CMD_PREFS_CANCEL}));
    EXPECT_EQ(Check(prefs->Control(IDC_OPT_FUEL_LEAK_SPEED(1))), BST_CHECKED);
    // Typed boxes and clicks reach the model; OK applies, hides and keeps it.
    Type(prefs->Control(IDC_TXT_RATE_DENOMINATOR), "70000");
    Click(prefs->Control(IDC_OPT_FUEL_LEAK_SPEED(2)));
    EXPECT_EQ(Check(prefs->Control(IDC_OPT_FUEL_LEAK_SPEED(1))), BST_UNCHECKED);
    EXPECT_EQ(Check(prefs->Control(IDC_OPT_FUEL_LEAK_SPEED(2))), BST_CHECKED);
    Click(prefs->Control(IDC_CHK_PAUSE));
    EXPECT_EQ(Check(prefs->Control(IDC_CHK_PAUSE)), BST_CHECKED);
    Click(prefs->Control(IDC_CMD_PREFS_OK));
    EXPECT_FALSE(IsWindowVisible(p));
    EXPECT_EQ(Status(), "Max rate value is 65000.");
    EXPECT_EQ(GetText(Main(IDC_LBL_RATE)), engine->state().window.lblRate);
    EXPECT_EQ(engine->state().settings.fuelLeakSpeed, 2);
    EXPECT_NE(ReadConfig().find("PauseWithSim=1\r\n"), std::string::npos);
    // Browse asks its own file dialog, owned by the dialog only; Escape is Cancel.
    Menu(main, IDM_FILE_DEFAULT);
    EXPECT_EQ(window->Preferences(), prefs) << "only hidden, never made again";
    EXPECT_EQ(GetText(prefs->Control(IDC_TXT_RATE_DENOMINATOR)), "65000");
    files.Answer("C:\\sounds\\bell.wav");
    Click(prefs->Control(IDC_CMD_DEFAULT_BROWSE));
    ASSERT_EQ(files.TitlesAsked().size(), 1u);
    EXPECT_EQ(files.TitlesAsked()[0], "Open Sound File");
    EXPECT_EQ(files.OwnersAsked()[0], p);
    EXPECT_EQ(GetText(prefs->Control(IDC_TXT_DEFAULT_SOUND)), "C:\\sounds\\bell.wav");
    Click(prefs->Control(IDC_CMD_DEFAULT_BROWSE));  // cancelled: the box empties
    EXPECT_EQ(GetText(prefs->Control(IDC_TXT_DEFAULT_SOUND)), "");
    Key(prefs->Control(IDC_CMD_PREFS_OK), VK_RETURN);
    EXPECT_TRUE(IsWindowVisible(p)) << "no button answers Enter";
    Key(prefs->Control(IDC_CMD_PREFS_OK), VK_ESCAPE);
    EXPECT_FALSE(IsWindowVisible(p));
    EXPECT_EQ(GetText(prefs->Control(IDC_TXT_DEFAULT_SOUND)), "default.wav");

    // System settings: made at its first showing, hidden by OK, destroyed by Cancel.
    EXPECT_EQ(window->SystemSettings(), nullptr);
    Click(Main(IDC_CMD_SPECIFIC));
    frmSystemSettings* settings = window->SystemSettings();
    ASSERT_NE(settings, nullptr);
    const HWND s = settings->hwnd();
    EXPECT_TRUE(IsWindowVisible(s));
    EXPECT_EQ(GetText(s), "System Specific Settings");
    EXPECT_EQ(GetWindow(s, GW_OWNER), nullptr);
    const HWND list = settings->Control(IDC_CMB_SYSTEM);
    EXPECT_EQ(SendMessageA(list, CB_GETCOUNT, 0, 0), kSystemCount);
    EXPECT_EQ(SendMessageA(list, CB_GETCURSEL, 0, 0), 0);
    EXPECT_EQ(GetText(settings->Control(IDC_LBL_SHOW_TIME_PERIOD)), "every 1 seconds");
    EXPECT_EQ(GetText(settings->Control(IDC_TXT_END_ALT)), "99999");
    EXPECT_EQ(GetText(settings->Control(IDC_TXT_SYSTEM_SOUND)), "<default>");
    // An edit is stored when another system is selected.
    Type(settings->Control(IDC_TXT_SYSTEM_RATE), "77");
    SendMessageA(list, CB_SETCURSEL, 3, 0);  // Attitude Indicator
    SendMessageA(s, WM_COMMAND, MAKEWPARAM(IDC_CMB_SYSTEM, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(list));
    EXPECT_EQ(engine->state().settings.systemStr[0], "77,0,999,-50,100,-999,99999,C");
    EXPECT_EQ(settings->Model().itemID(), 3);
    Click(settings->Control(IDC_CMD_RESET_SYSTEM_SETTINGS));
    EXPECT_EQ(GetText(settings->Control(IDC_TXT_SYSTEM_RATE)), "65000");
    files.Answer("C:\\sounds\\gong.wav");
    Click(settings->Control(IDC_CMD_SOUND_BROWSE));
    EXPECT_EQ(files.TitlesAsked().back(), "") << "the platform's own title";
    EXPECT_EQ(files.OwnersAsked().back(), s);
    Click(settings->Control(IDC_CMD_SOUND_BROWSE));  // cancelled: the box stays
    EXPECT_EQ(GetText(settings->Control(IDC_TXT_SYSTEM_SOUND)), "C:\\sounds\\gong.wav");
    Click(settings->Control(IDC_CMD_OK_SYSTEM_SETTINGS));
    EXPECT_FALSE(IsWindowVisible(s));
    EXPECT_EQ(engine->state().settings.soundFiles[3], "C:\\sounds\\gong.wav");
    Pump();
    Menu(main, IDM_FILE_SPECIFIC);
    EXPECT_EQ(window->SystemSettings(), settings) << "hidden by OK, not made again";
    EXPECT_TRUE(IsWindowVisible(s));
    const std::string shown = engine->state().settings.systemStr[3];
    Type(settings->Control(IDC_TXT_SYSTEM_RATE), "55");
    SendMessageA(list, CB_SETCURSEL, 0, 0);
    SendMessageA(s, WM_COMMAND, MAKEWPARAM(IDC_CMB_SYSTEM, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(list));
    EXPECT_EQ(engine->state().settings.systemStr[3].rfind("55,", 0), 0u);
    Key(settings->Control(IDC_CMD_OK_SYSTEM_SETTINGS), VK_ESCAPE);
    EXPECT_FALSE(IsWindowVisible(s));
    EXPECT_EQ(engine->state().settings.systemStr[3], shown) << "Cancel restores the lists";
    Pump();
    EXPECT_EQ(window->SystemSettings(), nullptr) << "destroyed by Cancel";
    EXPECT_FALSE(IsWindow(s));
    Menu(main, IDM_FILE_SPECIFIC);
    ASSERT_NE(window->SystemSettings(), nullptr);
    SendMessageA(window->SystemSettings()->hwnd(), WM_CLOSE, 0, 0);  // the close box is Cancel
    Pump();
    EXPECT_EQ(window->SystemSettings(), nullptr);

    // About: loaded on use, unloaded by OK and by its close box.
    Menu(main, IDM_HELP_ABOUT);
    frmAbout* about = window->About();
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(GetText(about->hwnd()), "About Skyfault");
    EXPECT_EQ(GetText(about->Control(IDC_TXT_ABOUT)).rfind("Skyfault v2.0\r\n", 0), 0u);
    EXPECT_NE(SendMessageA(about->Control(IDC_PIC_ICON), STM_GETICON, 0, 0), 0);
    Menu(main, IDM_HELP_ABOUT);
    EXPECT_EQ(window->About(), about) << "a loaded About window is not loaded twice";
    Click(about->Control(IDC_CMD_OK));
    Pump();
    EXPECT_EQ(window->About(), nullptr);
    Menu(main, IDM_HELP_ABOUT);
    ASSERT_NE(window->About(), nullptr);
    SendMessageA(window->About()->hwnd(), WM_CLOSE, 0, 0);
    Pump();
    EXPECT_EQ(window->About(), nullptr);
}

TEST_F(WindowsTest, ExitSavesAndEndsTheCloseBoxEndsWithoutSaving) {
    WriteConfig(ConfigAllowing({2}));
    Start();
    Click(Main(IDC_CHK_FAILURE_TYPE(3)));
    std::filesystem::remove(configPath);
    Menu(window->hwnd(), IDM_HELP_ABOUT);
    Click(Main(IDC_BTN_EXIT));
    EXPECT_EQ(quits, 1);
    EXPECT_NE(ReadConfig().find("AttitudeIndicator=1\r\n"), std::string::npos);
    EXPECT_FALSE(link.IsOpen());
    EXPECT_FALSE(IsWindowVisible(window->hwnd()));
    ASSERT_NE(window->About(), nullptr);
    EXPECT_FALSE(IsWindowVisible(window->About()->hwnd())) << "other windows go with it";
    Menu(window->hwnd(), IDM_FILE_EXIT);
    EXPECT_EQ(quits, 1) << "an unloaded window has no more commands";

    window.reset();
    engine.reset();
    std::filesystem::remove(configPath);
    quits = 0;
    Start();
    Menu(window->hwnd(), IDM_FILE_EXIT);
    EXPECT_EQ(quits, 1);
    EXPECT_TRUE(std::filesystem::exists(configPath)) << "File > Exit saves too";

    window.reset();
    engine.reset();
    std::filesystem::remove(configPath);
    quits = 0;
    Start();
    SendMessageA(window->hwnd(), WM_CLOSE, 0, 0);
    EXPECT_EQ(quits, 1);
    EXPECT_FALSE(std::filesystem::exists(configPath));
}

TEST(Win32AdaptersTest, WindowTimersTickOnTheThreadAndMciOpensOnlyFiles) {
    WindowTimerFactory factory;
    std::unique_ptr<engine::Timer> timer = factory.CreateTimer();
    auto& windowTimer = static_cast<WindowTimer&>(*timer);
    int ticks = 0;
    timer->SetCallback([&] { ++ticks; });
    timer->SetInterval(20);
    EXPECT_FALSE(windowTimer.IsRunning()) << "a disabled timer does not count";
    timer->SetEnabled(true);
    EXPECT_TRUE(windowTimer.IsRunning());
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (ticks < 3 && std::chrono::steady_clock::now() < until) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        Pump();
    }
    EXPECT_GE(ticks, 3);
    timer->SetEnabled(false);
    EXPECT_FALSE(windowTimer.IsRunning());
    const int stopped = ticks;
    Sleep(60);
    Pump();
    EXPECT_EQ(ticks, stopped) << "a disabled timer does not tick";
    timer->SetInterval(0);
    timer->SetEnabled(true);
    EXPECT_FALSE(windowTimer.IsRunning()) << "a period of 0 never ticks";

    engine::testing::TempFolder folder;
    const std::filesystem::path wave = folder.path() / "tone.wav";
    engine::testing::WriteFile(wave, std::string("RIFF") + std::string(40, '\0'));
    EXPECT_TRUE(PlayableSoundFile(wave.string()));
    EXPECT_FALSE(PlayableSoundFile(folder.path().string())) << "a folder";
    EXPECT_FALSE(PlayableSoundFile((folder.path() / "missing.wav").string()));
    EXPECT_FALSE(PlayableSoundFile(""));
    MciSoundPlayer player;
    for (const std::string& path :
         {std::string(), folder.path().string(), (folder.path() / "missing.wav").string()}) {
        player.Open(path);
        EXPECT_EQ(player.OpenDevice(), 0u) << path;
        player.Play();
    }
    player.Open(wave.string());  // a file, but no wave in it: MCI refuses it
    EXPECT_EQ(player.OpenDevice(), 0u);
    player.Play();

    // A real wave file opens (played or not, as the machine's audio allows);
    // opening the next one closes it first.
    const std::filesystem::path tone = folder.path() / "silence.wav";
    const std::uint32_t rate = 8000;
    const std::uint32_t bytes = rate / 10;  // 0.1 s of 8-bit mono
    std::string riff = "RIFF";
    auto put32 = [&riff](std::uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            riff += static_cast<char>((v >> (8 * i)) & 0xFF);
        }
    };
    auto put16 = [&riff](std::uint16_t v) {
        riff += static_cast<char>(v & 0xFF);
        riff += static_cast<char>(v >> 8);
    };
    put32(36 + bytes);
    riff += "WAVEfmt ";
    put32(16);
    put16(1);  // PCM
    put16(1);  // mono
    put32(rate);
    put32(rate);  // bytes per second
    put16(1);     // block align
    put16(8);     // bits
    riff += "data";
    put32(bytes);
    riff += std::string(bytes, '\x80');
    engine::testing::WriteFile(tone, riff);
    player.Open(tone.string());
    const UINT opened = player.OpenDevice();
    EXPECT_NE(opened, 0u);
    player.Play();
    player.Open((folder.path() / "missing.wav").string());
    EXPECT_EQ(player.OpenDevice(), 0u) << "the sound before is closed, nothing new opened";
    player.Open(tone.string());
    player.Close();
    EXPECT_EQ(player.OpenDevice(), 0u);
}

}  // namespace
}  // namespace skyfault::win32

namespace skyfault::win32 {
namespace {

std::string VersionValue(const std::vector<char>& info, const char* name) {
    char* value = nullptr;
    UINT length = 0;
    const std::string key = std::string("\\StringFileInfo\\040904B0\\") + name;
    if (VerQueryValueA(info.data(), key.c_str(), reinterpret_cast<void**>(&value), &length) ==
            FALSE ||
        value == nullptr) {
        return {};
    }
    return std::string(value);
}

TEST(Win32ResourcesTest, TheProgramCarriesItsIconBannerManifestAndVersion) {
    const HINSTANCE instance = GetModuleHandleA(nullptr);
    const auto icon = static_cast<HICON>(
        LoadImageA(instance, MAKEINTRESOURCEA(IDI_SKYFAULT), IMAGE_ICON, 256, 256, 0));
    EXPECT_NE(icon, nullptr);
    DestroyIcon(icon);

    const auto banner = static_cast<HBITMAP>(
        LoadImageA(instance, MAKEINTRESOURCEA(IDB_BANNER), IMAGE_BITMAP, 0, 0, 0));
    ASSERT_NE(banner, nullptr);
    BITMAP picture{};
    GetObjectA(banner, sizeof picture, &picture);
    EXPECT_EQ(picture.bmWidth, 300);
    EXPECT_EQ(picture.bmHeight, 100);
    DeleteObject(banner);

    const HRSRC found = FindResourceA(instance, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    ASSERT_NE(found, nullptr) << "the manifest";
    const std::string manifest(
        static_cast<const char*>(LockResource(LoadResource(instance, found))),
        SizeofResource(instance, found));
    EXPECT_NE(manifest.find("Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""),
              std::string::npos);
    EXPECT_NE(manifest.find("PerMonitorV2"), std::string::npos);

    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    DWORD ignored = 0;
    std::vector<char> info(GetFileVersionInfoSizeA(path, &ignored));
    ASSERT_FALSE(info.empty());
    ASSERT_NE(GetFileVersionInfoA(path, 0, static_cast<DWORD>(info.size()), info.data()), FALSE);
    EXPECT_EQ(VersionValue(info, "ProductName"), "Skyfault");
    EXPECT_EQ(VersionValue(info, "ProductVersion"), "2.0");
}

}  // namespace
}  // namespace skyfault::win32
