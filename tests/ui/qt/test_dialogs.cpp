// The Preferences and System settings dialogs, driven as the user drives
// them (typing, clicking, choosing list entries), over the main window and a
// running engine on a manual clock.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "settings/catalogue.h"
#include "tests/ui/qt/window_fixture.h"
#include "ui/qt/file_dialog.h"
#include "ui/qt/frmPreferences.h"
#include "ui/qt/frmSystemSettings.h"

namespace skyfault::ui {
namespace {

using engine::TimerId;

constexpr const char* kDefaultList = "1000,0,999,-50,100,-999,99999,D";

class DialogsTest : public WindowTest {
protected:
    // As the program starts, with the program's own dialogs.
    void Start() { WindowTest::Start(StandardDialogHooks()); }

    frmPreferences* OpenPreferences() {
        window->cmdDefault->click();
        return qobject_cast<frmPreferences*>(window->Preferences());
    }
    frmSystemSettings* OpenSystemSettings() {
        window->cmdSpecific->click();
        return qobject_cast<frmSystemSettings*>(window->SystemSettings());
    }

    // Replaces a box's text by typing, as the user does.
    static void TypeInto(QLineEdit* box, const QString& text) {
        box->setFocus();
        box->selectAll();
        QTest::keyClick(box, Qt::Key_Delete);
        QTest::keyClicks(box, text);
    }
    static void Choose(QComboBox* list, const QString& entry) {
        const int position = list->findText(entry, Qt::MatchExactly | Qt::MatchCaseSensitive);
        ASSERT_GE(position, 0) << entry.toStdString();
        list->setCurrentIndex(position);
    }
    Settings& settings() { return engine->settings(); }
    int Period() { return engine->timer(TimerId::FailureEvent).Interval(); }
};

// --- Preferences -------------------------------------------------------------

TEST_F(DialogsTest, PreferencesIsMadeWithTheWindowAndShowsItsControlsAsDesigned) {
    Start();
    auto* prefs = qobject_cast<frmPreferences*>(window->Preferences());
    ASSERT_NE(prefs, nullptr);
    EXPECT_FALSE(prefs->isVisible());
    EXPECT_EQ(prefs->windowTitle(), QStringLiteral("Preferences"));
    EXPECT_EQ(prefs->lblEnterFailureRate->text(), QStringLiteral("Failure Rate:  1/"));
    EXPECT_EQ(prefs->lblIntervalDesc->text(), QStringLiteral("Check for failure every") +
                                                  QString(20, QLatin1Char(' ')) +
                                                  QStringLiteral("seconds"));
    EXPECT_EQ(prefs->optFuelLeakSpeed[2]->text(), QStringLiteral("Fast"));
    for (QPushButton* button : prefs->findChildren<QPushButton*>()) {
        EXPECT_FALSE(button->autoDefault()) << button->objectName().toStdString();
        EXPECT_FALSE(button->isDefault()) << button->objectName().toStdString();
    }

    // Opening it twice shows the one dialog, with what was typed in it.
    ASSERT_EQ(OpenPreferences(), prefs);
    TypeInto(prefs->txtRateDenominator, QStringLiteral("123"));
    window->mnuFileDefault->trigger();
    EXPECT_EQ(window->Preferences(), prefs);
    EXPECT_FALSE(prefs->isModal());
    EXPECT_EQ(prefs->txtRateDenominator->text(), QStringLiteral("123"));
    int shown = 0;
    for (QWidget* top : QApplication::topLevelWidgets()) {
        shown += qobject_cast<frmPreferences*>(top) != nullptr && top->isVisible() ? 1 : 0;
    }
    EXPECT_EQ(shown, 1);
}

TEST_F(DialogsTest, PreferencesCorrectsRateAndIntervalAndHandsTheRateToDefaultSystems) {
    Start();
    settings().systemStr[4] = "250,0,999,-50,100,-999,99999,C";
    frmPreferences* prefs = OpenPreferences();
    TypeInto(prefs->txtRateDenominator, QStringLiteral("70000"));
    TypeInto(prefs->txtInterval, QStringLiteral("0"));
    prefs->cmdPrefsOK->click();

    EXPECT_FALSE(prefs->isVisible());
    EXPECT_EQ(Status(), QStringLiteral("Min interval is 1."));  // the last of two corrections
    EXPECT_EQ(prefs->txtRateDenominator->text(), QStringLiteral("65000"));
    EXPECT_EQ(prefs->txtInterval->text(), QStringLiteral("1"));
    EXPECT_EQ(window->lblRate->text(), QStringLiteral(" .00001538"));
    EXPECT_EQ(window->lblInterval->text(), QStringLiteral("1"));
    EXPECT_EQ(Period(), 1000);
    EXPECT_EQ(settings().systemStr[0], "65000,0,999,-50,100,-999,99999,D");
    EXPECT_EQ(settings().systemStr[4], "250,0,999,-50,100,-999,99999,C");
    EXPECT_NE(ReadConfig().find("Rate=65000\r\n"), std::string::npos);

    OpenPreferences();
    TypeInto(prefs->txtRateDenominator, QStringLiteral("0"));
    TypeInto(prefs->txtInterval, QStringLiteral("30"));
    prefs->cmdPrefsOK->click();
    EXPECT_EQ(Status(), QStringLiteral("Min rate value is 1."));
    EXPECT_EQ(prefs->txtRateDenominator->text(), QStringLiteral("1"));
    EXPECT_EQ(settings().systemStr[0], "1,0,999,-50,100,-999,99999,D");
    EXPECT_EQ(Period(), 30000);
}

TEST_F(DialogsTest, PreferencesIntervalFractionsAndTheBoundsThemselves) {
    Start();
    frmPreferences* prefs = OpenPreferences();
    TypeInto(prefs->txtInterval, QStringLiteral("0.5"));
    prefs->cmdPrefsOK->click();
    EXPECT_EQ(Status(), QStringLiteral("Min interval is 1."));
    EXPECT_EQ(Period(), 1000);

    window->cmdDisable->click();
    window->cmdActivate->click();
    ASSERT_EQ(Status(), QStringLiteral("Skyfault Activated"));
    OpenPreferences();
    TypeInto(prefs->txtInterval, QStringLiteral("1.5"));
    prefs->cmdPrefsOK->click();
    EXPECT_EQ(Status(), QStringLiteral("Skyfault Activated"));
    EXPECT_EQ(Period(), 1500);
    EXPECT_EQ(window->lblInterval->text(), QStringLiteral("1.5"));

    OpenPreferences();
    TypeInto(prefs->txtRateDenominator, QStringLiteral("65000"));
    TypeInto(prefs->txtInterval, QStringLiteral("65"));
    prefs->cmdPrefsOK->click();
    EXPECT_EQ(Status(), QStringLiteral("Skyfault Activated"));
    EXPECT_EQ(Period(), 65000);
    EXPECT_EQ(prefs->txtRateDenominator->text(), QStringLiteral("65000"));
}

TEST_F(DialogsTest, PreferencesOkAppliesBoxesOptionsAndPause) {
    Start();
    frmPreferences* prefs = OpenPreferences();
    prefs->optFuelLeakSpeed[2]->click();
    prefs->chkText->click();
    prefs->chkPause->click();
    prefs->cmdPrefsOK->click();
    EXPECT_EQ(engine->timer(TimerId::FuelLeak).Interval(), 1000);
    EXPECT_FALSE(settings().visualNotify);
    EXPECT_TRUE(engine->timer(TimerId::Synchronize).Enabled());

    OpenPreferences();
    EXPECT_TRUE(prefs->optFuelLeakSpeed[2]->isChecked());
    EXPECT_EQ(prefs->chkText->checkState(), Qt::Unchecked);
    prefs->optFuelLeakSpeed[0]->click();
    prefs->chkPause->click();
    prefs->cmdPrefsOK->click();
    EXPECT_EQ(engine->timer(TimerId::FuelLeak).Interval(), 7000);
    EXPECT_FALSE(engine->timer(TimerId::Synchronize).Enabled());
}

TEST_F(DialogsTest, PreferencesGreyedBoxShowsPartlyCheckedAndAClickClearsIt) {
    WriteConfig("[General]\r\nAudioNotification=2\r\n");
    Start();
    frmPreferences* prefs = OpenPreferences();
    EXPECT_EQ(prefs->chkAudio->checkState(), Qt::PartiallyChecked);
    prefs->chkAudio->click();
    EXPECT_EQ(prefs->chkAudio->checkState(), Qt::Unchecked);
    prefs->chkAudio->click();
    EXPECT_EQ(prefs->chkAudio->checkState(), Qt::Checked);
}

TEST_F(DialogsTest, PreferencesBrowseCancelledEmptiesTheSoundBoxAndCancelRestoresIt) {
    WriteConfig("[Sounds]\r\nDefaultSound=/sounds/bell.wav\r\n");
    Start();
    frmPreferences* prefs = OpenPreferences();
    EXPECT_EQ(prefs->txtDefaultSound->text(), QStringLiteral("/sounds/bell.wav"));
    files.Answer(QStringLiteral("/sounds/horn.wav"));
    prefs->cmdDefaultBrowse->click();
    EXPECT_EQ(prefs->txtDefaultSound->text(), QStringLiteral("/sounds/horn.wav"));
    prefs->cmdDefaultBrowse->click();  // cancelled
    EXPECT_EQ(prefs->txtDefaultSound->text(), QString());
    EXPECT_EQ(files.TitlesAsked(),
              QStringList({QStringLiteral("Open Sound File"), QStringLiteral("Open Sound File")}));

    prefs->cmdPrefsCancel->click();
    EXPECT_FALSE(prefs->isVisible());
    EXPECT_EQ(prefs->txtDefaultSound->text(), QStringLiteral("/sounds/bell.wav"));
    EXPECT_EQ(settings().defaultSound, "/sounds/bell.wav");
}

TEST_F(DialogsTest, PreferencesCancelEscapeAndCloseBoxPutEveryBoxBack) {
    Start();
    frmPreferences* prefs = OpenPreferences();
    TypeInto(prefs->txtRateDenominator, QStringLiteral("5"));
    prefs->chkPause->click();
    prefs->cmdPrefsCancel->click();
    EXPECT_EQ(prefs->txtRateDenominator->text(), QStringLiteral("1000"));
    EXPECT_EQ(prefs->chkPause->checkState(), Qt::Unchecked);

    // Escape is Cancel.
    OpenPreferences();
    TypeInto(prefs->txtRateDenominator, QStringLiteral("6"));
    QTest::keyClick(prefs->txtRateDenominator, Qt::Key_Escape);
    EXPECT_FALSE(prefs->isVisible());
    EXPECT_EQ(prefs->txtRateDenominator->text(), QStringLiteral("1000"));

    // Closing by the frame is Cancel, and the dialog is only hidden.
    OpenPreferences();
    TypeInto(prefs->txtInterval, QStringLiteral("7"));
    prefs->chkPause->click();
    EXPECT_TRUE(prefs->close());
    EXPECT_EQ(window->Preferences(), prefs);
    EXPECT_EQ(prefs->txtInterval->text(), QStringLiteral("60"));

    // Enter confirms nothing.
    OpenPreferences();
    TypeInto(prefs->txtRateDenominator, QStringLiteral("8"));
    QTest::keyClick(prefs->txtRateDenominator, Qt::Key_Return);
    EXPECT_TRUE(prefs->isVisible());
    EXPECT_EQ(settings().rateDenominator, "1000");

    // The cancelled edits are never saved by a later save.
    prefs->cmdPrefsCancel->click();
    ASSERT_TRUE(engine->WriteCFG());
    const std::string file = ReadConfig();
    EXPECT_NE(file.find("Rate=1000\r\n"), std::string::npos);
    EXPECT_NE(file.find("Frequency=60\r\n"), std::string::npos);
    EXPECT_NE(file.find("PauseWithSim=0\r\n"), std::string::npos);
}

// --- System settings ---------------------------------------------------------

TEST_F(DialogsTest, SystemSettingsFirstShowingShowsAdfWithoutStoring) {
    WriteConfig(
        "[General]\r\nFrequency=45\r\n[Sounds]\r\nSoundFile0=/s/adf.wav\r\n"
        "[Systems]\r\nADFStr=5,10\r\n");
    Start();
    EXPECT_EQ(window->SystemSettings(), nullptr);
    frmSystemSettings* dialog = OpenSystemSettings();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_FALSE(dialog->isModal());
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("System Specific Settings"));
    EXPECT_EQ(dialog->font().family(), CaptionFont().family());
    EXPECT_EQ(dialog->cmbSystem->count(), kSystemCount);
    EXPECT_FALSE(dialog->cmbSystem->isEditable());
    EXPECT_EQ(dialog->cmbSystem->itemText(4), QStringLiteral("Center Tank"));
    EXPECT_EQ(dialog->cmbSystem->itemText(5), QStringLiteral("COM radio"));
    EXPECT_EQ(dialog->cmbSystem->currentText(), QStringLiteral("ADF"));
    EXPECT_EQ(dialog->txtSystemRate->text(), QStringLiteral("5"));
    EXPECT_EQ(dialog->txtBegIAS->text(), QStringLiteral("10"));
    EXPECT_EQ(dialog->txtEndIAS->text(), QString());
    EXPECT_EQ(dialog->txtSystemSound->text(), QStringLiteral("/s/adf.wav"));
    EXPECT_EQ(dialog->lblShowTimePeriod->text(), QStringLiteral("every 45 seconds"));
    EXPECT_EQ(settings().systemStr[0], "5,10");  // nothing stored
    for (QPushButton* button : dialog->findChildren<QPushButton*>()) {
        EXPECT_FALSE(button->autoDefault()) << button->objectName().toStdString();
    }
    // Showing it again while it is open makes no second one.
    window->mnuSpecificSystems->trigger();
    EXPECT_EQ(window->SystemSettings(), dialog);
}

TEST_F(DialogsTest, SystemSettingsSelectionStoresAtOnceCancelRestoresListsButNotSounds) {
    Start();
    frmSystemSettings* dialog = OpenSystemSettings();
    TypeInto(dialog->txtSystemRate, QStringLiteral("77"));
    TypeInto(dialog->txtEndOAT, QStringLiteral("30"));
    files.Answer(QStringLiteral("/s/adf.wav"));
    dialog->cmdSoundBrowse->click();
    EXPECT_EQ(files.TitlesAsked(), QStringList{QString()});
    // The keyboard moves the selection too.
    dialog->cmbSystem->setFocus();
    QTest::keyClick(dialog->cmbSystem, Qt::Key_Down);
    EXPECT_EQ(dialog->cmbSystem->currentText(), QStringLiteral("Airspeed Indicator"));
    EXPECT_EQ(settings().systemStr[0], "77,0,999,-50,30,-999,99999,C");
    EXPECT_EQ(settings().soundFiles[0], "/s/adf.wav");
    EXPECT_EQ(dialog->txtSystemRate->text(), QStringLiteral("1000"));

    Choose(dialog->cmbSystem, QStringLiteral("Center Tank"));
    EXPECT_EQ(dialog->Model().itemID(), 23);
    dialog->cmdCancelSystemSettings->click();
    EXPECT_EQ(window->SystemSettings(), nullptr);
    DeleteLaterNow();
    EXPECT_EQ(settings().systemStr[0], kDefaultList);
    EXPECT_EQ(settings().soundFiles[0], "/s/adf.wav");
    EXPECT_FALSE(std::filesystem::exists(configPath));

    // The next showing makes it anew.
    frmSystemSettings* again = OpenSystemSettings();
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->cmbSystem->currentText(), QStringLiteral("ADF"));
    EXPECT_EQ(again->txtSystemRate->text(), QStringLiteral("1000"));
}

