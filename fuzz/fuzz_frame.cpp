// The local transport's server side on any request frame: the frame decoder
// and the block-name check that decide which file in the meeting directory
// the server opens. Any name the check accepts has the exact form
// "FSASMLIB:IPC:" + 1..8 upper-case hex digits + ":1", so it contains no '/'
// and no "..", and the path made from it stays inside the directory. A frame
// that decodes encodes back to the same frame.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "link/local_ipc.h"
#include "link/local_ipc_posix.h"

namespace {

namespace local = skyfault::link::local;

bool HasExactBlockForm(std::string_view name) {
    constexpr std::string_view kPrefix = "FSASMLIB:IPC:";
    constexpr std::string_view kSuffix = ":1";
    if (!name.starts_with(kPrefix) || !name.ends_with(kSuffix)) {
        return false;
    }
    const std::string_view digits =
        name.substr(kPrefix.size(), name.size() - kPrefix.size() - kSuffix.size());
    return digits.size() >= 1 && digits.size() <= 8 &&
           std::all_of(digits.begin(), digits.end(),
                       [](char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); });
}

void CheckName(std::string_view name) {
    if (!local::IsValidBlockName(name)) {
        return;
    }
    SKYFAULT_FUZZ_CHECK(HasExactBlockForm(name));
    SKYFAULT_FUZZ_CHECK(name.find('/') == std::string_view::npos);
    SKYFAULT_FUZZ_CHECK(name.find('\0') == std::string_view::npos);
    SKYFAULT_FUZZ_CHECK(name.find("..") == std::string_view::npos);
    const std::string directory = "/run/user/1000/skyfault-ipc";
    const std::string path = local::MeetingPath(directory, name);
    SKYFAULT_FUZZ_CHECK(path.rfind('/') == directory.size());
    SKYFAULT_FUZZ_CHECK(path.substr(0, directory.size()) == directory);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The input taken as a name of its own as well as the frame's name.
    CheckName(std::string_view(reinterpret_cast<const char*>(data), size));

    std::array<std::uint8_t, local::kRequestFrameSize> frame{};
    std::copy_n(data, std::min(size, frame.size()), frame.begin());
    const auto decoded = local::DecodeRequest(frame.data());
    if (!decoded) {
        return 0;
    }
    SKYFAULT_FUZZ_CHECK(decoded->name.size() < local::kNameFieldSize);
    SKYFAULT_FUZZ_CHECK(decoded->name.find('\0') == std::string::npos);
    CheckName(decoded->name);

    const auto again = local::DecodeRequest(local::EncodeRequest(*decoded).data());
    SKYFAULT_FUZZ_CHECK(again.has_value());
    SKYFAULT_FUZZ_CHECK(again->sequence == decoded->sequence);
    SKYFAULT_FUZZ_CHECK(again->message == decoded->message);
    SKYFAULT_FUZZ_CHECK(again->wParam == decoded->wParam);
    SKYFAULT_FUZZ_CHECK(again->lParam == decoded->lParam);
    SKYFAULT_FUZZ_CHECK(again->name == decoded->name);

    const auto reply = local::DecodeReply(frame.data());
    SKYFAULT_FUZZ_CHECK(reply.has_value());  // the same magic
    return 0;
}
