#include "ui/win32/window.h"

#include <commctrl.h>

#include <cstring>
#include <stdexcept>

#include "engine/captions.h"
#include "engine/front_end.h"
#include "ui/win32/resource.h"

namespace skyfault::win32 {

namespace {

HINSTANCE Instance() {
    return GetModuleHandleW(nullptr);
}

template <typename Function>
Function SystemFunction(const char* name) {
    const HMODULE user = GetModuleHandleW(L"user32.dll");
    return user == nullptr
               ? nullptr
               : reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(user, name)));
}

HFONT MakeFont(UINT dpi, bool bold) {
    LOGFONTW font{};
    font.lfHeight = -MulDiv(engine::caption::kPoints, static_cast<int>(dpi), 72);
    font.lfWeight = bold ? FW_BOLD : FW_NORMAL;
    font.lfCharSet = DEFAULT_CHARSET;
    font.lfQuality = CLEARTYPE_QUALITY;
    const std::wstring face = Widen(engine::caption::kTypeface);
    face.copy(font.lfFaceName, LF_FACESIZE - 1);
    return CreateFontIndirectW(&font);
}

bool IsOurs(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    for (const wchar_t* ours : {L"" SKYFAULT_CLASS_MAIN, L"" SKYFAULT_CLASS_PREFERENCES,
                                L"" SKYFAULT_CLASS_SYSTEM_SETTINGS, L"" SKYFAULT_CLASS_ABOUT,
                                L"" SKYFAULT_CLASS_FAILURE_LOG}) {
        if (std::wcscmp(name, ours) == 0) {
            return true;
        }
    }
    return false;
}

// A group box drawn here: its etched border, and its caption in the colours
// its window gives it through WM_CTLCOLORSTATIC (the system's own drawing
// does not take the text colour everywhere). The inside is left to the
// window's background, as with the system's group boxes.
LRESULT CALLBACK FrameProcedure(HWND frame, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                DWORD_PTR /*data*/) {
    if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(frame, &FrameProcedure, id);
    }
    if (message != WM_PAINT) {
        return DefSubclassProc(frame, message, wParam, lParam);
    }
    PAINTSTRUCT paint;
    const HDC dc = BeginPaint(frame, &paint);
    const HGDIOBJ oldFont =
        SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(frame, WM_GETFONT, 0, 0)));
    const auto brush = reinterpret_cast<HBRUSH>(SendMessageW(GetParent(frame), WM_CTLCOLORSTATIC,
                                                             reinterpret_cast<WPARAM>(dc),
                                                             reinterpret_cast<LPARAM>(frame)));
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    RECT client;
    GetClientRect(frame, &client);
    RECT border = client;
    border.top += metrics.tmHeight / 2;
    DrawEdge(dc, &border, EDGE_ETCHED, BF_RECT);
    const std::wstring caption = Widen(GetText(frame));
    if (!caption.empty()) {
        SIZE size{};
        GetTextExtentPoint32W(dc, caption.c_str(), static_cast<int>(caption.size()), &size);
        const int left = client.left + metrics.tmAveCharWidth;
        RECT label{left, client.top, left + size.cx + metrics.tmAveCharWidth,
                   client.top + metrics.tmHeight};
        if (brush != nullptr) {
            FillRect(dc, &label, brush);
        }
        SetBkMode(dc, TRANSPARENT);
        TextOutW(dc, left + metrics.tmAveCharWidth / 2, client.top, caption.c_str(),
                 static_cast<int>(caption.size()));
    }
    SelectObject(dc, oldFont);
    EndPaint(frame, &paint);
    return 0;
}

}  // namespace

