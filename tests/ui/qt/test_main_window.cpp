// The main window and the About window over a running engine, on a manual
// clock, against a server in the test's own process.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "settings/catalogue.h"
#include "tests/ui/qt/window_fixture.h"
#include "ui/qt/file_dialog.h"
#include "ui/qt/frmAbout.h"
#include "ui/qt/frmMain.h"

namespace skyfault::ui {
namespace {

using engine::TimerId;

using engine::testing::kAlwaysList;

// A configuration that allows only the given systems, each failing at every
// draw, checked every second.
std::string ConfigAllowing(const std::vector<int>& systems, const char* activated = "1") {
    std::string text = "[General]\r\nRate=1000\r\nFrequency=1\r\nActivated=";
    text += activated;
    text +=
        "\r\nAudioNotification=1\r\nVisualNotification=1\r\nFuelLeakSpeed=1\r\nPauseWithSim=0\r\n";
    text += "\r\n[Failures]\r\n";
    for (int id = 0; id < kSystemCount; ++id) {
        const bool allowed = std::find(systems.begin(), systems.end(), id) != systems.end();
        text += ConfigKey(Catalogue()[id].caption) + (allowed ? "=1\r\n" : "=0\r\n");
    }
    text += "\r\n[Sounds]\r\nDefaultSound=default.wav\r\n\r\n[Systems]\r\n";
    for (int id = 0; id < kSystemCount; ++id) {
        text += ConfigKey(Catalogue()[id].caption) + "Str=" + kAlwaysList + "\r\n";
    }
    return text;
}

class MainWindowTest : public WindowTest {
protected:
    QColor StatusColour() const { return window->txtMessage->palette().color(QPalette::Text); }
};

const QColor kRed(255, 0, 0);
const QColor kBlack(0, 0, 0);

TEST_F(MainWindowTest, TitleShowsTheConnectionResultOrWhyTheLinkFailed) {
    Start();
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Skyfault Connected"));
    EXPECT_TRUE(window->isVisible());
    window->close();
    window.reset();
    engine.reset();
    server.SetWindowClass("");
    Start();
    EXPECT_EQ(window->windowTitle(),
              QStringLiteral("Skyfault Error: Cannot link to FSUIPC or WideClient"));
}

TEST_F(MainWindowTest, EachSystemsBoxStandsInItsGroupsFrameInOrder) {
    Start();
    const std::map<QGroupBox*, std::vector<int>> frames = {
        {window->fraInstruments, {1, 2, 3, 5, 7, 8, 9, 13, 15}},
        {window->fraEngines, {16, 17, 18, 19}},
        {window->fraRadios, {0, 4, 10, 12}},
        {window->fraSystems, {6, 14}},
        {window->fraMisc, {24, 11, 20}},
        {window->fraFuelLeak, {21, 23, 22}},
    };
    int placed = 0;
    for (const auto& [frame, ids] : frames) {
        ASSERT_NE(frame, nullptr);
        EXPECT_EQ(frame->parentWidget(), window->fraCurrentSettings);
        int previousY = -1;
        for (const int id : ids) {
            QCheckBox* box = window->chkFailureType[id];
            ASSERT_NE(box, nullptr);
            EXPECT_EQ(box->parentWidget(), frame) << id;
            EXPECT_EQ(box->objectName(), QStringLiteral("chkFailureType_%1").arg(id));
            EXPECT_EQ(box->text().toStdString(), std::string(Catalogue()[id].caption));
            if (frame != window->fraMisc) {
                EXPECT_GT(box->y(), previousY) << "top to bottom: " << id;
            }
            previousY = box->y();
            ++placed;
        }
    }
    EXPECT_EQ(placed, kSystemCount);
    // Flaps and Pitot side by side, Landing Gear below.
    EXPECT_EQ(window->chkFailureType[24]->y(), window->chkFailureType[11]->y());
    EXPECT_LT(window->chkFailureType[24]->x(), window->chkFailureType[11]->x());
    EXPECT_GT(window->chkFailureType[20]->y(), window->chkFailureType[24]->y());
}

TEST_F(MainWindowTest, ShowsTheConfiguredSettings) {
    WriteConfig(ConfigAllowing({3, 22}, "0") + "Rate=500\r\nFrequency=30\r\nFlaps=2\r\n");
    Start();
    EXPECT_EQ(window->lblRate->text().toStdString(), engine->state().window.lblRate);
    EXPECT_EQ(window->lblRate->text().trimmed(), QStringLiteral(".002"));
    EXPECT_EQ(window->lblInterval->text(), QStringLiteral("30"));
    EXPECT_EQ(Status(), QStringLiteral("Skyfault Disabled"));
    EXPECT_TRUE(window->cmdActivate->isEnabled());
    EXPECT_FALSE(window->cmdDisable->isEnabled());
    for (int id = 0; id < kSystemCount; ++id) {
        const Qt::CheckState expected = id == 24                ? Qt::PartiallyChecked
                                        : (id == 3 || id == 22) ? Qt::Checked
                                                                : Qt::Unchecked;
        EXPECT_EQ(window->chkFailureType[id]->checkState(), expected) << id;
    }
}

// Messages wider than the status box, such as the reasons why skyfault.cfg
// could not be read or saved (here: it is a folder), show from their start;
// the whole text is the box's tool tip.
TEST_F(MainWindowTest, LongMessagesShowTheirBeginningAndTheWholeTextAsToolTip) {
    std::filesystem::create_directory(configPath);
    Start();
    for (const char* start : {"Could not read skyfault.cfg: ", "Could not save skyfault.cfg: "}) {
        SCOPED_TRACE(start);
        if (std::string(start).starts_with("Could not save")) {
            window->btnExit->click();  // the file cannot be written: the window stays
            ASSERT_EQ(quits, 0);
        }
        QLineEdit* box = window->txtMessage;
        ASSERT_TRUE(Status().startsWith(QString::fromUtf8(start))) << Status().toStdString();
        ASSERT_GT(box->fontMetrics().horizontalAdvance(Status()), box->contentsRect().width());
        box->grab();  // drawn as the user sees it
        const QPoint firstShown(box->contentsRect().left() + 4, box->height() / 2);
        EXPECT_EQ(box->cursorPositionAt(firstShown), 0) << "the box shows the message's end";
        EXPECT_EQ(box->toolTip().toStdString(), Status().toStdString());
    }
}

TEST_F(MainWindowTest, DisableAndActivateSwitchTheButtonsTimerAndMessage) {
    Start();
    ASSERT_TRUE(engine->timer(TimerId::FailureEvent).Enabled());
    ASSERT_FALSE(window->cmdActivate->isEnabled());

    window->cmdDisable->click();
    EXPECT_TRUE(window->cmdActivate->isEnabled());
    EXPECT_FALSE(window->cmdDisable->isEnabled());
    EXPECT_EQ(Status(), QStringLiteral("Skyfault Disabled"));
    EXPECT_EQ(StatusColour(), kBlack);
    EXPECT_FALSE(engine->timer(TimerId::FailureEvent).Enabled());

    window->cmdActivate->click();
    EXPECT_FALSE(window->cmdActivate->isEnabled());
    EXPECT_TRUE(window->cmdDisable->isEnabled());
    EXPECT_EQ(Status(), QStringLiteral("Skyfault Activated"));
    EXPECT_TRUE(engine->timer(TimerId::FailureEvent).Enabled());
}

TEST_F(MainWindowTest, ActivateWithTheLinkDownRetriesTheConnection) {
    server.SetWindowClass("");
    WriteConfig(ConfigAllowing({}, "0"));
    Start();
    ASSERT_FALSE(engine->timer(TimerId::CheckConnect).Enabled());
    window->cmdActivate->click();
    EXPECT_TRUE(engine->timer(TimerId::CheckConnect).Enabled());

    // The simulator comes up: the next retry connects and the title follows.
    server.SetWindowClass(test_support::kFsuipcClass);
    clock.Advance(5000);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Skyfault Connected"));
}

TEST_F(MainWindowTest, AFailureShowsRedTextAndGreysItsBoxUntilActivateOrDisable) {
    WriteConfig(ConfigAllowing({16}));
    Start();
    clock.Advance(1000);
    EXPECT_EQ(Status(), QStringLiteral("Failure: Engine 1"));
    EXPECT_EQ(StatusColour(), kRed);
    EXPECT_FALSE(window->chkFailureType[16]->isEnabled());
    EXPECT_TRUE(window->chkFailureType[17]->isEnabled());

    window->cmdDisable->click();
    EXPECT_EQ(StatusColour(), kBlack);
    EXPECT_EQ(Status(), QStringLiteral("Skyfault Disabled"));

    // A failure carried out while disabled leaves red text for Activate.
    engine->FailSystem(19);
    ASSERT_EQ(StatusColour(), kRed);
    EXPECT_EQ(Status(), QStringLiteral("Failure: Engine 4"));
    window->cmdActivate->click();
    EXPECT_EQ(StatusColour(), kBlack);
    EXPECT_EQ(Status(), QStringLiteral("Skyfault Activated"));
}

TEST_F(MainWindowTest, CheckBoxClicksSetTheAllowedValues) {
    WriteConfig(ConfigAllowing({5}) + "Flaps=2\r\n");
    Start();
    const auto& allowed = engine->state().settings.allowed;
    ASSERT_EQ(allowed[5], 1);

    window->chkFailureType[5]->click();
    EXPECT_EQ(allowed[5], 0);
    EXPECT_EQ(window->chkFailureType[5]->checkState(), Qt::Unchecked);
    window->chkFailureType[5]->click();
    EXPECT_EQ(allowed[5], 1);
    EXPECT_EQ(window->chkFailureType[5]->checkState(), Qt::Checked);

    // A greyed box is cleared by a click.
    ASSERT_EQ(allowed[24], 2);
    window->chkFailureType[24]->click();
    EXPECT_EQ(allowed[24], 0);
    EXPECT_EQ(window->chkFailureType[24]->checkState(), Qt::Unchecked);

    // The check cycle follows the boxes: with Compass unticked nothing fails.
    window->chkFailureType[5]->click();
    clock.Advance(3000);
    EXPECT_EQ(Status(), QStringLiteral("Skyfault Activated"));
}

TEST_F(MainWindowTest, AboutOpensModelessAndOkOrCloseUnloadsIt) {
    Start();
    window->mnuHelpAbout->trigger();
    frmAbout* about = window->About();
    ASSERT_NE(about, nullptr);
    EXPECT_TRUE(about->isVisible());
    EXPECT_FALSE(about->isModal());
    EXPECT_FALSE(about->picIcon->pixmap().isNull());

    window->mnuHelpAbout->trigger();
    EXPECT_EQ(window->About(), about) << "a loaded About window is shown again, not loaded twice";

    about->cmdOK->click();
    EXPECT_EQ(window->About(), nullptr);
    DeleteLaterNow();

    window->mnuHelpAbout->trigger();
    ASSERT_NE(window->About(), nullptr);
    window->About()->close();
    EXPECT_EQ(window->About(), nullptr);
    DeleteLaterNow();
}

TEST_F(MainWindowTest, ExitSavesClosesTheLinkAndEnds) {
    WriteConfig(ConfigAllowing({2}));
    Start();
    window->chkFailureType[3]->click();
    std::filesystem::remove(configPath);
    window->mnuHelpAbout->trigger();

    window->btnExit->click();
    EXPECT_EQ(quits, 1);
    EXPECT_NE(ReadConfig().find("AttitudeIndicator=1\r\n"), std::string::npos);
    EXPECT_FALSE(link.IsOpen());
    EXPECT_FALSE(window->isVisible());
    ASSERT_NE(window->About(), nullptr);
    EXPECT_FALSE(window->About()->isVisible()) << "other windows go with the main window";
}

TEST_F(MainWindowTest, FileExitSavesTooTheCloseBoxDoesNot) {
    Start();
    window->mnuFileExit->trigger();
    EXPECT_EQ(quits, 1);
    EXPECT_TRUE(std::filesystem::exists(configPath));
    std::filesystem::remove(configPath);
    window.reset();
    engine.reset();
    Start();
    window->close();
    EXPECT_EQ(quits, 2);
    EXPECT_FALSE(std::filesystem::exists(configPath));
}

}  // namespace
}  // namespace skyfault::ui
