#pragma once

#include <QDialog>
#include <array>

#include "engine/preferences.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace skyfault::ui {

class frmMain;

// The Preferences dialog: a view of `engine::Preferences`, which holds the
// boxes as edited and does what the buttons do. Modeless and without owner;
// made once with the main window and only hidden. Escape and the frame's
// close box are Cancel; no button answers the Enter key.
class frmPreferences final : public QDialog {
    Q_OBJECT

public:
    explicit frmPreferences(frmMain& main);
    ~frmPreferences() override;

    // Controls; each one's object name is its member's name.
    QGroupBox* fraFrequencySettings = nullptr;
    QLabel* lblEnterFailureRate = nullptr;
    QLineEdit* txtRateDenominator = nullptr;
    QLabel* lblIntervalDesc = nullptr;
    QLineEdit* txtInterval = nullptr;
    QLabel* lblDefaultSound = nullptr;
    QLineEdit* txtDefaultSound = nullptr;
    QPushButton* cmdDefaultBrowse = nullptr;
    QCheckBox* chkAudio = nullptr;
    QCheckBox* chkText = nullptr;
    QGroupBox* fraFuelLeakSpeed = nullptr;
    std::array<QRadioButton*, 3> optFuelLeakSpeed{};
    QCheckBox* chkPause = nullptr;
    QPushButton* cmdPrefsOK = nullptr;
    QPushButton* cmdPrefsCancel = nullptr;

public slots:
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void BuildControls();
    void ConnectControls();
    // Redraws every control from the model and follows its visibility.
    void Render();
    void PlaceIntervalBox();

    void cmdPrefsOK_Click();
    void cmdPrefsCancel_Click();
    void cmdDefaultBrowse_Click();
    void chkAudio_Click();
    void chkText_Click();
    void chkPause_Click();
    void optFuelLeakSpeed_Click(int index);

    frmMain& main_;
    engine::Preferences model_;
};

}  // namespace skyfault::ui
