#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace skyfault::ui {

class frmMain;

// The Failure Log window: this run's failures and repairs, newest last, what
// the settings in force give in time, and the limit per flight. A view of the
// engine's state, redrawn on each of its changes. Modeless and without owner;
// made at its first showing and only hidden (Close, Escape, the close box).
// The limit's box hands its text to the engine on Enter and when it loses
// the focus; no button answers the Enter key.
class frmFailureLog final : public QDialog {
    Q_OBJECT

public:
    explicit frmFailureLog(frmMain& main);
    ~frmFailureLog() override;

    // Controls; each one's object name is its member's name.
    QTreeWidget* lvwEvents = nullptr;
    QLabel* lblEstimate = nullptr;
    QLabel* lblStopAfter = nullptr;
    QLineEdit* txtMaxFailures = nullptr;
    QLabel* lblNoLimit = nullptr;
    QPushButton* cmdClose = nullptr;

public slots:
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void BuildControls();
    // Redraws from the engine's state while shown.
    void Render();
    void RenderEvents();
    void ShowLimit();

    void txtMaxFailures_Commit();
    void cmdClose_Click();

    frmMain& main_;
};

}  // namespace skyfault::ui
