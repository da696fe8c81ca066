#pragma once

#include <cstddef>
#include <string>

#include "ui/win32/window.h"

namespace skyfault::win32 {

class frmMain;

// The Failure Log window: this run's failures and repairs as the engine
// keeps them, one row per event and newest last; under them what the
// settings give in time, and the "Stop after" box of the limit per flight.
// Modeless and without owner; made at its first showing and only hidden
// (Close, Escape or the close box). The box commits on Enter or when it
// loses the focus; a refused text is said in a balloon at the box, which
// shows the limit in force again.
class frmFailureLog final : public Window {
public:
    explicit frmFailureLog(frmMain& main);
    ~frmFailureLog() override;

    // Redraws the list, the estimate and the box from the engine's state.
    void Refresh();

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void AfterLayout() override;

private:
    void BuildControls();
    void Command(int id, int notification);
    // The box's text goes to the engine; true when it was taken.
    bool CommitLimit(bool onEnter);
    void ShowLimit();
    LRESULT Notify(NMHDR& header);

    frmMain& main_;
    // What the list last showed: its length and its newest event's time.
    std::size_t rows_ = 0;
    double newest_ = -1;
    bool committing_ = false;
};

}  // namespace skyfault::win32
