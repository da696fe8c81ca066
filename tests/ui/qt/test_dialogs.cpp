// The Preferences and System settings dialogs, driven as the user drives
// them: what they hand to the engine, and their lifecycles as the window
// system sees them.
#include <QComboBox>
#include <QFileDialog>
#include <QPointer>
#include <QRadioButton>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <vector>

#include "tests/ui/qt/window_fixture.h"
#include "ui/qt/frmPreferences.h"
#include "ui/qt/frmSystemSettings.h"

namespace skyfault::ui {
namespace {

using engine::TimerId;

class DialogsTest : public WindowTest {
protected:
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
        list->setCurrentIndex(list->findText(entry, Qt::MatchExactly));
    }
    Settings& settings() { return engine->settings(); }
};

TEST_F(DialogsTest, PreferencesOkHandsEveryBoxToTheEngineAndHides) {
    WriteConfig("[General]\r\nAudioNotification=2\r\n");
    Start();
    frmPreferences* prefs = OpenPreferences();
    ASSERT_NE(prefs, nullptr);
    EXPECT_FALSE(prefs->isModal());
    EXPECT_EQ(prefs->chkAudio->checkState(), Qt::PartiallyChecked);
    TypeInto(prefs->txtRateDenominator, QStringLiteral("70000"));
    TypeInto(prefs->txtInterval, QStringLiteral("0"));
    window->mnuFileDefault->trigger();  // the one dialog again, with what was typed
    EXPECT_EQ(window->Preferences(), prefs);
    EXPECT_EQ(prefs->txtRateDenominator->text(), QStringLiteral("70000"));
    prefs->optFuelLeakSpeed[2]->click();
    prefs->chkText->click();
    prefs->chkPause->click();
    prefs->cmdPrefsOK->click();
    EXPECT_FALSE(prefs->isVisible());
    EXPECT_EQ(Status(), QStringLiteral("Min interval is 1."));
    EXPECT_EQ(prefs->txtRateDenominator->text(), QStringLiteral("65000"));
    EXPECT_EQ(prefs->txtInterval->text(), QStringLiteral("1"));
    EXPECT_EQ(window->lblRate->text(), QStringLiteral(" .00001538"));
    EXPECT_EQ(window->lblInterval->text(), QStringLiteral("1"));
    EXPECT_EQ(engine->timer(TimerId::FailureEvent).Interval(), 1000);
    EXPECT_EQ(engine->timer(TimerId::FuelLeak).Interval(), 1000);
    EXPECT_TRUE(engine->timer(TimerId::Synchronize).Enabled());
    EXPECT_FALSE(settings().visualNotify);
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
    const std::vector<std::function<void()>> cancels = {
        [&] { prefs->cmdPrefsCancel->click(); },
        [&] { QTest::keyClick(prefs->txtRateDenominator, Qt::Key_Escape); },
        [&] { prefs->close(); }};
    for (const auto& cancel : cancels) {
        OpenPreferences();
        TypeInto(prefs->txtRateDenominator, QStringLiteral("5"));
        prefs->chkPause->click();
        cancel();
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
    ASSERT_NE(dialog, nullptr);
    EXPECT_FALSE(dialog->isModal());
    EXPECT_EQ(dialog->cmbSystem->currentText(), QStringLiteral("ADF"));
    EXPECT_EQ(dialog->txtBegIAS->text(), QStringLiteral("10"));
    EXPECT_EQ(dialog->lblShowTimePeriod->text(), QStringLiteral("every 45 seconds"));
    EXPECT_EQ(settings().systemStr[0], "5,10");
    window->mnuSpecificSystems->trigger();
    EXPECT_EQ(window->SystemSettings(), dialog);

    Choose(dialog->cmbSystem, QStringLiteral("Flaps"));
    dialog->cmdResetSystemSettings->click();
    TypeInto(dialog->txtEndOAT, QStringLiteral("30"));
    dialog->cmdOKSystemSettings->click();
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(window->SystemSettings(), dialog);
    EXPECT_TRUE(Saved("FlapsStr=1000,0,999,-50,30,-999,99999,D"));

    const std::string adf = settings().systemStr[0];
    const std::vector<std::function<void(frmSystemSettings*)>> cancels = {
        [](frmSystemSettings* d) { d->cmdCancelSystemSettings->click(); },
        [](frmSystemSettings* d) { QTest::keyClick(d->cmbSystem, Qt::Key_Escape); },
        [](frmSystemSettings* d) { d->close(); }};
    for (const auto& cancel : cancels) {
        dialog = OpenSystemSettings();
        Choose(dialog->cmbSystem, QStringLiteral("ADF"));
        TypeInto(dialog->txtSystemRate, QStringLiteral("77"));
        files.Answer(QStringLiteral("/s/adf.wav"));
        dialog->cmdSoundBrowse->click();
        dialog->cmbSystem->setFocus();
        QTest::keyClick(dialog->cmbSystem, Qt::Key_Down);
        EXPECT_EQ(dialog->cmbSystem->currentText(), QStringLiteral("Airspeed Indicator"));
        EXPECT_TRUE(settings().systemStr[0].starts_with("77,")) << settings().systemStr[0];
        cancel(dialog);
        EXPECT_EQ(window->SystemSettings(), nullptr);
        DeleteLaterNow();
        EXPECT_EQ(settings().systemStr[0], adf);
        EXPECT_EQ(settings().soundFiles[0], "/s/adf.wav");
    }
}

// A click as the window system delivers it, refused while a modal window
// blocks the target's window.
void ClickAsTheUser(QWidget* target) {
    QWidget* top = target->window();
    QTest::mouseClick(top->windowHandle(), Qt::LeftButton, {},
                      target->mapTo(top, target->rect().center()));
}

// The platform's file dialog holds up only the dialog that asked: the main
// window takes clicks meanwhile. A chosen file arrives in the sound box; a
// cancelled one empties the Preferences box and leaves the other's.
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
        QString afterCancel;
    } cases[] = {
        {prefs, prefs->cmdDefaultBrowse, prefs->cmdPrefsCancel, prefs->txtDefaultSound, {}},
        {system, system->cmdSoundBrowse, system->cmdCancelSystemSettings, system->txtSystemSound,
         chosen},
    };
    for (const auto& c : cases) {
        for (const bool choose : {true, false}) {
            bool asked = false;
            bool mainTookTheClick = false;
            bool ownDialogHeldUp = false;
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
                if (choose) {
                    auto* name = files->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
                    TypeInto(name, chosen);
                    QTest::keyClick(name, Qt::Key_Return);
                } else {
                    files->reject();
                }
            });
            c.browse->click();
            const QString expected = choose ? chosen : c.afterCancel;
            EXPECT_TRUE(
                QTest::qWaitFor([&] { return !c.box || (asked && c.box->text() == expected); }));
            EXPECT_TRUE(mainTookTheClick) << "the main window took no click";
            ASSERT_TRUE(ownDialogHeldUp && c.box) << "the dialog that asked took a click";
            EXPECT_EQ(c.box->text(), expected);
            DeleteLaterNow();
            EXPECT_EQ(c.dialog->findChild<QFileDialog*>(), nullptr) << "an answered dialog goes";
        }
    }
}

}  // namespace
}  // namespace skyfault::ui
