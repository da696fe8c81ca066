// The Preferences and System settings dialogs, driven as the user drives
// them: what they hand to the engine, and their lifecycles as the window
// system sees them.
#include <QComboBox>
#include <QFileDialog>
#include <QPointer>
#include <QRadioButton>
#include <QTimer>

#include "tests/ui/qt/window_fixture.h"

namespace skyfault::ui {
namespace {

using engine::TimerId;

using DialogsTest = WindowTest;

TEST_F(DialogsTest, PreferencesOkHandsEveryBoxToTheEngineAndHides) {
    WriteConfig("[General]\r\nAudioNotification=2\r\n");
    Start();
    frmPreferences* prefs = OpenPreferences();
    ASSERT_FALSE(prefs->isModal());
    EXPECT_EQ(prefs->chkAudio->checkState(), Qt::PartiallyChecked);
    TypeInto(prefs->txtRateDenominator, QStringLiteral("70000"));
    TypeInto(prefs->txtInterval, QStringLiteral("0"));
    window->mnuFileDefault->trigger();  // the one dialog again, with what was typed
    EXPECT_EQ(window->Preferences(), prefs);
    prefs->optFuelLeakSpeed[2]->click();
    prefs->chkText->click();
    prefs->chkPause->click();
    prefs->cmdPrefsOK->click();
    EXPECT_FALSE(prefs->isVisible());
    EXPECT_EQ(prefs->txtRateDenominator->text(), QStringLiteral("65000"));
    EXPECT_EQ(window->lblRate->text(), QStringLiteral(" .00001538"));
    EXPECT_EQ(window->lblInterval->text(), QStringLiteral("1"));
    EXPECT_EQ(engine->timer(TimerId::FailureEvent).Interval(), 1000);
    EXPECT_EQ(engine->timer(TimerId::FuelLeak).Interval(), 1000);
    EXPECT_TRUE(engine->timer(TimerId::Synchronize).Enabled());
    EXPECT_FALSE(engine->settings().visualNotify);
    EXPECT_TRUE(Saved("Rate=65000"));
}

// Cancel, Escape and the close box put every box back and only hide the
// dialog; Enter confirms nothing; Browse's answer arrives in the sound box.
TEST_F(DialogsTest, PreferencesCancelPutsEveryBoxBack) {
    WriteConfig("[Sounds]\r\nDefaultSound=/sounds/bell.wav\r\n");
    Start();
    frmPreferences* prefs = OpenPreferences();
    QTest::keyClick(prefs->txtRateDenominator, Qt::Key_Return);
    EXPECT_TRUE(prefs->isVisible()) << "Enter confirms nothing";
    files.Answer(QStringLiteral("/sounds/horn.wav"));
    prefs->cmdDefaultBrowse->click();
    EXPECT_EQ(prefs->txtDefaultSound->text(), QStringLiteral("/sounds/horn.wav"));
    EXPECT_EQ(files.TitlesAsked(), QStringList{QStringLiteral("Open Sound File")});
    for (const int way : {0, 1, 2}) {  // Cancel, Escape, the close box
        TypeInto(OpenPreferences()->txtRateDenominator, QStringLiteral("5"));
        prefs->chkPause->click();
        way == 0   ? prefs->cmdPrefsCancel->click()
        : way == 1 ? QTest::keyClick(prefs, Qt::Key_Escape)
                   : void(prefs->close());
        EXPECT_FALSE(prefs->isVisible());
        EXPECT_EQ(window->Preferences(), prefs);
        EXPECT_EQ(prefs->txtRateDenominator->text(), QStringLiteral("1000"));
        EXPECT_EQ(prefs->chkPause->checkState(), Qt::Unchecked);
        EXPECT_EQ(prefs->txtDefaultSound->text(), QStringLiteral("/sounds/bell.wav"));
    }
    ASSERT_TRUE(engine->WriteCFG());
    EXPECT_TRUE(Saved("Rate=1000") && Saved("PauseWithSim=0"));
}

// The first showing shows ADF without storing it; a choice in the list stores
// the shown system at once; OK hides the dialog; Cancel, Escape and the close
// box destroy it and put the lists back, but not the sounds.
TEST_F(DialogsTest, SystemSettingsStoresOnSelectionOkKeepsCancelRestores) {
    WriteConfig("[General]\r\nFrequency=45\r\n[Systems]\r\nADFStr=5,10\r\n");
    Start();
    frmSystemSettings* dialog = OpenSystemSettings();
    ASSERT_FALSE(dialog->isModal());
    EXPECT_EQ(dialog->cmbSystem->currentText(), QStringLiteral("ADF"));
    EXPECT_EQ(dialog->txtBegIAS->text(), QStringLiteral("10"));
    EXPECT_EQ(dialog->lblShowTimePeriod->text(), QStringLiteral("every 45 seconds"));
    EXPECT_EQ(engine->settings().systemStr[0], "5,10");
    window->mnuSpecificSystems->trigger();
    EXPECT_EQ(window->SystemSettings(), dialog);

    dialog->cmbSystem->setCurrentText(QStringLiteral("Flaps"));
    dialog->cmdResetSystemSettings->click();
    TypeInto(dialog->txtEndOAT, QStringLiteral("30"));
    dialog->cmdOKSystemSettings->click();
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(window->SystemSettings(), dialog);
    EXPECT_TRUE(Saved("FlapsStr=1000,0,999,-50,30,-999,99999,D"));

    const std::string adf = engine->settings().systemStr[0];
    for (const int way : {0, 1, 2}) {  // Cancel, Escape, the close box
        dialog = OpenSystemSettings();
        dialog->cmbSystem->setCurrentText(QStringLiteral("ADF"));
        TypeInto(dialog->txtSystemRate, QStringLiteral("77"));
        files.Answer(QStringLiteral("/s/adf.wav"));
        dialog->cmdSoundBrowse->click();
        QTest::keyClick(dialog->cmbSystem, Qt::Key_Down);
        EXPECT_EQ(dialog->cmbSystem->currentText(), QStringLiteral("Airspeed Indicator"));
        EXPECT_TRUE(engine->settings().systemStr[0].starts_with("77,"));
        way == 0   ? dialog->cmdCancelSystemSettings->click()
        : way == 1 ? QTest::keyClick(dialog, Qt::Key_Escape)
                   : void(dialog->close());
        EXPECT_EQ(window->SystemSettings(), nullptr);
        DeleteLaterNow();
        EXPECT_EQ(engine->settings().systemStr[0], adf);
        EXPECT_EQ(engine->settings().soundFiles[0], "/s/adf.wav");
    }
}

// A click as the window system delivers it, refused while a modal window
// blocks the target's window.
void ClickAsTheUser(QWidget* target) {
    QTest::mouseClick(target->window()->windowHandle(), Qt::LeftButton, {},
                      target->mapTo(target->window(), target->rect().center()));
}

// The platform's file dialog holds up only the dialog that asked: the main
// window takes clicks meanwhile. The chosen file arrives in the sound box; a
// cancelled dialog empties the Preferences one.
TEST_F(DialogsTest, BrowseHoldsUpOnlyItsOwnDialogAndItsAnswerArrives) {
    QtFileDialog platform;
    fileDialog = &platform;
    engine::testing::WriteFile(folder.path() / "horn.wav", "RIFF");
    const QString chosen = QString::fromStdString((folder.path() / "horn.wav").string());
    Start();
    frmPreferences* prefs = OpenPreferences();
    frmSystemSettings* system = OpenSystemSettings();
    const struct {
        QDialog* dialog;
        QPushButton *browse, *cancel;
        QPointer<QLineEdit> box;  // gone if its dialog took the Cancel
        bool choose;
    } cases[] = {
        {prefs, prefs->cmdDefaultBrowse, prefs->cmdPrefsCancel, prefs->txtDefaultSound, true},
        {prefs, prefs->cmdDefaultBrowse, prefs->cmdPrefsCancel, prefs->txtDefaultSound, false},
        {system, system->cmdSoundBrowse, system->cmdCancelSystemSettings, system->txtSystemSound,
         true}};
    for (const auto& c : cases) {
        bool asked = false, mainTookTheClick = false, ownDialogHeldUp = false;
        QTimer::singleShot(0, c.dialog, [&] {
            auto* files = c.dialog->findChild<QFileDialog*>();
            if (!(asked = files != nullptr && files->isVisible())) {
                return;
            }
            const bool activated = window->cmdDisable->isEnabled();
            ClickAsTheUser(activated ? window->cmdDisable : window->cmdActivate);
            mainTookTheClick = window->cmdDisable->isEnabled() != activated;
            ClickAsTheUser(c.cancel);
            ownDialogHeldUp = c.dialog->isVisible();
            auto* name = files->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            if (!c.choose) {
                return files->reject();
            }
            TypeInto(name, chosen);
            QTest::keyClick(name, Qt::Key_Return);
        });
        c.browse->click();
        const QString expected = c.choose ? chosen : QString();
        EXPECT_TRUE(
            QTest::qWaitFor([&] { return !c.box || (asked && c.box->text() == expected); }));
        EXPECT_TRUE(mainTookTheClick) << "the main window took no click";
        ASSERT_TRUE(ownDialogHeldUp && c.box) << "the dialog that asked took a click";
        EXPECT_EQ(c.box->text(), expected);
        DeleteLaterNow();
        EXPECT_EQ(c.dialog->findChild<QFileDialog*>(), nullptr) << "an answered dialog goes";
    }
}

}  // namespace
}  // namespace skyfault::ui