TEST_F(DialogsTest, SystemSettingsDefaultShownForUndefinedAndKeptAsUndefined) {
    WriteConfig("[Sounds]\r\nSoundFile11=/s/pitot.wav\r\n");
    Start();
    frmSystemSettings* dialog = OpenSystemSettings();
    EXPECT_EQ(dialog->txtSystemSound->text(), QStringLiteral("<default>"));
    Choose(dialog->cmbSystem, QStringLiteral("Pitot"));
    EXPECT_EQ(settings().soundFiles[0], "Undefined");
    EXPECT_EQ(dialog->txtSystemSound->text(), QStringLiteral("/s/pitot.wav"));
    TypeInto(dialog->txtSystemSound, QStringLiteral("<default>"));
    dialog->cmbSystem->setCurrentIndex(0);
    EXPECT_EQ(settings().soundFiles[11], "/s/pitot.wav");
    TypeInto(dialog->txtSystemSound, QString());
    dialog->cmdSoundBrowse->click();  // cancelled: the box stays empty
    dialog->cmdOKSystemSettings->click();
    EXPECT_EQ(settings().soundFiles[0], "");
}

TEST_F(DialogsTest, SystemSettingsDefaultThenOkStoresTheEightDefaultFields) {
    WriteConfig("[General]\r\nRate=400\r\n[Systems]\r\nFlapsStr=7,1,2,3,4,5,6,C\r\n");
    Start();
    frmSystemSettings* dialog = OpenSystemSettings();
    Choose(dialog->cmbSystem, QStringLiteral("Flaps"));
    dialog->cmdResetSystemSettings->click();
    EXPECT_EQ(dialog->txtSystemRate->text(), QStringLiteral("400"));
    EXPECT_EQ(dialog->txtBegOAT->text(), QStringLiteral("-50"));
    EXPECT_EQ(settings().systemStr[24], "7,1,2,3,4,5,6,C");
    dialog->cmdOKSystemSettings->click();
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(window->SystemSettings(), dialog);  // hidden, not destroyed
    EXPECT_EQ(settings().systemStr[24], "400,0,999,-50,100,-999,99999,D");
    EXPECT_NE(ReadConfig().find("FlapsStr=400,0,999,-50,100,-999,99999,D\r\n"), std::string::npos);
}

