#include "ui/qt/file_dialog.h"

#include <QFileDialog>

namespace skyfault::ui {

QString QtFileDialog::GetOpenFileName(QWidget* parent, const QString& title) {
    return QFileDialog::getOpenFileName(parent, title);
}

QString ScriptedFileDialog::GetOpenFileName(QWidget* /*parent*/, const QString& title) {
    titlesAsked_.push_back(title);
    if (answers_.empty()) {
        return {};
    }
    QString answer = answers_.front();
    answers_.pop_front();
    return answer;
}

}  // namespace skyfault::ui
