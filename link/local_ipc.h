#pragma once

// The local transport's wire format and meeting place, shared by the
// client transport (link/transport_posix.cpp) and the simulator stand-in's
// server. Pure functions here; the POSIX calls live in the *_posix files.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace skyfault::link::local {

// Request frame: magic, sequence, message, wParam, lParam (5 x 4 bytes),
// then the 24-byte name field: 44 bytes in all.
inline constexpr std::size_t kNameFieldSize = 24;
inline constexpr std::size_t kRequestFrameSize = 20 + kNameFieldSize;
inline constexpr std::size_t kReplyFrameSize = 12;
inline constexpr std::array<std::uint8_t, 4> kMagic{'S', 'K', 'F', '1'};
inline constexpr std::uint32_t kSendTimeoutMs = 2000;

struct RequestFrame {
    std::uint32_t sequence = 0;
    std::uint32_t message = 0;
    std::int32_t wParam = 0;
    std::int32_t lParam = 0;
    std::string name;  // the block's name, without NUL and blanks
};

struct ReplyFrame {
    std::uint32_t sequence = 0;
    std::uint32_t answer = 0;
};

std::array<std::uint8_t, kRequestFrameSize> EncodeRequest(const RequestFrame& frame);
// Nothing when the magic is wrong or the name field has no NUL.
std::optional<RequestFrame> DecodeRequest(const std::uint8_t* bytes);
std::array<std::uint8_t, kReplyFrameSize> EncodeReply(const ReplyFrame& frame);
std::optional<ReplyFrame> DecodeReply(const std::uint8_t* bytes);

// 0xC000 + (FNV-1a-32(upper-cased name) mod 0x4000).
std::uint32_t MessageNumber(std::string_view name);

// "FSASMLIB:IPC:" + 1..8 upper-case hex digits + ":1".
bool IsValidBlockName(std::string_view name);

}  // namespace skyfault::link::local
