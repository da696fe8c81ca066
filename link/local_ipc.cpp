#include "link/local_ipc.h"

#include <algorithm>
#include <cstring>

#include "link/byte_order.h"

namespace skyfault::link::local {

namespace {

bool HasMagic(const std::uint8_t* bytes) {
    return std::equal(kMagic.begin(), kMagic.end(), bytes);
}

bool IsUpperHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

}  // namespace

std::array<std::uint8_t, kRequestFrameSize> EncodeRequest(const RequestFrame& frame) {
    std::array<std::uint8_t, kRequestFrameSize> bytes{};
    std::copy(kMagic.begin(), kMagic.end(), bytes.begin());
    PutLe32(&bytes[4], frame.sequence);
    PutLe32(&bytes[8], frame.message);
    PutLe32(&bytes[12], static_cast<std::uint32_t>(frame.wParam));
    PutLe32(&bytes[16], static_cast<std::uint32_t>(frame.lParam));
    // The name, a NUL right after it, blanks behind that. A name too long for
    // the field is cut so that the NUL always fits.
    std::uint8_t* field = &bytes[20];
    std::fill(field, field + kNameFieldSize, static_cast<std::uint8_t>(' '));
    const std::size_t length = std::min(frame.name.size(), kNameFieldSize - 1);
    std::memcpy(field, frame.name.data(), length);
    field[length] = 0;
    return bytes;
}

std::optional<RequestFrame> DecodeRequest(const std::uint8_t* bytes) {
    if (!HasMagic(bytes)) {
        return std::nullopt;
    }
    const std::uint8_t* field = bytes + 20;
    const std::uint8_t* end = std::find(field, field + kNameFieldSize, std::uint8_t{0});
    if (end == field + kNameFieldSize) {
        return std::nullopt;
    }
    RequestFrame frame;
    frame.sequence = GetLe32(bytes + 4);
    frame.message = GetLe32(bytes + 8);
    frame.wParam = static_cast<std::int32_t>(GetLe32(bytes + 12));
    frame.lParam = static_cast<std::int32_t>(GetLe32(bytes + 16));
    frame.name.assign(field, end);
    return frame;
}

std::array<std::uint8_t, kReplyFrameSize> EncodeReply(const ReplyFrame& frame) {
    std::array<std::uint8_t, kReplyFrameSize> bytes{};
    std::copy(kMagic.begin(), kMagic.end(), bytes.begin());
    PutLe32(&bytes[4], frame.sequence);
    PutLe32(&bytes[8], frame.answer);
    return bytes;
}

std::optional<ReplyFrame> DecodeReply(const std::uint8_t* bytes) {
    if (!HasMagic(bytes)) {
        return std::nullopt;
    }
    return ReplyFrame{GetLe32(bytes + 4), GetLe32(bytes + 8)};
}

std::uint32_t MessageNumber(std::string_view name) {
    std::uint32_t hash = 2166136261u;
    for (char c : name) {
        auto byte = static_cast<std::uint8_t>(c);
        if (byte >= 'a' && byte <= 'z') {
            byte = static_cast<std::uint8_t>(byte - 'a' + 'A');
        }
        hash ^= byte;
        hash *= 16777619u;
    }
    return 0xC000u + (hash % 0x4000u);
}

bool IsValidBlockName(std::string_view name) {
    constexpr std::string_view kPrefix = "FSASMLIB:IPC:";
    constexpr std::string_view kSuffix = ":1";
    if (name.size() < kPrefix.size() + 1 + kSuffix.size() ||
        name.size() > kPrefix.size() + 8 + kSuffix.size()) {
        return false;
    }
    if (name.substr(0, kPrefix.size()) != kPrefix ||
        name.substr(name.size() - kSuffix.size()) != kSuffix) {
        return false;
    }
    const std::string_view digits =
        name.substr(kPrefix.size(), name.size() - kPrefix.size() - kSuffix.size());
    return std::all_of(digits.begin(), digits.end(), IsUpperHexDigit);
}

}  // namespace skyfault::link::local
