#pragma once

#include <QObject>
#include <QString>
#include <memory>

class QFile;
class QSocketNotifier;
class QWidget;

namespace skyfault::ui {
class frmMain;
}  // namespace skyfault::ui

namespace skyfault::e2e {

// The hooks of the end-to-end tests' build of the program (skyfault-e2e),
// attached to its main window as it is first shown. They print every change
// of the title and of the status line to standard output ("title: ...",
// "status: red: ..."), and take commands from standard input, one a line:
//   trigger OBJECTNAME   clicks that button or menu item of the main window
//   rows                 prints each row of the Failure Log window as
//                        "row: " and its cells joined by " | "
// Each command is answered by "done: " and the command, or "error: ".
class TestHooks final : public QObject {
    Q_OBJECT

public:
    explicit TestHooks(ui::frmMain& window);
    ~TestHooks() override;

private:
    void Report();
    void ReadCommand();
    void Run(const QString& line);
    static QWidget* ShownWindow(const QString& name);
    static void Print(const QString& line);

    ui::frmMain& window_;
    QString title_;
    QString status_;
    std::unique_ptr<QFile> input_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace skyfault::e2e
