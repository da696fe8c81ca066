// The Qt front-end over a running engine on a manual clock: its windows draw
// the engine's state and hand it the user's commands; the Qt adapters behind
// the engine (timer, wave-sound player, file dialog) keep their promises.

#include <QtTest>
#include <QtWidgets>
#include <functional>
#include <optional>
#include <utility>

#include "skyfault_version.h"
#include "tests/support/engine_fixture.h"
#include "tests/support/wave_image.h"
#include "ui/qt/file_dialog.h"
#include "ui/qt/frmAbout.h"
#include "ui/qt/frmFailureLog.h"
#include "ui/qt/frmMain.h"
#include "ui/qt/frmPreferences.h"
#include "ui/qt/frmSystemSettings.h"
#include "ui/qt/qt_sound_player.h"
#include "ui/qt/qt_timer.h"

namespace skyfault::ui {
namespace {

// One QApplication (offscreen) for every test of the binary.
struct QtEnvironment final : ::testing::Environment {
    int argc = 1;
    char name[8] = "ui_test", *argv[2] = {name, nullptr};
    std::optional<QApplication> application;
    void SetUp() override {
        application.emplace(argc, argv);
        QApplication::setQuitOnLastWindowClosed(false);  // as the program has it
    }
    void TearDown() override { application.reset(); }
};
[[maybe_unused]] ::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment);

// Answers every question at once, as a cancelled dialog.
struct CancelledFileDialog final : FileDialog {
    void Open(QWidget&, const QString&, Chosen chosen) override { chosen({}); }
};

class WindowTest : public engine::testing::EngineTest {
protected:
    CancelledFileDialog files;
    FileDialog* fileDialog = &files;  // a test may hand in the platform's own
    std::unique_ptr<frmMain> window;

