#pragma once

#include <QDialog>

#include "engine/system_settings.h"

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace skyfault::ui {

class frmMain;

// The System settings dialog: a view of `engine::SystemSettings`, which
// stores the edited system and does what the buttons do. Modeless and
// without owner; made at its first showing, hidden by OK, destroyed by
// Cancel (through the main window). Escape and the frame's close box are
// Cancel; no button answers the Enter key.
class frmSystemSettings final : public QDialog {
    Q_OBJECT

public:
    explicit frmSystemSettings(frmMain& main);
    ~frmSystemSettings() override;

    // Controls; each one's object name is its member's name.
    QLabel* lblSystemTitle = nullptr;
    QComboBox* cmbSystem = nullptr;
    QLabel* lblEnterFailureRate = nullptr;
    QLineEdit* txtSystemRate = nullptr;
    QLabel* lblShowTimePeriod = nullptr;
    QGroupBox* fraFailureCriteria = nullptr;
    QLabel* lblFailureNote = nullptr;
    QLabel* lblIAS = nullptr;
    QLineEdit* txtBegIAS = nullptr;
    QLineEdit* txtEndIAS = nullptr;
    QLabel* lblOAT = nullptr;
    QLineEdit* txtBegOAT = nullptr;
    QLineEdit* txtEndOAT = nullptr;
    QLabel* lblAltitude = nullptr;
    QLineEdit* txtBegAlt = nullptr;
    QLineEdit* txtEndAlt = nullptr;
    QLabel* lblSystemSound = nullptr;
    QLineEdit* txtSystemSound = nullptr;
    QPushButton* cmdSoundBrowse = nullptr;
    QPushButton* cmdOKSystemSettings = nullptr;
    QPushButton* cmdResetSystemSettings = nullptr;
    QPushButton* cmdCancelSystemSettings = nullptr;

public slots:
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void BuildControls();
    void ConnectControls();
    void Render();
    QLineEdit* BoxOf(engine::SystemBox box) const;

    void cmbSystem_Click(int position);
    void cmdOKSystemSettings_Click();
    void cmdResetSystemSettings_Click();
    void cmdCancelSystemSettings_Click();
    void cmdSoundBrowse_Click();

    frmMain& main_;
    engine::SystemSettings model_;
    bool rendering_ = false;
};

}  // namespace skyfault::ui
