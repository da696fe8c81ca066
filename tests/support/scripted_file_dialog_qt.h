#pragma once

#include <QString>
#include <QStringList>
#include <deque>

#include "ui/qt/file_dialog.h"

namespace skyfault::ui {

// The Qt windows' file dialog in their tests: answers at once from a script,
// and records what was asked. With an empty script it answers as a cancelled
// dialog (empty text).
class ScriptedFileDialog final : public FileDialog {
public:
    void Open(QWidget& /*parent*/, const QString& title, Chosen chosen) override {
        titlesAsked_.push_back(title);
        QString answer;
        if (!answers_.empty()) {
            answer = answers_.front();
            answers_.pop_front();
        }
        chosen(answer);
    }

    void Answer(const QString& path) { answers_.push_back(path); }
    const QStringList& TitlesAsked() const { return titlesAsked_; }

private:
    std::deque<QString> answers_;
    QStringList titlesAsked_;
};

}  // namespace skyfault::ui
