#pragma once

// The one way every Windows-only file of the program reaches the system:
// <windows.h> without the macros that clash with the standard library (min,
// max) or with the Transport interface's member names (AddAtom,
// SendMessageTimeout: <windows.h> maps them to their ANSI or wide variants),
// and the text conversions every file and window call needs.
//
// Texts in memory are UTF-8 everywhere in the program (paths included); the
// system's wide-character calls take UTF-16. Only the configuration file's
// own text is 8-bit in the system's code page (settings/file_text.h).

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#undef AddAtom
#undef SendMessageTimeout

#include <string>
#include <string_view>

// Defined in the settings library (settings/file_text_win.cpp).
namespace skyfault::win32 {

// UTF-8 to UTF-16 for a wide-character call, and back. A byte sequence that
// is not UTF-8 becomes U+FFFD.
std::wstring Widen(std::string_view text);
std::string Narrow(std::wstring_view text);

// The system's text for an error code, in UTF-8, without the final period
// and line end ("system error N" where the system has none).
std::string SystemMessage(DWORD error);

}  // namespace skyfault::win32
