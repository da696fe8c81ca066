#pragma once

#include <deque>
#include <string>
#include <vector>

#include "ui/win32/file_dialog.h"

namespace skyfault::win32 {

// The Win32 windows' file dialog in their tests: answers from a script, and
// records what was asked. With an empty script it answers as a cancelled
// dialog (empty text).
class ScriptedFileDialog final : public FileDialog {
public:
    std::string ChooseFile(HWND owner, const std::string& title) override {
        titlesAsked_.push_back(title);
        ownersAsked_.push_back(owner);
        if (answers_.empty()) {
            return {};
        }
        std::string answer = answers_.front();
        answers_.pop_front();
        return answer;
    }

    void Answer(const std::string& path) { answers_.push_back(path); }
    const std::vector<std::string>& TitlesAsked() const { return titlesAsked_; }
    const std::vector<HWND>& OwnersAsked() const { return ownersAsked_; }

private:
    std::deque<std::string> answers_;
    std::vector<std::string> titlesAsked_;
    std::vector<HWND> ownersAsked_;
};

}  // namespace skyfault::win32