TEST_F(DialogsTest, SystemSettingsIndicatorFollowsTheValueOfTheDefaultRate) {
    Start();
    frmSystemSettings* dialog = OpenSystemSettings();
    const std::pair<QString, std::string> cases[] = {{QStringLiteral("1000"), "D"},
                                                     {QStringLiteral("1000.0"), "D"},
                                                     {QStringLiteral("500"), "C"},
                                                     {QString(), "C"}};
    for (const auto& [rate, indicator] : cases) {
        TypeInto(dialog->txtSystemRate, rate);
        dialog->cmdOKSystemSettings->click();
        EXPECT_EQ(settings().systemStr[0],
                  rate.toStdString() + ",0,999,-50,100,-999,99999," + indicator);
        OpenSystemSettings();
    }
}

TEST_F(DialogsTest, SystemSettingsShowingAfterOkReloadsFromTheTablesWithANewSnapshot) {
    Start();
    frmSystemSettings* dialog = OpenSystemSettings();
    Choose(dialog->cmbSystem, QStringLiteral("Vacuum"));
    TypeInto(dialog->txtSystemRate, QStringLiteral("42"));
    dialog->cmdOKSystemSettings->click();
    ASSERT_EQ(settings().systemStr[14], "42,0,999,-50,100,-999,99999,C");

    // The Preferences dialog changes the default rate and the interval meanwhile.
    frmPreferences* prefs = OpenPreferences();
    TypeInto(prefs->txtRateDenominator, QStringLiteral("300"));
    TypeInto(prefs->txtInterval, QStringLiteral("20"));
    prefs->cmdPrefsOK->click();
    settings().systemStr[14] = "43,1,2,3,4,5,6,C";

    ASSERT_EQ(OpenSystemSettings(), dialog);
    EXPECT_EQ(dialog->cmbSystem->currentText(), QStringLiteral("Vacuum"));
    EXPECT_EQ(dialog->txtSystemRate->text(), QStringLiteral("43"));
    EXPECT_EQ(dialog->txtEndAlt->text(), QStringLiteral("6"));
    EXPECT_EQ(dialog->lblShowTimePeriod->text(), QStringLiteral("every 20 seconds"));

    // Cancel goes back to this showing: the confirmed 42 and the new default rate stay.
    Choose(dialog->cmbSystem, QStringLiteral("ADF"));
    ASSERT_EQ(settings().systemStr[0], "300,0,999,-50,100,-999,99999,D");
    TypeInto(dialog->txtSystemRate, QStringLiteral("9"));
    Choose(dialog->cmbSystem, QStringLiteral("Vacuum"));
    ASSERT_EQ(settings().systemStr[0], "9,0,999,-50,100,-999,99999,C");
    QTest::keyClick(dialog->cmbSystem, Qt::Key_Escape);  // Escape is Cancel
    EXPECT_EQ(window->SystemSettings(), nullptr);
    DeleteLaterNow();
    EXPECT_EQ(settings().systemStr[0], "300,0,999,-50,100,-999,99999,D");
    EXPECT_EQ(settings().systemStr[14], "43,1,2,3,4,5,6,C");
}

