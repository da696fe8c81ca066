#include "tests/e2e/test_hooks.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QFile>
#include <QLineEdit>
#include <QSocketNotifier>
#include <QTreeWidget>
#include <cstdio>

#include "ui/qt/frmFailureLog.h"
#include "ui/qt/frmMain.h"

namespace skyfault::e2e {

namespace {

// Watches the application's events until the main window is first shown,
// and attaches the hooks to it then: the program's own start-up stays as it
// ships, and what it said before is printed as the hooks' first report.
class Attacher final : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show && !hooks_) {
            if (auto* window = qobject_cast<ui::frmMain*>(watched)) {
                hooks_ = std::make_unique<TestHooks>(*window);
                QCoreApplication::instance()->removeEventFilter(this);
            }
        }
        return false;
    }

private:
    std::unique_ptr<TestHooks> hooks_;
};

void InstallAttacher() {
    // Owned by the application, which destroys it (and the hooks) at its end.
    auto* attacher = new Attacher;
    attacher->setParent(QCoreApplication::instance());
    QCoreApplication::instance()->installEventFilter(attacher);
}
Q_COREAPP_STARTUP_FUNCTION(InstallAttacher)

}  // namespace

TestHooks::TestHooks(ui::frmMain& window) : window_(window) {
    connect(&window_, &ui::frmMain::modelChanged, this, &TestHooks::Report);
    input_ = std::make_unique<QFile>();
    if (input_->open(0, QIODevice::ReadOnly)) {
        notifier_ = std::make_unique<QSocketNotifier>(0, QSocketNotifier::Read);
        connect(notifier_.get(), &QSocketNotifier::activated, this, &TestHooks::ReadCommand);
    }
    Report();
}

TestHooks::~TestHooks() = default;

void TestHooks::Print(const QString& line) {
    std::fputs(line.toUtf8().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void TestHooks::Report() {
    const QString title = window_.windowTitle();
    if (title != title_) {
        title_ = title;
        Print(QStringLiteral("title: ") + title);
    }
    const bool red = window_.txtMessage->palette().color(QPalette::Text) == QColor(255, 0, 0);
    const QString status =
        (red ? QStringLiteral("red: ") : QStringLiteral("black: ")) + window_.txtMessage->text();
    if (status != status_) {
        status_ = status;
        Print(QStringLiteral("status: ") + status);
    }
}

void TestHooks::ReadCommand() {
    // Every whole line read: lines that came together wait in the file's
    // buffer, where the notifier does not see them.
    do {
        const QByteArray line = input_->readLine();
        if (line.isEmpty()) {
            notifier_->setEnabled(false);  // end of input
            return;
        }
        Run(QString::fromUtf8(line).trimmed());
    } while (input_->canReadLine());
}

// The shown top-level window of that object name; nullptr when there is none.
QWidget* TestHooks::ShownWindow(const QString& name) {
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (top->objectName() == name && top->isVisible()) {
            return top;
        }
    }
    return nullptr;
}

void TestHooks::Run(const QString& line) {
    const QString verb = line.section(QLatin1Char(' '), 0, 0);
    const QString argument = line.section(QLatin1Char(' '), 1);
    if (verb == QStringLiteral("rows")) {
        auto* log = qobject_cast<ui::frmFailureLog*>(ShownWindow(QStringLiteral("frmFailureLog")));
        if (log == nullptr) {
            Print(QStringLiteral("error: the Failure Log is not shown"));
            return;
        }
        for (int row = 0; row < log->lvwEvents->topLevelItemCount(); ++row) {
            QStringList cells;
            for (int column = 0; column < log->lvwEvents->columnCount(); ++column) {
                cells << log->lvwEvents->topLevelItem(row)->text(column);
            }
            Print(QStringLiteral("row: ") + cells.join(QStringLiteral(" | ")));
        }
        Print(QStringLiteral("done: ") + line);
        return;
    }
    if (verb == QStringLiteral("trigger") && !argument.isEmpty()) {
        if (auto* action = window_.findChild<QAction*>(argument)) {
            Print(QStringLiteral("done: ") + line);
            action->trigger();
            return;
        }
        if (auto* button = window_.findChild<QAbstractButton*>(argument)) {
            Print(QStringLiteral("done: ") + line);
            button->click();
            return;
        }
        Print(QStringLiteral("error: no control ") + argument);
        return;
    }
    Print(QStringLiteral("error: unknown command ") + line);
}

}  // namespace skyfault::e2e