    ~WindowTest() override { DeleteLaterNow(); }  // then the window, as a member, before the engine
    bool Saved(const std::string& line) const {
        return engine::testing::ReadFile(configPath).find(line + "\r\n") != std::string::npos;
    }
    // As the program starts: the window first, then Main, then showing.
    void Start() {
        Make();
        window = std::make_unique<frmMain>(*engine, *fileDialog);
        engine->Main();
        if (state().window.loaded) {
            window->show();
        }
    }
    // The program's one window of that class, as the windowing system has it;
    // nullptr when there is none.
    template <typename Window>
    static Window* Loaded() {
        Window* found = nullptr;
        for (QWidget* top : QApplication::topLevelWidgets()) {
            if (auto* window = qobject_cast<Window*>(top)) {
                EXPECT_EQ(found, nullptr) << "two windows of one class";
                found = window;
            }
        }
        return found;
    }
    frmPreferences* OpenPreferences() {
        window->cmdDefault->click();
        return Loaded<frmPreferences>();
    }
    frmSystemSettings* OpenSystemSettings() {
        window->cmdSpecific->click();
        return Loaded<frmSystemSettings>();
    }
    static void TypeInto(QLineEdit* box, const QString& text) {
        box->selectAll();
        QTest::keyClicks(box, text);
    }
    QString Message() const { return window->txtMessage->text(); }
    QColor MessageColour() const { return window->txtMessage->palette().color(QPalette::Text); }
    void ExpectActivated(bool activated) {
        EXPECT_EQ(window->cmdActivate->isEnabled(), !activated);
        EXPECT_EQ(window->cmdDisable->isEnabled(), activated);
    }
    static void DeleteLaterNow() {
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
};

// The boxes show the allowed values (2: greyed); a click sets them.
TEST_F(WindowTest, ShowsTheConfiguredSettingsAndBoxClicksSetThem) {
    WriteConfig(
        "[General]\r\nActivated=0\r\n"
        "[Failures]\r\nAttitudeIndicator=0\r\nFlaps=2\r\n");
    Start();
    EXPECT_EQ(Message(), QStringLiteral("Skyfault Disabled"));
    EXPECT_EQ(MessageColour(), QColor(Qt::black));
    ExpectActivated(false);
    for (int id = 0; id < kSystemCount; ++id) {
        const int allowed = id == 24 ? Qt::PartiallyChecked : id == 3 ? Qt::Unchecked : Qt::Checked;
        EXPECT_EQ(window->chkFailureType[id]->checkState(), allowed) << id;
    }
    window->chkFailureType[24]->click();  // greyed: cleared, by the engine's rule
    EXPECT_EQ(state().settings.allowed[24], 0);
    EXPECT_EQ(window->chkFailureType[24]->checkState(), Qt::Unchecked);
}

// A message wider than its box (why skyfault.cfg, here a folder, could not be
// read) shows from its start, with the whole text as tool tip.
TEST_F(WindowTest, LongMessagesShowTheirBeginningAndTheWholeTextAsToolTip) {
    std::filesystem::create_directory(configPath);
    Start();
    QLineEdit* box = window->txtMessage;
    ASSERT_TRUE(Message().startsWith("Could not read skyfault.cfg: ")) << Message().toStdString();
    ASSERT_GT(box->fontMetrics().horizontalAdvance(Message()), box->contentsRect().width());
    box->grab();  // drawn as the user sees it
    EXPECT_EQ(box->cursorPositionAt({box->contentsRect().left() + 4, box->height() / 2}), 0);
    EXPECT_EQ(box->toolTip(), Message());
}

TEST_F(WindowTest, FailuresShowRedAndGreyOnlyTheirBoxAndTheSwitchesWork) {
    Start();
    ExpectActivated(true);
    EXPECT_FALSE(window->mnuFlightRepair->isEnabled());
    engine->FailSystem(16);
    EXPECT_EQ(Message(), QStringLiteral("Failure: Engine 1"));
    EXPECT_EQ(MessageColour(), QColor(Qt::red));
    EXPECT_FALSE(window->chkFailureType[16]->isEnabled());
    EXPECT_TRUE(window->chkFailureType[17]->isEnabled());
    EXPECT_TRUE(window->mnuFlightRepair->isEnabled());
    window->mnuFlightRepair->trigger();
    EXPECT_TRUE(window->chkFailureType[16]->isEnabled());
    EXPECT_FALSE(window->mnuFlightRepair->isEnabled());
    window->cmdDisable->click();
    ExpectActivated(false);
    window->cmdActivate->click();
    ExpectActivated(true);
}

TEST_F(WindowTest, AboutOpensModelessOnceAndOkOrCloseUnloadsIt) {
    Start();
    // Every menu item has an access key (Alt+H, A is About); Flight, between
    // File and Help, leaves Alt+F to File.
    QStringList items;
    for (QAction* menu : window->menuBar()->actions()) {
        items << menu->text();
        for (QAction* item : menu->menu()->actions()) {
            items << item->text();
        }
    }
    EXPECT_EQ(items,
              QStringList({"&File", "&Default Settings", "&Specific Systems", "E&xit", "F&light",
                           "&Repair All Systems", "Failure &Log...", "&Help", "&About"}));
    for (const bool byOk : {true, false}) {
        window->mnuHelpAbout->trigger();
        frmAbout* about = Loaded<frmAbout>();
        ASSERT_TRUE(about != nullptr && about->isVisible() && !about->isModal());
        EXPECT_TRUE(about->txtAbout->toPlainText().startsWith(
            QStringLiteral("Skyfault v" SKYFAULT_VERSION "\n\nMakes aircraft systems fail")));
        window->mnuHelpAbout->trigger();
        EXPECT_EQ(Loaded<frmAbout>(), about) << "shown again, not loaded twice";
        const QPointer<frmAbout> unloaded(about);
        byOk ? about->cmdOK->click() : static_cast<void>(about->close());
        DeleteLaterNow();
        EXPECT_TRUE(unloaded.isNull());
    }
}

// The Failure Log draws the engine's estimate (its rows: the end-to-end
// tests); the limit's box commits on Enter and on losing the focus, and a
// refused text leaves the limit in force; Close, Escape and the close box
// only hide the one window.
TEST_F(WindowTest, FailureLogDrawsTheEngineAndItsLimitBoxCommits) {
    Start();
    window->mnuFlightLog->trigger();
    frmFailureLog* log = Loaded<frmFailureLog>();
    ASSERT_TRUE(log != nullptr && log->isVisible() && !log->isModal());
    const QString before = log->lblEstimate->text();
    EXPECT_EQ(before, QString::fromStdString(engine->FailureEstimate()));
    engine->FailSystem(16);
    EXPECT_NE(log->lblEstimate->text(), before) << "drawn again as Engine 1 failed";

    QApplication::setActiveWindow(log);
    for (const auto& [typed, limit] : {std::pair{"x1", 0}, {"2", 2}, {"1000", 2}, {"3", 3}}) {
        log->txtMaxFailures->setFocus();
        TypeInto(log->txtMaxFailures, QString::fromUtf8(typed));
        limit != 3 ? QTest::keyClick(log->txtMaxFailures, Qt::Key_Return)
                   : log->lvwEvents->setFocus();
        EXPECT_TRUE(log->isVisible()) << "Enter only commits the box";
        EXPECT_EQ(engine->settings().maxFailures, limit) << typed;
        EXPECT_EQ(log->txtMaxFailures->text(), QString::number(limit)) << typed;
        if (limit == 0) {
            EXPECT_EQ(QToolTip::text(), QStringLiteral("Enter a whole number from 0 to 999."));
        }
    }

    for (const int way : {0, 1, 2}) {
        window->mnuFlightLog->trigger();
        way == 0   ? log->cmdClose->click()
        : way == 1 ? QTest::keyClick(log, Qt::Key_Escape)
                   : void(log->close());
        DeleteLaterNow();
        EXPECT_EQ(Loaded<frmFailureLog>(), log);
        EXPECT_FALSE(log->isVisible());
    }
}

// Exit saves, hides every window and ends; the close box ends without saving
// (the link they close: the engine's tests).
TEST_F(WindowTest, ExitSavesAndEndsTheCloseBoxOnlyEnds) {
    const std::pair<std::function<void(frmMain&)>, bool> ways[] = {
        {[](frmMain& w) { w.btnExit->click(); }, true},  // File > Exit: the end-to-end test
        {[](frmMain& w) { w.close(); }, false}};
    for (const auto& [exit, saves] : ways) {
        Start();
        window->chkFailureType[3]->click();
        std::filesystem::remove(configPath);
        window->mnuHelpAbout->trigger();
        // Ended as the program ends: its event loop returns 0 (1: it did not end).
        QTimer::singleShot(0, window.get(), [&, &way = exit] { way(*window); });
        QTimer stuck;
        stuck.callOnTimeout([] { QCoreApplication::exit(1); });
        stuck.start(10000);
        EXPECT_EQ(QApplication::exec(), 0);
        EXPECT_EQ(Saved("AttitudeIndicator=0"), saves);
        EXPECT_FALSE(window->isVisible() || Loaded<frmAbout>()->isVisible());
        window.reset();
        std::filesystem::remove(configPath);  // the next a first start again
    }
}

// Preferences: Enter confirms nothing; Cancel, Escape and the close box put
// the typed text back and only hide the dialog, the one dialog shown again;
// OK hands every box to the engine and hides it, and the main window shows
// the result.
TEST_F(WindowTest, PreferencesCancelPutsTheTextBackOkHandsEveryBoxToTheEngine) {
    Start();
    frmPreferences* prefs = OpenPreferences();
    QTest::keyClick(prefs->txtRateDenominator, Qt::Key_Return);
    EXPECT_TRUE(prefs->isVisible()) << "Enter confirms nothing";
    for (const int way : {0, 1, 2}) {
        TypeInto(OpenPreferences()->txtRateDenominator, QStringLiteral("5"));
        way == 0   ? prefs->cmdPrefsCancel->click()
        : way == 1 ? QTest::keyClick(prefs, Qt::Key_Escape)
                   : void(prefs->close());
        EXPECT_FALSE(prefs->isVisible());
        EXPECT_EQ(Loaded<frmPreferences>(), prefs);
        EXPECT_EQ(prefs->txtRateDenominator->text(), QStringLiteral("1000"));
    }
    TypeInto(OpenPreferences()->txtRateDenominator, QStringLiteral("70000"));
    TypeInto(prefs->txtInterval, QStringLiteral("0"));
    window->mnuFileDefault->trigger();  // shown again, with what was typed
    prefs->optFuelLeakSpeed[2]->click();
    prefs->chkText->click();
    prefs->chkPause->click();
    prefs->cmdPrefsOK->click();
    EXPECT_FALSE(prefs->isVisible());
    EXPECT_EQ(window->lblRate->text(), QStringLiteral(" .00001538"));
    EXPECT_EQ(window->lblInterval->text(), QStringLiteral("1"));
    EXPECT_EQ(engine->settings().fuelLeakSpeed, 2);
    EXPECT_EQ(engine->settings().pauseWithSim, 1);
    EXPECT_FALSE(engine->settings().visualNotify);
}

// The first showing shows ADF without storing it; a choice in the list stores
// the shown system at once; OK hides the dialog; Cancel, Escape and the close
// box destroy it and put the lists back.
TEST_F(WindowTest, SystemSettingsStoresOnSelectionOkKeepsCancelRestores) {
    WriteConfig("[General]\r\nFrequency=45\r\n[Systems]\r\nADFStr=5,10\r\n");
    Start();
    frmSystemSettings* dialog = OpenSystemSettings();
    EXPECT_EQ(dialog->txtBegIAS->text(), QStringLiteral("10"));
    EXPECT_EQ(dialog->lblShowTimePeriod->text(), QStringLiteral("every 45 seconds"));
    EXPECT_EQ(engine->settings().systemStr[0], "5,10");
    window->mnuSpecificSystems->trigger();
    EXPECT_EQ(Loaded<frmSystemSettings>(), dialog);

    dialog->cmbSystem->setCurrentText(QStringLiteral("Flaps"));
    dialog->cmdResetSystemSettings->click();
    TypeInto(dialog->txtEndOAT, QStringLiteral("30"));
    dialog->cmdOKSystemSettings->click();
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(Loaded<frmSystemSettings>(), dialog);
    EXPECT_TRUE(Saved("FlapsStr=1000,0,999,-50,30,-999,99999,D"));

    const std::string adf = engine->settings().systemStr[0];
    for (const int way : {0, 1, 2}) {
        dialog = OpenSystemSettings();
        dialog->cmbSystem->setCurrentText(QStringLiteral("ADF"));
        TypeInto(dialog->txtSystemRate, QStringLiteral("77"));
        QTest::keyClick(dialog->cmbSystem, Qt::Key_Down);
        EXPECT_TRUE(engine->settings().systemStr[0].starts_with("77,"));
        const QPointer<frmSystemSettings> unloaded(dialog);
        way == 0   ? dialog->cmdCancelSystemSettings->click()
        : way == 1 ? QTest::keyClick(dialog, Qt::Key_Escape)
                   : void(dialog->close());
        DeleteLaterNow();
        EXPECT_TRUE(unloaded.isNull());
        EXPECT_EQ(engine->settings().systemStr[0], adf);
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
TEST_F(WindowTest, BrowseHoldsUpOnlyItsOwnDialogAndItsAnswerArrives) {
    QtFileDialog platform;
    fileDialog = &platform;
    engine::testing::WriteFile(folder.path() / "horn.wav", "RIFF");
    const QString chosen = QString::fromStdString((folder.path() / "horn.wav").string());
    Start();
    frmPreferences* prefs = OpenPreferences();
    frmSystemSettings* system = OpenSystemSettings();
    for (const int n : {0, 1, 2}) {  // Preferences chooses, then cancels; System settings chooses
        const bool choose = n != 1, inPrefs = n < 2;
        QDialog* dialog = inPrefs ? static_cast<QDialog*>(prefs) : system;
        QPushButton* cancel = inPrefs ? prefs->cmdPrefsCancel : system->cmdCancelSystemSettings;
        const QPointer<QLineEdit> box = inPrefs ? prefs->txtDefaultSound : system->txtSystemSound;
        bool asked = false, mainTookTheClick = false, ownDialogHeldUp = false;
        QTimer::singleShot(0, dialog, [&] {
            auto* files = dialog->findChild<QFileDialog*>();
            if (!(asked = files != nullptr && files->isVisible())) {
                return;
            }
            const bool activated = window->cmdDisable->isEnabled();
            ClickAsTheUser(activated ? window->cmdDisable : window->cmdActivate);
            mainTookTheClick = window->cmdDisable->isEnabled() != activated;
            ClickAsTheUser(cancel);
            ownDialogHeldUp = dialog->isVisible();
            auto* name = files->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            if (!choose) {
                return files->reject();
            }
            TypeInto(name, chosen);
            QTest::keyClick(name, Qt::Key_Return);
        });
        (inPrefs ? prefs->cmdDefaultBrowse : system->cmdSoundBrowse)->click();
        const QString expected = choose ? chosen : QString();
        EXPECT_TRUE(QTest::qWaitFor([&] { return !box || (asked && box->text() == expected); }));
        EXPECT_TRUE(mainTookTheClick) << "the main window took no click";
        ASSERT_TRUE(ownDialogHeldUp && box) << "the dialog that asked took a click";
        DeleteLaterNow();
        EXPECT_EQ(dialog->findChild<QFileDialog*>(), nullptr) << "an answered dialog goes";
    }
}

// Ticks only while enabled with a period; enabling again keeps the wait under
// way, a new period starts a new one. Seen by its ticks alone, with margins of
// half a second either way.
TEST(QtTimerTest, TicksWhileEnabledAndANewPeriodRestartsTheWait) {
    QtTimer timer;
    int ticks = 0;
    timer.SetCallback([&ticks] { ++ticks; });
    timer.SetEnabled(true);
    QTest::qWait(50);
    EXPECT_EQ(ticks, 0) << "period 0 never ticks";
    timer.SetInterval(5);
    EXPECT_TRUE(QTest::qWaitFor([&ticks] { return ticks >= 3; }));
    timer.SetEnabled(false);
    timer.SetInterval(1500);
    ticks = 0;
    timer.SetEnabled(true);
    QTest::qSleep(1000);  // busy: no tick is handled meanwhile
    timer.SetEnabled(true);
    EXPECT_TRUE(QTest::qWaitFor([&ticks] { return ticks > 0; }, 1000)) << "the wait began again";
    timer.SetEnabled(false);
    timer.SetInterval(5);
    timer.SetEnabled(true);
    timer.SetInterval(60000);
    ticks = 0;
    QTest::qWait(200);
    EXPECT_EQ(ticks, 0) << "the new period is not in use";
}

}  // namespace
}  // namespace skyfault::ui
