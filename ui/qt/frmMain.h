#pragma once

#include <QFont>
#include <QMainWindow>
#include <array>
#include <functional>
#include <memory>

#include "engine/front_end.h"
#include "settings/catalogue.h"

class QAction;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;

namespace skyfault::engine {
class Engine;
}  // namespace skyfault::engine

namespace skyfault::ui {

class FileDialog;
class frmAbout;
class frmFailureLog;
class frmPreferences;
class frmSystemSettings;

// The captions' typeface: Century Gothic where installed, else the
// platform's sans-serif.
QFont CaptionFont();

// Shows a box value (0, 1 or 2: engine::CheckStateOf) on a check box.
void ShowCheckValue(QCheckBox* box, int value);

// The main window: a view of the engine's window state and the place where
// the user's commands enter the engine. It adds no behaviour of its own.
class frmMain final : public QMainWindow {
    Q_OBJECT

public:
    frmMain(engine::Engine& engine, FileDialog& fileDialog, QWidget* parent = nullptr);
    ~frmMain() override;

    engine::Engine& Engine() { return engine_; }
    FileDialog& Files() { return fileDialog_; }

    // Redraws every control from the engine's state.
    void Refresh();
    // A dialog ended by its own controls, once its model let it go: hidden,
    // or destroyed (once the handler that ended it has returned) when
    // engine::DialogLifecycle says so. Safe to call from the dialog's handler.
    void DialogEnded(engine::DialogId dialog, engine::DialogEnd how);

    // Controls; each one's object name is its member's name.
    QGroupBox* fraStatus = nullptr;
    QLineEdit* txtMessage = nullptr;
    QPushButton* cmdActivate = nullptr;
    QPushButton* cmdDisable = nullptr;
    QPushButton* cmdDefault = nullptr;
    QPushButton* cmdSpecific = nullptr;
    QPushButton* btnExit = nullptr;
    QGroupBox* Frame1 = nullptr;
    QLabel* Image1 = nullptr;
    QGroupBox* fraCurrentSettings = nullptr;
    QLabel* lblRateHeading = nullptr;
    QLabel* lblRate = nullptr;
    QLabel* lblCheckInterval = nullptr;
    QLabel* lblInterval = nullptr;
    QLabel* lblAllowedFailures = nullptr;
    // The system frames, in kSystemFrames' order.
    std::array<QGroupBox*, kSystemFrames.size()> systemFrames{};
    std::array<QCheckBox*, kSystemCount> chkFailureType{};
    QMenu* mnuFile = nullptr;
    QAction* mnuFileDefault = nullptr;
    QAction* mnuSpecificSystems = nullptr;
    QAction* mnuFileExit = nullptr;
    QMenu* mnuFlight = nullptr;
    QAction* mnuFlightRepair = nullptr;
    QAction* mnuFlightLog = nullptr;
    QMenu* mnuHelp = nullptr;
    QAction* mnuHelpAbout = nullptr;

signals:
    // After every redraw from the engine's state (the dialogs follow it).
    void modelChanged();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildControls();
    void BuildMenus();
    void ConnectCommands();

    // Command handlers.
    void cmdActivate_Click();
    void cmdDisable_Click();
    void cmdDefault_Click();
    void cmdSpecific_Click();
    void btnExit_Click();
    void mnuFileDefault_Click() { cmdDefault_Click(); }
    void mnuSpecificSystems_Click() { cmdSpecific_Click(); }
    void mnuFileExit_Click();
    void mnuFlightRepair_Click();
    void mnuFlightLog_Click();
    void mnuHelpAbout_Click();
    void chkFailureType_Click(int index);
    void Form_Unload();

    static void ShowModeless(QWidget& window);
    QWidget* DialogWindow(engine::DialogId dialog) const;

    engine::Engine& engine_;
    FileDialog& fileDialog_;
    engine::DialogLifecycle dialogs_;
    std::unique_ptr<frmPreferences> frmPreferences_;
    std::unique_ptr<frmSystemSettings> frmSystemSettings_;
    std::unique_ptr<frmAbout> frmAbout_;
    std::unique_ptr<frmFailureLog> frmFailureLog_;
    bool unloaded_ = false;
};

}  // namespace skyfault::ui
