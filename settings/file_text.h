#pragma once

// The configuration file is 8-bit text in the system's code page, while the
// program holds every text (and every path) in UTF-8. On Windows the file's
// text is the ANSI code page's; elsewhere the file holds the bytes as they
// are and nothing is converted.

#include <string>
#include <string_view>

namespace skyfault {

// The file's bytes as UTF-8.
std::string FileTextToUtf8(std::string_view bytes);
// UTF-8 as the file's bytes. A character the code page cannot hold becomes
// "?": callers refuse such texts before they are stored (FitsFileText).
std::string Utf8ToFileText(std::string_view text);
// Whether the text can be written into the file and read back unchanged:
// every character exists in the code page as itself (no best-fit guess such
// as "e" for "é").
bool FitsFileText(std::string_view text);

}  // namespace skyfault
