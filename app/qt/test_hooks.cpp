#include "app/qt/test_hooks.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QPixmap>
#include <QSocketNotifier>
#include <cstdio>

#include "ui/qt/frmMain.h"

namespace skyfault::app {

bool TestHooks::Wanted() {
    return qEnvironmentVariable("SKYFAULT_TEST_HOOKS") == QStringLiteral("1");
}

TestHooks::TestHooks(ui::frmMain& window) : window_(window) {
    connect(&window_, &ui::frmMain::modelChanged, this, &TestHooks::Report);
    input_ = std::make_unique<QFile>();
    if (input_->open(stdin, QIODevice::ReadOnly)) {
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
    const QByteArray line = input_->readLine();
    if (line.isEmpty()) {
        notifier_->setEnabled(false);  // end of input
        return;
    }
    Run(QString::fromUtf8(line).trimmed());
}

void TestHooks::Run(const QString& line) {
    const QString verb = line.section(QLatin1Char(' '), 0, 0);
    const QString argument = line.section(QLatin1Char(' '), 1);
    if (verb == QStringLiteral("grab") && !argument.isEmpty()) {
        // grab PATH [WINDOW]: the main window, or the shown top-level window
        // of that object name (frmAbout, ...).
        const QString path = argument.section(QLatin1Char(' '), 0, 0);
        const QString name = argument.section(QLatin1Char(' '), 1);
        QWidget* target = &window_;
        if (!name.isEmpty()) {
            target = nullptr;
            for (QWidget* top : QApplication::topLevelWidgets()) {
                if (top->objectName() == name && top->isVisible()) {
                    target = top;
                }
            }
        }
        if (target != nullptr && target->grab().save(path, "PNG")) {
            Print(QStringLiteral("done: ") + line);
        } else {
            Print(QStringLiteral("error: cannot save ") + argument);
        }
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

}  // namespace skyfault::app
