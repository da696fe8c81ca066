#pragma once

// The main window over a running engine on a manual clock, against a server
// in the test's own process, with a configuration file of the test's own;
// one QApplication (offscreen) for every test of the binary.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "tests/support/engine_fixture.h"
#include "ui/qt/file_dialog.h"
#include "ui/qt/frmMain.h"
#include "ui/qt/frmPreferences.h"
#include "ui/qt/frmSystemSettings.h"

namespace skyfault::ui {

struct QtEnvironment final : ::testing::Environment {
    int argc = 1;
    char name[8] = "ui_test";
    char* argv[2] = {name, nullptr};
    std::unique_ptr<QApplication> application;
    void SetUp() override { application = std::make_unique<QApplication>(argc, argv); }
    void TearDown() override { application.reset(); }
};

class WindowTest : public ::testing::Test {
protected:
    test_support::InProcessServer server;
    link::Link link{server};
    engine::ManualClock clock;
    engine::testing::RecordingSound sound;
    engine::SeededRandom random{7.0};
    engine::testing::TempFolder folder;
    std::filesystem::path configPath = folder.path() / "skyfault.cfg";
    ScriptedFileDialog files;
    FileDialog* fileDialog = &files;  // a test may hand in the platform's own
    std::unique_ptr<engine::Engine> engine;
    std::unique_ptr<frmMain> window;
    int quits = 0;

    ~WindowTest() override {
        window.reset();
        DeleteLaterNow();
        engine.reset();
        link.LinkClose();
    }

    void WriteConfig(const std::string& text) { engine::testing::WriteFile(configPath, text); }
    bool Saved(const std::string& line) const {
        return engine::testing::ReadFile(configPath).find(line + "\r\n") != std::string::npos;
    }

    // As the program starts: the window first, then Main, then showing.
    void Start() {
        engine = std::make_unique<engine::Engine>(
            engine::Engine::Dependencies{link, clock, sound, &random, &clock, configPath.string()});
        window = std::make_unique<frmMain>(*engine, *fileDialog);
        window->SetQuitHandler([this] { ++quits; });
        engine->Main();
        if (engine->state().window.loaded) {
            window->show();
        }
    }

    frmPreferences* OpenPreferences() {
        window->cmdDefault->click();
        return qobject_cast<frmPreferences*>(window->Preferences());
    }
    frmSystemSettings* OpenSystemSettings() {
        window->cmdSpecific->click();
        return qobject_cast<frmSystemSettings*>(window->SystemSettings());
    }
    static void TypeInto(QLineEdit* box, const QString& text) {
        box->selectAll();
        QTest::keyClicks(box, text);
    }
    QString Status() const { return window->txtMessage->text(); }
    QColor StatusColour() const { return window->txtMessage->palette().color(QPalette::Text); }
    void ExpectActivated(bool activated) {
        EXPECT_EQ(window->cmdActivate->isEnabled(), !activated);
        EXPECT_EQ(window->cmdDisable->isEnabled(), activated);
        EXPECT_EQ(engine->timer(engine::TimerId::FailureEvent).Enabled(), activated);
    }
    static void DeleteLaterNow() {
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
};

}  // namespace skyfault::ui
