// What the Windows parts of this library share: paths are held as UTF-8
// and handed to the wide-character file API, and the system's messages are
// given as UTF-8 too.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace skyfault::win {

// `text` from `codePage` into UTF-16; nothing (an empty text) when it is
// not valid in that code page.
inline std::wstring Widen(std::string_view text, UINT codePage) {
    if (text.empty()) {
        return {};
    }
    const DWORD flags = codePage == CP_UTF8 ? MB_ERR_INVALID_CHARS : 0;
    const int size = static_cast<int>(text.size());
    const int length = MultiByteToWideChar(codePage, flags, text.data(), size, nullptr, 0);
    if (length <= 0) {
        return {};
    }
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(codePage, flags, text.data(), size, wide.data(), length);
    return wide;
}

// A path as the file API takes it: UTF-8, or, when it is not UTF-8, the
// ANSI code page's bytes (as older configuration files hold sound paths).
inline std::wstring WidePath(const std::string& path) {
    std::wstring wide = Widen(path, CP_UTF8);
    return wide.empty() ? Widen(path, CP_ACP) : wide;
}

inline std::string Narrow(std::wstring_view text, UINT codePage) {
    if (text.empty()) {
        return {};
    }
    const int size = static_cast<int>(text.size());
    const int length =
        WideCharToMultiByte(codePage, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    if (length <= 0) {
        return {};
    }
    std::string narrow(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(codePage, 0, text.data(), size, narrow.data(), length, nullptr, nullptr);
    return narrow;
}

inline std::string Utf8(std::wstring_view text) {
    return Narrow(text, CP_UTF8);
}

// The system's text for an error code, without its closing full stop.
inline std::string SystemMessage(DWORD error) {
    wchar_t text[512] = {};
    DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, error, 0, text, sizeof text / sizeof *text, nullptr);
    while (length > 0 && (text[length - 1] == L'\r' || text[length - 1] == L'\n' ||
                          text[length - 1] == L' ' || text[length - 1] == L'.')) {
        --length;
    }
    return length > 0 ? Utf8(std::wstring_view(text, length))
                      : "system error " + std::to_string(error);
}

}  // namespace skyfault::win
