#pragma once

// The common ground of the program's five windows: a top-level window of a
// class of its own whose controls are placed in 96-dpi pixels and scaled,
// with the captions' typeface, to the DPI of the monitor the window is on.
// Texts are UTF-8 here and go to the system's wide-character calls. Focus
// behaves as in the system's dialogs: a window gives the focus back to the
// control that had it when it is activated again, and a control that is
// disabled while it has the focus hands it on to the next one.

#include <string>
#include <vector>

#include "platform/win32.h"

namespace skyfault::win32 {

// Messages the windows post to themselves.
inline constexpr UINT kUnloadDialogMessage = WM_APP + 1;  // wParam: engine::DialogId

// The text of a window or control.
std::string GetText(HWND window);
// Sets the text only when it differs (no change notification otherwise).
void SetText(HWND window, const std::string& text);
// The DPI of the monitor a window is on (96 where the system cannot tell).
UINT DpiOf(HWND window);
// Keyboard navigation (Tab, Escape, Enter, mnemonics) inside the program's
// windows; true when the message was consumed. Called by the message loop.
bool HandleDialogKeys(MSG& message);

class Window {
public:
    virtual ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    HWND hwnd() const { return hwnd_; }
    HWND Control(int id) const { return GetDlgItem(hwnd_, id); }
    // The DPI the window is laid out for.
    UINT Dpi() const { return dpi_; }
    // Lays the window out for `dpi` (also done on a move to another monitor).
    void ApplyDpi(UINT dpi);
    // The focus goes to `control` (a push button takes the default-button
    // look from the one that had it), now or, while the window is not
    // active, as soon as it is.
    void FocusControl(HWND control);
    // The first control of the tab order gets the focus (see FocusControl).
    void FocusFirstControl();
    // A sound box refused what it was given (engine::SoundPathFits): a
    // warning sound, and the reason in a balloon at the box, which keeps the
    // focus.
    void ShowRefusal(HWND box);
    // A box refused its text: a warning sound, and `text` in a balloon
    // titled `title` at the box, which gets the focus when `focus` is set.
    void ShowRefusal(HWND box, const std::string& title, const std::string& text, bool focus);
    // Enables or disables a control; a control that loses the focus this
    // way hands it on to the next control of the tab order.
    void Enable(HWND control, bool enabled);

protected:
    Window() = default;

    // Registers the class (once) and makes the window, hidden, with a client
    // area of the given size at 96 dpi. Throws std::runtime_error saying why
    // when the system refuses (so does Add).
    void Create(const char* className, const char* title, DWORD style, int clientWidth,
                int clientHeight, HMENU menu = nullptr);
    // A control at x, y, width, height in 96-dpi pixels.
    HWND Add(const char* controlClass, const char* text, DWORD style, int id, int x, int y,
             int width, int height, bool bold = false, DWORD exStyle = 0);
    // A group box whose caption takes the colours the window gives it.
    HWND AddFrame(const char* text, int id, int x, int y, int width, int height);
    int Scale(int value) const { return MulDiv(value, static_cast<int>(dpi_), 96); }
    HFONT Font() const { return font_; }

    virtual LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    // After the controls have been placed for a new DPI.
    virtual void AfterLayout() {}

private:
    struct Placement {
        HWND control;
        RECT rect;  // at 96 dpi
        bool bold;
    };

    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void Resize();

    HWND hwnd_ = nullptr;
    UINT dpi_ = 96;
    HFONT font_ = nullptr;
    HFONT bold_ = nullptr;
    std::vector<Placement> placed_;
    SIZE client_{};
    HWND focus_ = nullptr;  // the control to give the focus back to
};

}  // namespace skyfault::win32
