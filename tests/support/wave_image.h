#pragma once

// Wave file images for the tests of the sound reader and the players.

#include <cstdint>
#include <string>

namespace skyfault::testing {

// Appends `value` as `bytes` little-endian bytes.
inline void PutLE(std::string& out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    }
}

// A RIFF/WAVE image with the given format chunk fields and data bytes; the
// format chunk may be the extensible one, and an odd-sized chunk of other
// matter may stand before the data.
inline std::string WaveImage(std::uint16_t format, int channels, int rate, int bits,
                             const std::string& data, bool extensible = false,
                             bool oddChunkFirst = false) {
    std::string fmt;
    PutLE(fmt, extensible ? 0xFFFE : format, 2);
    PutLE(fmt, static_cast<std::uint32_t>(channels), 2);
    PutLE(fmt, static_cast<std::uint32_t>(rate), 4);
    PutLE(fmt, static_cast<std::uint32_t>(rate * channels * bits / 8), 4);
    PutLE(fmt, static_cast<std::uint32_t>(channels * bits / 8), 2);
    PutLE(fmt, static_cast<std::uint32_t>(bits), 2);
    if (extensible) {
        PutLE(fmt, 22, 2);
        PutLE(fmt, static_cast<std::uint32_t>(bits), 2);
        PutLE(fmt, 0, 4);
        PutLE(fmt, format, 2);
        fmt.append("\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 14);
    }
    std::string body = "WAVE";
    body += "fmt ";
    PutLE(body, fmt.size(), 4);
    body += fmt;
    if (oddChunkFirst) {
        body += "LIST";
        PutLE(body, 3, 4);
        body.append("abc\0", 4);  // padded to an even size
    }
    body += "data";
    PutLE(body, data.size(), 4);
    body += data;
    std::string file = "RIFF";
    PutLE(file, body.size(), 4);
    return file + body;
}

}  // namespace skyfault::testing
