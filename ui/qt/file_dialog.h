#pragma once

#include <QString>
#include <QStringList>
#include <deque>

class QWidget;

namespace skyfault::ui {

// The platform's file-open dialog, as the dialogs' Browse buttons use it:
// the full path of the chosen file, or an empty text when the user cancels.
class FileDialog {
public:
    virtual ~FileDialog() = default;
    // No file-type filter; `title` may be empty (the platform's own title).
    virtual QString GetOpenFileName(QWidget* parent, const QString& title) = 0;
};

// QFileDialog, modal to its parent while it is open.
class QtFileDialog final : public FileDialog {
public:
    QString GetOpenFileName(QWidget* parent, const QString& title) override;
};

// A stand-in for tests: answers from a script, and records what was asked.
// With an empty script it answers as a cancelled dialog (empty text).
class ScriptedFileDialog final : public FileDialog {
public:
    QString GetOpenFileName(QWidget* parent, const QString& title) override;

    void Answer(const QString& path) { answers_.push_back(path); }
    const QStringList& TitlesAsked() const { return titlesAsked_; }

private:
    std::deque<QString> answers_;
    QStringList titlesAsked_;
};

}  // namespace skyfault::ui
