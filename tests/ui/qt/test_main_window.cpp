// The main window and the About window over a running engine (they show the
// engine's state and hand the user's commands to it), and the Qt adapters
// behind the engine: the timer on QTimer and the wave-sound player.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAction>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <vector>

#include "settings/catalogue.h"
#include "tests/support/wave_image.h"
#include "tests/ui/qt/window_fixture.h"
#include "ui/qt/frmAbout.h"
#include "ui/qt/qt_sound_player.h"
#include "ui/qt/qt_timer.h"

namespace skyfault::ui {
namespace {

[[maybe_unused]] ::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment);

// Only the given systems allowed, each failing at every check, every second.
std::string ConfigAllowing(const std::vector<int>& systems, const char* activated = "1") {
    std::string text = std::string("[General]\r\nRate=1000\r\nFrequency=1\r\nActivated=") +
                       activated + "\r\nVisualNotification=1\r\nPauseWithSim=0\r\n[Failures]\r\n";
    std::string lists = "[Systems]\r\n";
    for (int id = 0; id < kSystemCount; ++id) {
        const bool allowed = std::ranges::find(systems, id) != systems.end();
        text += ConfigKey(Catalogue()[id].caption) + (allowed ? "=1\r\n" : "=0\r\n");
        lists +=
            ConfigKey(Catalogue()[id].caption) + "Str=" + engine::testing::kAlwaysList + "\r\n";
    }
    return text + lists;
}

using MainWindowTest = WindowTest;

// The boxes show the allowed values (2: greyed); a click sets them.
TEST_F(MainWindowTest, ShowsTheConfiguredSettingsAndBoxClicksSetThem) {
    WriteConfig(ConfigAllowing({3, 22}, "0") + "Rate=500\r\nFrequency=30\r\nFlaps=2\r\n");
    Start();
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Skyfault Connected"));
    EXPECT_EQ(window->lblRate->text().trimmed(), QStringLiteral(".002"));
    EXPECT_EQ(window->lblInterval->text(), QStringLiteral("30"));
    EXPECT_EQ(Status(), QStringLiteral("Skyfault Disabled"));
    ExpectActivated(false);
    for (int id = 0; id < kSystemCount; ++id) {
        const int allowed = id == 24 ? Qt::PartiallyChecked : id == 3 || id == 22 ? Qt::Checked : 0;
        EXPECT_EQ(window->chkFailureType[id]->checkState(), allowed) << id;
    }
    for (const auto& [id, after] : {std::pair{3, 0}, {3, 1}, {24, 0}}) {
        window->chkFailureType[id]->click();
        EXPECT_EQ(engine->state().settings.allowed[id], after) << id;
        EXPECT_EQ(window->chkFailureType[id]->checkState(), after ? Qt::Checked : Qt::Unchecked);
    }
}

// A message wider than its box (why skyfault.cfg, here a folder, could not be
// read) shows from its start, with the whole text as tool tip.
TEST_F(MainWindowTest, LongMessagesShowTheirBeginningAndTheWholeTextAsToolTip) {
    std::filesystem::create_directory(configPath);
    Start();
    QLineEdit* box = window->txtMessage;
    ASSERT_TRUE(Status().startsWith("Could not read skyfault.cfg: ")) << Status().toStdString();
    ASSERT_GT(box->fontMetrics().horizontalAdvance(Status()), box->contentsRect().width());
    box->grab();  // drawn as the user sees it
    EXPECT_EQ(box->cursorPositionAt({box->contentsRect().left() + 4, box->height() / 2}), 0);
    EXPECT_EQ(box->toolTip(), Status());
}

TEST_F(MainWindowTest, FailuresShowRedAndGreyTheirBoxUntilDisableOrActivate) {
    WriteConfig(ConfigAllowing({16}));
    Start();
    ExpectActivated(true);
    clock.Advance(1000);
    EXPECT_EQ(Status(), QStringLiteral("Failure: Engine 1"));
    EXPECT_EQ(StatusColour(), QColor(Qt::red));
    EXPECT_FALSE(window->chkFailureType[16]->isEnabled());
    EXPECT_TRUE(window->chkFailureType[17]->isEnabled());
    window->cmdDisable->click();
    ExpectActivated(false);
    EXPECT_EQ(Status(), QStringLiteral("Skyfault Disabled"));
    EXPECT_EQ(StatusColour(), QColor(Qt::black));
    engine->FailSystem(19);
    EXPECT_EQ(StatusColour(), QColor(Qt::red));
    window->cmdActivate->click();
    ExpectActivated(true);
    EXPECT_EQ(Status(), QStringLiteral("Skyfault Activated"));
    EXPECT_EQ(StatusColour(), QColor(Qt::black));
}

TEST_F(MainWindowTest, AboutOpensModelessOnceAndOkOrCloseUnloadsIt) {
    Start();
    for (const bool byOk : {true, false}) {
        window->mnuHelpAbout->trigger();
        frmAbout* about = window->About();
        ASSERT_NE(about, nullptr);
        EXPECT_TRUE(about->isVisible() && !about->isModal());
        window->mnuHelpAbout->trigger();
        EXPECT_EQ(window->About(), about) << "shown again, not loaded twice";
        byOk ? about->cmdOK->click() : static_cast<void>(about->close());
        EXPECT_EQ(window->About(), nullptr);
        DeleteLaterNow();
    }
}

// Exit and File > Exit save, close the link, hide every window and end; the
// close box ends without saving.
TEST_F(MainWindowTest, ExitSavesAndEndsTheCloseBoxOnlyEnds) {
    const std::vector<std::pair<std::function<void(frmMain&)>, bool>> ways = {
        {[](frmMain& w) { w.btnExit->click(); }, true},
        {[](frmMain& w) { w.mnuFileExit->trigger(); }, true},
        {[](frmMain& w) { w.close(); }, false}};
    for (const auto& [exit, saves] : ways) {
        WriteConfig(ConfigAllowing({2}));
        Start();
        window->chkFailureType[3]->click();
        std::filesystem::remove(configPath);
        window->mnuHelpAbout->trigger();
        exit(*window);
        EXPECT_EQ(quits, 1);
        quits = 0;
        EXPECT_EQ(std::filesystem::exists(configPath) && Saved("AttitudeIndicator=1"), saves);
        EXPECT_FALSE(link.IsOpen());
        EXPECT_FALSE(window->isVisible() || window->About()->isVisible());
        window.reset();
        engine.reset();
    }
}

// Ticks only while enabled with a period; enabling again keeps the wait under
// way, a new period starts a new one.
TEST(QtTimerTest, TicksWhileEnabledAndANewPeriodRestartsTheWait) {
    QtTimer timer;
    int ticks = 0;
    timer.SetCallback([&ticks] { ++ticks; });
    timer.SetEnabled(true);
    EXPECT_FALSE(timer.IsRunning()) << "period 0 never ticks";
    timer.SetInterval(5);
    EXPECT_TRUE(QTest::qWaitFor([&ticks] { return ticks >= 3; }));
    timer.SetEnabled(false);
    const int stopped = ticks;
    QTest::qWait(20);
    EXPECT_EQ(ticks, stopped);
    timer.SetInterval(10000);
    EXPECT_FALSE(timer.IsRunning()) << "a disabled timer only keeps its period";
    timer.SetEnabled(true);
    QTest::qSleep(60);
    timer.SetEnabled(true);
    EXPECT_LE(timer.RemainingMs(), 9950);
    timer.SetInterval(20000);
    EXPECT_GT(timer.RemainingMs(), 19000);
}

// Only a playable regular file opens, and no path makes Open wait: not a FIFO
// nobody writes to, not an endless device, not too low a rate or too many
// channels. A user's Latin-1 path (not UTF-8) opens.
TEST(QtSoundPlayerTest, OnlyPlayableRegularFilesOpenAndNothingWaits) {
    const engine::testing::TempFolder dir;
    const std::string folder = dir.path().string();
    const auto wave = [&folder](const std::string& name, int channels, int rate) {
        std::ofstream(folder + name)
            << testing::WaveImage(1, channels, rate, 16, std::string(1800, 0));
        return folder + name;
    };
    const std::string fifo = folder + "/fifo.wav";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    QtSoundPlayer player;
    for (const auto& [path, playable] : std::initializer_list<std::pair<std::string, bool>>{
             {folder, false},
             {fifo, false},
             {"/dev/zero", false},
             {wave("/7999hz.wav", 1, 7999), false},
             {wave("/9ch.wav", 9, 8000), false},
             {wave("/good.wav", 1, 8000), true},
             {wave("/alarme \xE9t\xE9.wav", 2, 44100), true}}) {
        player.Close();
        auto open = std::async(std::launch::async, [&player, &path] { player.Open(path); });
        if (open.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
            ::close(::open(fifo.c_str(), O_WRONLY | O_NONBLOCK));  // lets it go on
            open.wait();
            ADD_FAILURE() << "Open waited: " << path;
        }
        EXPECT_EQ(player.IsOpen(), playable) << path;
    }
}

}  // namespace
}  // namespace skyfault::ui
