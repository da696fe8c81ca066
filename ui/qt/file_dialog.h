#pragma once

#include <QString>
#include <functional>
#include <string_view>

class QWidget;

namespace skyfault::ui {

// A box refused what it was given: `reason` in a tip at the box, which keeps
// the focus.
void ShowRefusal(QWidget& box, std::string_view reason);
// A sound box refused its path (engine::SoundPathFits).
void ShowSoundRefusal(QWidget& box);

// The platform's file-open dialog, as the dialogs' Browse buttons use it:
// the full path of the chosen file, or an empty text when the user cancels.
class FileDialog {
public:
    // Called once with the answer, on the user-interface thread.
    using Chosen = std::function<void(const QString& path)>;

    virtual ~FileDialog() = default;
    // Asks for a file over `parent` and returns without waiting: `chosen`
    // gets the answer once the user has given it. Only `parent` waits for
    // the answer; every other window, the main window above all, stays
    // usable meanwhile. When `parent` is destroyed first, the question goes
    // with it and `chosen` is never called. No file-type filter; `title` may
    // be empty (the platform's own title).
    virtual void Open(QWidget& parent, const QString& title, Chosen chosen) = 0;
};

// QFileDialog, modal to its parent window only.
class QtFileDialog final : public FileDialog {
public:
    void Open(QWidget& parent, const QString& title, Chosen chosen) override;
};

}  // namespace skyfault::ui
