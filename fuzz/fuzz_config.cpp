// The configuration reader on any bytes (also UTF-16 and UTF-8 after a
// byte-order mark): no crash and no hang, and what the
// writer makes of a file read is a fixed point after one round: reading the
// written file back and writing it again gives the same bytes.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "settings/config.h"
#include "settings/model.h"

namespace {

// The model a file is applied to: the program's state before the window
// loads, as the reader finds it; the file's bytes as text, as loading gives
// them (a byte-order mark decoded).
std::string ReadThenWrite(std::string_view bytes) {
    skyfault::Settings settings;
    skyfault::ApplyConfig(settings, skyfault::TextOfFile(bytes));
    return skyfault::WriteCFG(settings);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    // Every entry the reader returns is one the model can take.
    for (const skyfault::ConfigEntry& entry : skyfault::ReadCFG(bytes)) {
        SKYFAULT_FUZZ_CHECK(entry.text.find_first_of("\r\n") == std::string::npos);
        SKYFAULT_FUZZ_CHECK(entry.number >= 0 && entry.number <= 2);
        SKYFAULT_FUZZ_CHECK(entry.index >= -1 && entry.index < skyfault::kSlotCount);
    }

    const std::string once = ReadThenWrite(bytes);
    const std::string twice = ReadThenWrite(once);
    SKYFAULT_FUZZ_CHECK(once == twice);
    // The written file is made of whole CR LF lines.
    SKYFAULT_FUZZ_CHECK(once.size() >= 2 && once.substr(once.size() - 2) == "\r\n");
    return 0;
}
