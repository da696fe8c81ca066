#pragma once

// Wave file images for the tests of the sound reader and the players.

#include <cstdint>
#include <initializer_list>
#include <string>

namespace skyfault::testing {

// Each value as `bytes` little-endian bytes.
inline std::string Le(std::initializer_list<std::uint64_t> values, int bytes) {
    std::string out;
    for (const std::uint64_t value : values) {
        for (int i = 0; i < bytes; ++i) {
            out.push_back(static_cast<char>(value >> (8 * i)));
        }
    }
    return out;
}

// A RIFF/WAVE image with the given format chunk fields and data bytes; the
// format chunk may be the extensible one, and an odd-sized chunk of other
// matter may stand before the data.
inline std::string WaveImage(std::uint16_t format, int channels, int rate, int bits,
                             const std::string& data, bool extensible = false,
                             bool oddChunkFirst = false) {
    const auto u = [](std::int64_t v) { return static_cast<std::uint64_t>(v); };
    std::string fmt = Le({extensible ? 0xFFFEu : format, u(channels)}, 2) +
                      Le({u(rate), u(rate * channels * bits / 8)}, 4) +
                      Le({u(channels * bits / 8), u(bits)}, 2);
    if (extensible) {  // the sub-format: the plain code, then a fixed tail
        fmt += Le({22, u(bits)}, 2) + Le({0}, 4) + Le({format}, 2) +
               std::string("\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 14);
    }
    std::string body = "WAVEfmt " + Le({fmt.size()}, 4) + fmt;
    if (oddChunkFirst) {
        body += "LIST" + Le({3}, 4) + std::string("abc\0", 4);  // padded to an even size
    }
    body += "data" + Le({data.size()}, 4) + data;
    return "RIFF" + Le({body.size()}, 4) + body;
}

}  // namespace skyfault::testing