std::string GetText(HWND window) {
    const int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(window, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
    return Narrow(text);
}

void SetText(HWND window, const std::string& text) {
    if (GetText(window) != text) {
        SetWindowTextW(window, Widen(text).c_str());
    }
}

UINT DpiOf(HWND window) {
    using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = SystemFunction<GetDpiForWindowFunction>("GetDpiForWindow");
    UINT dpi = 0;
    if (getDpiForWindow != nullptr && window != nullptr) {
        dpi = getDpiForWindow(window);
    }
    if (dpi == 0) {
        const HDC screen = GetDC(nullptr);
        dpi = static_cast<UINT>(GetDeviceCaps(screen, LOGPIXELSY));
        ReleaseDC(nullptr, screen);
    }
    return dpi == 0 ? 96 : dpi;
}

bool HandleDialogKeys(MSG& message) {
    if (message.hwnd == nullptr) {
        return false;
    }
    const HWND root = GetAncestor(message.hwnd, GA_ROOT);
    return root != nullptr && IsOurs(root) && IsDialogMessageW(root, &message) != FALSE;
}

Window::~Window() {
    if (hwnd_ != nullptr) {
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        DestroyWindow(hwnd_);
    }
    if (font_ != nullptr) {
        DeleteObject(font_);
    }
    if (bold_ != nullptr) {
        DeleteObject(bold_);
    }
}

void Window::Create(const char* className, const char* title, DWORD style, int clientWidth,
                    int clientHeight, HMENU menu) {
    const std::wstring wideClass = Widen(className);
    WNDCLASSEXW windowClass{};
    if (GetClassInfoExW(Instance(), wideClass.c_str(), &windowClass) == FALSE) {
        windowClass = {};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = &Window::Procedure;
        windowClass.hInstance = Instance();
        windowClass.hIcon = static_cast<HICON>(LoadImageW(
            Instance(), MAKEINTRESOURCEW(IDI_SKYFAULT), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE));
        windowClass.hIconSm = static_cast<HICON>(
            LoadImageW(Instance(), MAKEINTRESOURCEW(IDI_SKYFAULT), IMAGE_ICON,
                       GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
        windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        windowClass.lpszClassName = wideClass.c_str();
        if (RegisterClassExW(&windowClass) == 0) {
            if (menu != nullptr) {
                DestroyMenu(menu);
            }
            throw std::runtime_error("cannot register the window class " + std::string(className) +
                                     ": " + SystemMessage(GetLastError()));
        }
    }
    client_ = {clientWidth, clientHeight};
    // Top-level and without owner; the controls take part in keyboard navigation.
    if (CreateWindowExW(WS_EX_CONTROLPARENT, wideClass.c_str(), Widen(title).c_str(), style,
                        CW_USEDEFAULT, CW_USEDEFAULT, clientWidth, clientHeight, nullptr, menu,
                        Instance(), this) == nullptr) {
        const DWORD error = GetLastError();
        if (menu != nullptr) {
            DestroyMenu(menu);
        }
        throw std::runtime_error("cannot make the window " + std::string(className) + ": " +
                                 SystemMessage(error));
    }
    dpi_ = DpiOf(hwnd_);
    font_ = MakeFont(dpi_, false);
    bold_ = MakeFont(dpi_, true);
    Resize();
}

HWND Window::Add(const char* controlClass, const char* text, DWORD style, int id, int x, int y,
                 int width, int height, bool bold, DWORD exStyle) {
    const RECT rect{x, y, x + width, y + height};
    const HWND control = CreateWindowExW(
        exStyle, Widen(controlClass).c_str(), Widen(text).c_str(), WS_CHILD | WS_VISIBLE | style,
        Scale(x), Scale(y), Scale(width), Scale(height), hwnd_,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), Instance(), nullptr);
    if (control == nullptr) {
        throw std::runtime_error("cannot make the control " + std::to_string(id) + ": " +
                                 SystemMessage(GetLastError()));
    }
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(bold ? bold_ : font_), FALSE);
    placed_.push_back({control, rect, bold});
    return control;
}

HWND Window::AddFrame(const char* text, int id, int x, int y, int width, int height) {
    const HWND frame = Add("BUTTON", text, BS_GROUPBOX, id, x, y, width, height);
    if (SetWindowSubclass(frame, &FrameProcedure, 0, 0) == FALSE) {
        throw std::runtime_error("cannot draw the frame " + std::to_string(id));
    }
    return frame;
}

void Window::ApplyDpi(UINT dpi) {
    if (dpi == 0) {
        return;
    }
    dpi_ = dpi;
    const HFONT oldFont = font_;
    const HFONT oldBold = bold_;
    font_ = MakeFont(dpi_, false);
    bold_ = MakeFont(dpi_, true);
    for (const Placement& placed : placed_) {
        SendMessageW(placed.control, WM_SETFONT,
                     reinterpret_cast<WPARAM>(placed.bold ? bold_ : font_), FALSE);
        MoveWindow(placed.control, Scale(placed.rect.left), Scale(placed.rect.top),
                   Scale(placed.rect.right - placed.rect.left),
                   Scale(placed.rect.bottom - placed.rect.top), TRUE);
    }
    DeleteObject(oldFont);
    DeleteObject(oldBold);
    Resize();
    AfterLayout();
    InvalidateRect(hwnd_, nullptr, TRUE);
}

void Window::Resize() {
    RECT rect{0, 0, Scale(client_.cx), Scale(client_.cy)};
    const auto style = static_cast<DWORD>(GetWindowLongPtrW(hwnd_, GWL_STYLE));
    const auto exStyle = static_cast<DWORD>(GetWindowLongPtrW(hwnd_, GWL_EXSTYLE));
    const BOOL menu = GetMenu(hwnd_) != nullptr ? TRUE : FALSE;
    using AdjustFunction = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
    static const auto adjust = SystemFunction<AdjustFunction>("AdjustWindowRectExForDpi");
    if (adjust != nullptr) {
        adjust(&rect, style, menu, exStyle, dpi_);
    } else {
        AdjustWindowRectEx(&rect, style, menu, exStyle);
    }
    SetWindowPos(hwnd_, nullptr, 0, 0, rect.right - rect.left, rect.bottom - rect.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

namespace {

bool IsPushButton(HWND control) {
    return control != nullptr && (SendMessageW(control, WM_GETDLGCODE, 0, 0) &
                                  (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON)) != 0;
}

// The default-button look (the heavy border Enter would press) follows the
// focus among push buttons.
void SetDefaultLook(HWND control, bool on) {
    if (IsPushButton(control)) {
        SendMessageW(control, BM_SETSTYLE, on ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, TRUE);
    }
}

}  // namespace

void Window::FocusControl(HWND control) {
    if (control == nullptr || IsChild(hwnd_, control) == FALSE) {
        return;
    }
    focus_ = control;
    if (GetActiveWindow() != hwnd_) {
        return;  // given when the window is activated
    }
    const HWND old = GetFocus();
    if (old != control) {
        SetDefaultLook(old, false);
    }
    SetFocus(control);
    SetDefaultLook(control, true);
}

void Window::ShowRefusal(HWND box) {
    ShowRefusal(box, "Sound not kept", std::string(engine::kSoundPathRefused), true);
}

void Window::ShowRefusal(HWND box, const std::string& title, const std::string& text, bool focus) {
    MessageBeep(MB_ICONWARNING);
    if (focus) {
        FocusControl(box);
    }
    const std::wstring wideTitle = Widen(title);
    const std::wstring wideText = Widen(text);
    EDITBALLOONTIP balloon{};
    balloon.cbStruct = sizeof balloon;
    balloon.pszTitle = wideTitle.c_str();
    balloon.pszText = wideText.c_str();
    balloon.ttiIcon = TTI_WARNING;
    SendMessageW(box, EM_SHOWBALLOONTIP, 0, reinterpret_cast<LPARAM>(&balloon));
}

void Window::FocusFirstControl() {
    FocusControl(GetNextDlgTabItem(hwnd_, nullptr, FALSE));
}

void Window::Enable(HWND control, bool enabled) {
    if (control == nullptr || (IsWindowEnabled(control) != FALSE) == enabled) {
        return;
    }
    const bool hadFocus = GetFocus() == control || focus_ == control;
    if (enabled) {
        EnableWindow(control, TRUE);
        return;
    }
    EnableWindow(control, FALSE);
    SetDefaultLook(control, false);
    if (!hadFocus) {
        return;
    }
    const HWND next = GetNextDlgTabItem(hwnd_, control, FALSE);
    if (next == nullptr || next == control) {
        focus_ = nullptr;
        if (GetActiveWindow() == hwnd_) {
            SetFocus(hwnd_);
        }
        return;
    }
    FocusControl(next);
}

LRESULT Window::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_ACTIVATE) {
        // As the system's dialogs do: the focus is kept over a deactivation.
        if (LOWORD(wParam) == WA_INACTIVE) {
            const HWND focus = GetFocus();
            if (focus != nullptr && IsChild(hwnd_, focus) != FALSE) {
                focus_ = focus;
            }
        } else if (HIWORD(wParam) == 0) {  // not minimised
            if (focus_ == nullptr || IsChild(hwnd_, focus_) == FALSE ||
                IsWindowEnabled(focus_) == FALSE || IsWindowVisible(focus_) == FALSE) {
                focus_ = GetNextDlgTabItem(hwnd_, nullptr, FALSE);
            }
            if (focus_ != nullptr) {
                SetFocus(focus_);
                SetDefaultLook(focus_, true);
            } else {
                SetFocus(hwnd_);  // as the system does for a window without controls
            }
        }
        return 0;
    }
    if (message == WM_DPICHANGED) {
        const auto* suggested = reinterpret_cast<const RECT*>(lParam);
        SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        ApplyDpi(HIWORD(wParam));
        return 0;
    }
    return DefWindowProcW(hwnd_, message, wParam, lParam);
}

LRESULT CALLBACK Window::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<Window*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->hwnd_ = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<Window*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self == nullptr) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        self->hwnd_ = nullptr;
        return DefWindowProcW(window, message, wParam, lParam);
    }
    return self->HandleMessage(message, wParam, lParam);
}

}  // namespace skyfault::win32
