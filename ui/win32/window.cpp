#include "ui/win32/window.h"

#include <commctrl.h>

#include <cstring>

#include "ui/win32/resource.h"

namespace skyfault::win32 {

namespace {

HINSTANCE Instance() {
    return GetModuleHandleA(nullptr);
}

template <typename Function>
Function SystemFunction(const char* name) {
    const HMODULE user = GetModuleHandleA("user32.dll");
    return user == nullptr
               ? nullptr
               : reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(user, name)));
}

HFONT MakeFont(UINT dpi, bool bold) {
    LOGFONTA font{};
    font.lfHeight = -MulDiv(kCaptionPoints, static_cast<int>(dpi), 72);
    font.lfWeight = bold ? FW_BOLD : FW_NORMAL;
    font.lfCharSet = DEFAULT_CHARSET;
    font.lfQuality = CLEARTYPE_QUALITY;
    std::strncpy(font.lfFaceName, kCaptionTypeface, LF_FACESIZE - 1);
    return CreateFontIndirectA(&font);
}

bool IsOurs(HWND window) {
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    for (const char* ours : {SKYFAULT_CLASS_MAIN, SKYFAULT_CLASS_PREFERENCES,
                             SKYFAULT_CLASS_SYSTEM_SETTINGS, SKYFAULT_CLASS_ABOUT}) {
        if (std::strcmp(name, ours) == 0) {
            return true;
        }
    }
    return false;
}

// A group box drawn here: its etched border, and its caption in the colours
// its window gives it through WM_CTLCOLORSTATIC (the system's own drawing
// does not take the text colour everywhere). The inside is left to the
// window's background, as with the system's group boxes.
LRESULT CALLBACK FrameProcedure(HWND frame, UINT message, WPARAM wParam, LPARAM lParam,
                                UINT_PTR /*id*/, DWORD_PTR /*data*/) {
    if (message != WM_PAINT) {
        return DefSubclassProc(frame, message, wParam, lParam);
    }
    PAINTSTRUCT paint;
    const HDC dc = BeginPaint(frame, &paint);
    const HGDIOBJ oldFont =
        SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(frame, WM_GETFONT, 0, 0)));
    const auto brush = reinterpret_cast<HBRUSH>(SendMessageA(GetParent(frame), WM_CTLCOLORSTATIC,
                                                             reinterpret_cast<WPARAM>(dc),
                                                             reinterpret_cast<LPARAM>(frame)));
    TEXTMETRICA metrics{};
    GetTextMetricsA(dc, &metrics);
    RECT client;
    GetClientRect(frame, &client);
    RECT border = client;
    border.top += metrics.tmHeight / 2;
    DrawEdge(dc, &border, EDGE_ETCHED, BF_RECT);
    const std::string caption = GetText(frame);
    if (!caption.empty()) {
        SIZE size{};
        GetTextExtentPoint32A(dc, caption.c_str(), static_cast<int>(caption.size()), &size);
        const int left = client.left + metrics.tmAveCharWidth;
        RECT label{left, client.top, left + size.cx + metrics.tmAveCharWidth,
                   client.top + metrics.tmHeight};
        if (brush != nullptr) {
            FillRect(dc, &label, brush);
        }
        SetBkMode(dc, TRANSPARENT);
        TextOutA(dc, left + metrics.tmAveCharWidth / 2, client.top, caption.c_str(),
                 static_cast<int>(caption.size()));
    }
    SelectObject(dc, oldFont);
    EndPaint(frame, &paint);
    return 0;
}

}  // namespace

std::string GetText(HWND window) {
    const int length = GetWindowTextLengthA(window);
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    const int copied = GetWindowTextA(window, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
    return text;
}

void SetText(HWND window, const std::string& text) {
    if (GetText(window) != text) {
        SetWindowTextA(window, text.c_str());
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
    return root != nullptr && IsOurs(root) && IsDialogMessageA(root, &message) != FALSE;
}

Window::~Window() {
    if (hwnd_ != nullptr) {
        SetWindowLongPtrA(hwnd_, GWLP_USERDATA, 0);
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
    WNDCLASSEXA windowClass{};
    if (GetClassInfoExA(Instance(), className, &windowClass) == FALSE) {
        windowClass = {};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = &Window::Procedure;
        windowClass.hInstance = Instance();
        windowClass.hIcon = static_cast<HICON>(LoadImageA(
            Instance(), MAKEINTRESOURCEA(IDI_SKYFAULT), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE));
        windowClass.hIconSm = static_cast<HICON>(
            LoadImageA(Instance(), MAKEINTRESOURCEA(IDI_SKYFAULT), IMAGE_ICON,
                       GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
        windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        windowClass.lpszClassName = className;
        RegisterClassExA(&windowClass);
    }
    client_ = {clientWidth, clientHeight};
    // Top-level and without owner; the controls take part in keyboard navigation.
    CreateWindowExA(WS_EX_CONTROLPARENT, className, title, style, CW_USEDEFAULT, CW_USEDEFAULT,
                    clientWidth, clientHeight, nullptr, menu, Instance(), this);
    dpi_ = DpiOf(hwnd_);
    font_ = MakeFont(dpi_, false);
    bold_ = MakeFont(dpi_, true);
    Resize();
}

HWND Window::Add(const char* controlClass, const char* text, DWORD style, int id, int x, int y,
                 int width, int height, bool bold, DWORD exStyle) {
    const RECT rect{x, y, x + width, y + height};
    const HWND control =
        CreateWindowExA(exStyle, controlClass, text, WS_CHILD | WS_VISIBLE | style, Scale(x),
                        Scale(y), Scale(width), Scale(height), hwnd_,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), Instance(), nullptr);
    SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(bold ? bold_ : font_), FALSE);
    placed_.push_back({control, rect, bold});
    return control;
}

HWND Window::AddFrame(const char* text, int id, int x, int y, int width, int height) {
    const HWND frame = Add("BUTTON", text, BS_GROUPBOX, id, x, y, width, height);
    SetWindowSubclass(frame, &FrameProcedure, 0, 0);
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
        SendMessageA(placed.control, WM_SETFONT,
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
    const auto style = static_cast<DWORD>(GetWindowLongPtrA(hwnd_, GWL_STYLE));
    const auto exStyle = static_cast<DWORD>(GetWindowLongPtrA(hwnd_, GWL_EXSTYLE));
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

LRESULT Window::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DPICHANGED) {
        const auto* suggested = reinterpret_cast<const RECT*>(lParam);
        SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        ApplyDpi(HIWORD(wParam));
        return 0;
    }
    return DefWindowProcA(hwnd_, message, wParam, lParam);
}

LRESULT CALLBACK Window::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<Window*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
        self->hwnd_ = window;
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<Window*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (self == nullptr) {
        return DefWindowProcA(window, message, wParam, lParam);
    }
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrA(window, GWLP_USERDATA, 0);
        self->hwnd_ = nullptr;
        return DefWindowProcA(window, message, wParam, lParam);
    }
    return self->HandleMessage(message, wParam, lParam);
}

}  // namespace skyfault::win32
