// The hooks of the end-to-end tests' build of the program (skyfault-e2e),
// attached to its main window as it is first shown. They print every change
// of the title and of the status line to standard output ("title: ...",
// "status: red: ..."), and take commands from standard input, one a line:
//   trigger OBJECTNAME   triggers that menu item of the main window
//   rows                 prints each row of the Failure Log window as
//                        "row: " and its cells joined by " | "
// Each command is answered by "done: " and the command, or "error: ".

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QFile>
#include <QLineEdit>
#include <QSocketNotifier>
#include <QTreeWidget>
#include <algorithm>
#include <cstdio>
#include <memory>

#include "ui/qt/frmFailureLog.h"
#include "ui/qt/frmMain.h"

namespace skyfault::e2e {
namespace {

void Print(const QString& line) {
    std::fputs(line.toUtf8().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

class TestHooks final : public QObject {
public:
    // Watches the application's events until the main window is first shown,
    // and attaches to it then: the program's own start-up stays as it ships,
    // and what it said before is printed as the first report.
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show && window_ == nullptr &&
            (window_ = qobject_cast<ui::frmMain*>(watched)) != nullptr) {
            QCoreApplication::instance()->removeEventFilter(this);
            connect(window_, &ui::frmMain::modelChanged, this, &TestHooks::Report);
            if (input_.open(0, QIODevice::ReadOnly)) {
                notifier_ = std::make_unique<QSocketNotifier>(0, QSocketNotifier::Read);
                connect(notifier_.get(), &QSocketNotifier::activated, this,
                        &TestHooks::ReadCommand);
            }
            Report();
        }
        return false;
    }

private:
    void Report() {
        const QString title = window_->windowTitle();
        if (title != title_) {
            title_ = title;
            Print(QStringLiteral("title: ") + title);
        }
        const bool red = window_->txtMessage->palette().color(QPalette::Text) == QColor(255, 0, 0);
        const QString status = (red ? QStringLiteral("red: ") : QStringLiteral("black: ")) +
                               window_->txtMessage->text();
        if (status != status_) {
            status_ = status;
            Print(QStringLiteral("status: ") + status);
        }
    }

    void ReadCommand() {
        // Every whole line read: lines that came together wait in the file's
        // buffer, where the notifier does not see them.
        do {
            const QByteArray line = input_.readLine();
            if (line.isEmpty()) {
                notifier_->setEnabled(false);  // end of input
                return;
            }
            Run(QString::fromUtf8(line).trimmed());
        } while (input_.canReadLine());
    }

    void Run(const QString& line) {
        const QString verb = line.section(QLatin1Char(' '), 0, 0);
        const QString argument = line.section(QLatin1Char(' '), 1);
        if (verb == QStringLiteral("rows")) {
            const QWidgetList tops = QApplication::topLevelWidgets();
            const auto log = std::find_if(tops.begin(), tops.end(), [](QWidget* top) {
                return top->isVisible() && qobject_cast<ui::frmFailureLog*>(top) != nullptr;
            });
            if (log == tops.end()) {
                return Print(QStringLiteral("error: the Failure Log is not shown"));
            }
            const QTreeWidget* list = qobject_cast<ui::frmFailureLog*>(*log)->lvwEvents;
            for (int row = 0; row < list->topLevelItemCount(); ++row) {
                QStringList cells;
                for (int column = 0; column < list->columnCount(); ++column) {
                    cells << list->topLevelItem(row)->text(column);
                }
                Print(QStringLiteral("row: ") + cells.join(QStringLiteral(" | ")));
            }
            return Print(QStringLiteral("done: ") + line);
        }
        if (verb == QStringLiteral("trigger")) {
            auto* action = window_->findChild<QAction*>(argument);
            if (action == nullptr || argument.isEmpty()) {
                return Print(QStringLiteral("error: no menu item ") + argument);
            }
            Print(QStringLiteral("done: ") + line);
            return action->trigger();
        }
        Print(QStringLiteral("error: unknown command ") + line);
    }

    ui::frmMain* window_ = nullptr;
    QString title_;
    QString status_;
    QFile input_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

// Owned by the application, which destroys it at its end.
void InstallHooks() {
    auto* hooks = new TestHooks;
    hooks->setParent(QCoreApplication::instance());
    QCoreApplication::instance()->installEventFilter(hooks);
}
Q_COREAPP_STARTUP_FUNCTION(InstallHooks)

}  // namespace
}  // namespace skyfault::e2e
