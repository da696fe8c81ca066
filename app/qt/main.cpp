// Skyfault's entry: builds the engine over the platform's link transport,
// Qt timers and the Qt sound player, runs Main (which loads the main window
// and reads skyfault.cfg from the folder it starts in,
// whatever the current folder later becomes), shows the window and runs
// the event loop until the window is unloaded. SIGTERM, SIGINT and SIGHUP
// unload it as its close box does: the link is closed and nothing is saved.
// A second start in the same user session says that Skyfault is already
// running, has the first one's window brought forward, and ends.
#include <QApplication>
#include <QFileSystemWatcher>
#include <QMessageBox>
#include <cstdio>

#include "app/qt/end_signals.h"
#include "engine/engine.h"
#include "engine/front_end.h"
#include "engine/program_core.h"
#include "settings/instance_lock.h"
#include "ui/qt/file_dialog.h"
#include "ui/qt/frmMain.h"
#include "ui/qt/qt_sound_player.h"
#include "ui/qt/qt_timer.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QString::fromUtf8(skyfault::engine::kApplicationTitle));
    // The program ends only when the main window is unloaded.
    QApplication::setQuitOnLastWindowClosed(false);

    // One Skyfault per user session: a second would fail systems twice and
    // race the first one's saves.
    const skyfault::InstanceLock instance;
    if (instance.heldElsewhere()) {
        instance.Knock();  // the first one comes forward
        std::fprintf(stderr, "%s\n", skyfault::engine::kAlreadyRunning);
        QMessageBox::information(nullptr, QString::fromUtf8(skyfault::engine::kApplicationTitle),
                                 QString::fromUtf8(skyfault::engine::kAlreadyRunning));
        return 1;
    }

    skyfault::ui::QtTimerFactory timers;
    skyfault::ui::QtSoundPlayer sound;
    skyfault::engine::ProgramCore core(timers, sound);
    skyfault::engine::Engine& engine = core.engine();

    skyfault::ui::QtFileDialog files;
    skyfault::ui::frmMain window(engine, files);
    // A second start knocks on the lock file: this window comes forward.
    QFileSystemWatcher knocks;
    if (!instance.knockPath().empty()) {
        knocks.addPath(QString::fromStdString(instance.knockPath()));
    }
    QObject::connect(&knocks, &QFileSystemWatcher::fileChanged, &window, [&window] {
        if (window.isVisible()) {
            window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
            window.raise();
            window.activateWindow();
        }
    });

    // Before the link opens its block: from here on a signal to end runs the
    // close box's ending on this thread, through the engine's Unload.
    const skyfault::app::EndSignals endSignals([&window] { window.close(); });

    engine.Main();
    if (engine.state().window.loaded) {
        window.show();
    }
    const int code = QApplication::exec();
    core.link().LinkClose();  // the link is closed before anything else ends (again, if Unload did)
    return code;
}
