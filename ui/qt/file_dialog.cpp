#include "ui/qt/file_dialog.h"

#include "engine/front_end.h"

#include <QApplication>
#include <QFileDialog>
#include <QToolTip>
#include <utility>

namespace skyfault::ui {

void ShowRefusal(QWidget& box, std::string_view reason) {
    QApplication::beep();
    box.setFocus();
    QToolTip::showText(box.mapToGlobal(QPoint(0, box.height())),
                       QString::fromUtf8(reason.data(), static_cast<qsizetype>(reason.size())),
                       &box);
}

void ShowSoundRefusal(QWidget& box) {
    ShowRefusal(box, engine::kSoundPathRefused);
}

void QtFileDialog::Open(QWidget& parent, const QString& title, Chosen chosen) {
    // A child of `parent`, so that it is destroyed with it; it deletes itself
    // once answered. Window-modal: it blocks `parent` (and the windows that
    // own it) but no other window, and open() returns at once instead of
    // running an event loop of its own.
    auto* dialog = new QFileDialog(&parent, title);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setWindowModality(Qt::WindowModal);
    QObject::connect(
        dialog, &QDialog::finished, dialog, [dialog, chosen = std::move(chosen)](int result) {
            const QStringList files = dialog->selectedFiles();
            chosen(result == QDialog::Accepted && !files.isEmpty() ? files.front() : QString());
        });
    dialog->open();
}

}  // namespace skyfault::ui
