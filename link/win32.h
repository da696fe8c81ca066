#pragma once

// <windows.h> for the Windows-only files, without the macros that clash with
// the standard library (min, max) or with the Transport interface's member
// names (AddAtom, SendMessageTimeout: <windows.h> maps them to their ANSI or
// wide variants).

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#undef AddAtom
#undef SendMessageTimeout
