// Text conversions on Windows: UTF-8 in memory, UTF-16 for the system's
// wide-character calls, and the ANSI code page for the configuration file's
// own text. Where the ANSI code page is UTF-8 itself (a system setting of
// Windows 10 and later), the file's text is the memory's.
#include "platform/win32.h"
#include "settings/file_text.h"

namespace skyfault {
namespace win32 {

namespace {

// 8-bit text of `codePage` in UTF-16.
std::wstring ToWide(std::string_view text, UINT codePage) {
    if (text.empty()) {
        return {};
    }
    const int size = static_cast<int>(text.size());
    const int length = MultiByteToWideChar(codePage, 0, text.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length > 0 ? length : 0), L'\0');
    if (length > 0) {
        MultiByteToWideChar(codePage, 0, text.data(), size, wide.data(), length);
    }
    return wide;
}

}  // namespace

std::wstring Widen(std::string_view text) {
    return ToWide(text, CP_UTF8);
}

std::string Narrow(std::wstring_view text) {
    if (text.empty()) {
        return {};
    }
    const int size = static_cast<int>(text.size());
    const int length =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<std::size_t>(length > 0 ? length : 0), '\0');
    if (length > 0) {
        WideCharToMultiByte(CP_UTF8, 0, text.data(), size, narrow.data(), length, nullptr, nullptr);
    }
    return narrow;
}

std::string SystemMessage(DWORD error) {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string message;
    if (length > 0 && text != nullptr) {
        message = Narrow(std::wstring_view(text, length));
    }
    if (text != nullptr) {
        LocalFree(text);
    }
    while (!message.empty() && (message.back() == '\r' || message.back() == '\n' ||
                                message.back() == ' ' || message.back() == '.')) {
        message.pop_back();
    }
    if (message.empty()) {
        message = "system error " + std::to_string(error);
    }
    return message;
}

}  // namespace win32

namespace {

bool AnsiIsUtf8() {
    return GetACP() == CP_UTF8;
}

// The ANSI bytes of a UTF-16 text; `exact` (when given) tells whether every
// character was there as itself, without a default or best-fit character.
std::string ToAnsi(const std::wstring& wide, bool* exact) {
    if (wide.empty()) {
        if (exact != nullptr) {
            *exact = true;
        }
        return {};
    }
    const int size = static_cast<int>(wide.size());
    BOOL usedDefault = FALSE;
    const DWORD flags = WC_NO_BEST_FIT_CHARS;
    const int length =
        WideCharToMultiByte(CP_ACP, flags, wide.data(), size, nullptr, 0, "?", &usedDefault);
    std::string bytes(static_cast<std::size_t>(length > 0 ? length : 0), '\0');
    if (length > 0) {
        WideCharToMultiByte(CP_ACP, flags, wide.data(), size, bytes.data(), length, "?",
                            &usedDefault);
    }
    if (exact != nullptr) {
        *exact = length > 0 && usedDefault == FALSE;
    }
    return bytes;
}

}  // namespace

std::string FileTextToUtf8(std::string_view bytes) {
    return AnsiIsUtf8() ? std::string(bytes) : win32::Narrow(win32::ToWide(bytes, CP_ACP));
}

std::string Utf8ToFileText(std::string_view text) {
    return AnsiIsUtf8() ? std::string(text) : ToAnsi(win32::Widen(text), nullptr);
}

bool FitsFileText(std::string_view text) {
    if (AnsiIsUtf8()) {
        return true;
    }
    const std::wstring wide = win32::Widen(text);
    bool exact = false;
    const std::string bytes = ToAnsi(wide, &exact);
    // Read back as the file will be: a character the code page only guesses
    // at (a best fit some systems still make) comes back as another one.
    return exact && win32::ToWide(bytes, CP_ACP) == wide;
}

}  // namespace skyfault