TEST_F(DialogsTest, SystemSettingsCloseBoxIsCancel) {
    Start();
    frmSystemSettings* dialog = OpenSystemSettings();
    TypeInto(dialog->txtSystemRate, QStringLiteral("11"));
    Choose(dialog->cmbSystem, QStringLiteral("Compass"));
    ASSERT_EQ(settings().systemStr[0], "11,0,999,-50,100,-999,99999,C");
    dialog->close();
    EXPECT_EQ(window->SystemSettings(), nullptr);
    DeleteLaterNow();
    EXPECT_EQ(settings().systemStr[0], kDefaultList);
}

// --- Both dialogs' Browse over the platform's file dialog ---------------------

// A click as the window system delivers it, refused while a modal window
// blocks the target's window.
void ClickAsTheUser(QWidget* target) {
    QWidget* top = target->window();
    QTest::mouseClick(top->windowHandle(), Qt::LeftButton, {},
                      target->mapTo(top, target->rect().center()));
}

// The file dialog holds up only the dialog that asked: the main window takes
// clicks while it is open. A chosen file arrives in the sound box; a
// cancelled dialog empties the Preferences box and leaves the other's.
TEST_F(DialogsTest, BrowseHoldsUpOnlyItsOwnDialogAndItsAnswerArrives) {
    QtFileDialog platform;
    fileDialog = &platform;
    const std::filesystem::path horn = folder.path() / "horn.wav";
    engine::testing::WriteFile(horn, "RIFF");
    const QString chosen = QString::fromStdString(horn.string());
    Start();

    struct Case {
        const char* name;
        std::function<QDialog*()> open;
        std::function<QPushButton*(QDialog*)> browse, cancel;
        std::function<QLineEdit*(QDialog*)> box;
        QString afterCancelledBrowse;
    };
    const std::vector<Case> cases = {
        {"Preferences", [this] { return OpenPreferences(); },
         [](QDialog* d) { return static_cast<frmPreferences*>(d)->cmdDefaultBrowse; },
         [](QDialog* d) { return static_cast<frmPreferences*>(d)->cmdPrefsCancel; },
         [](QDialog* d) { return static_cast<frmPreferences*>(d)->txtDefaultSound; }, QString()},
        {"System settings", [this] { return OpenSystemSettings(); },
         [](QDialog* d) { return static_cast<frmSystemSettings*>(d)->cmdSoundBrowse; },
         [](QDialog* d) { return static_cast<frmSystemSettings*>(d)->cmdCancelSystemSettings; },
         [](QDialog* d) { return static_cast<frmSystemSettings*>(d)->txtSystemSound; }, chosen},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QDialog* dialog = c.open();
        ASSERT_NE(dialog, nullptr);
        const QPointer<QLineEdit> box = c.box(dialog);  // gone if its dialog took the Cancel
        for (const bool choose : {true, false}) {
            bool asked = false;
            bool mainTookTheClick = false;
            bool ownDialogHeldUp = false;
            QTimer::singleShot(0, dialog, [&] {
                auto* files = dialog->findChild<QFileDialog*>();
                asked = files != nullptr && files->isVisible();
                if (!asked) {
                    return;
                }
                const bool activated = window->cmdDisable->isEnabled();
                ClickAsTheUser(activated ? window->cmdDisable : window->cmdActivate);
                mainTookTheClick = window->cmdDisable->isEnabled() != activated;
                ClickAsTheUser(c.cancel(dialog));
                ownDialogHeldUp = dialog->isVisible();
                if (choose) {
                    // Types the path into the file name box and presses Enter.
                    auto* name = files->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
                    ASSERT_NE(name, nullptr);
                    TypeInto(name, chosen);
                    QTest::keyClick(name, Qt::Key_Return);
                } else {
                    files->reject();
                }
            });
            c.browse(dialog)->click();
            const QString expected = choose ? chosen : c.afterCancelledBrowse;
            EXPECT_TRUE(
                QTest::qWaitFor([&] { return !box || (asked && box->text() == expected); }, 2000));
            EXPECT_TRUE(mainTookTheClick) << "the main window took no click";
            ASSERT_TRUE(ownDialogHeldUp && box) << "the dialog that asked took a click";
            EXPECT_EQ(box->text().toStdString(), expected.toStdString());
            DeleteLaterNow();
            EXPECT_EQ(dialog->findChild<QFileDialog*>(), nullptr) << "an answered dialog goes";
        }
    }
}

}  // namespace
}  // namespace skyfault::ui
