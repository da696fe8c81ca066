// The configuration file's text on POSIX systems: the bytes as they are.
#include "settings/file_text.h"

namespace skyfault {

std::string FileTextToUtf8(std::string_view bytes) {
    return std::string(bytes);
}

std::string Utf8ToFileText(std::string_view text) {
    return std::string(text);
}

bool FitsFileText(std::string_view /*text*/) {
    return true;
}

}  // namespace skyfault
