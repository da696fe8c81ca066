#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace skyfault::sim {

// Offsets the stand-in gives starting values to.
namespace offsets {
inline constexpr std::uint32_t kPause = 0x0264;              // 2 bytes, 1 = paused
inline constexpr std::uint32_t kIndicatedAirspeed = 0x02BC;  // 4 bytes, knots * 128
inline constexpr std::uint32_t kMixture1 = 0x0890;           // 2 bytes, 16384 = full rich
inline constexpr std::uint32_t kMixture2 = 0x0928;
inline constexpr std::uint32_t kMixture3 = 0x09C0;
inline constexpr std::uint32_t kMixture4 = 0x0A58;
inline constexpr std::uint32_t kGroundAltitude = 0x0B4C;  // 2 bytes, metres
inline constexpr std::uint32_t kCentreTank = 0x0B74;      // 4 bytes, percent * 128 * 65536
inline constexpr std::uint32_t kLeftTank = 0x0B7C;
inline constexpr std::uint32_t kRightTank = 0x0B94;
inline constexpr std::uint32_t kFlaps = 0x0BDC;                  // 4 bytes, 0 = up
inline constexpr std::uint32_t kGear = 0x0BE8;                   // 4 bytes, 16383 = down
inline constexpr std::uint32_t kOutsideAirTemperature = 0x0E8C;  // 2 bytes, degC * 256
inline constexpr std::uint32_t kFsuipcVersion = 0x3304;          // 4 bytes
inline constexpr std::uint32_t kSimVersion = 0x3308;             // 4 bytes, 0xFADE0000 | sim code
}  // namespace offsets

inline constexpr std::uint32_t kDefaultFsuipcVersion = 0x40000000;
inline constexpr std::uint16_t kDefaultSimCode = 4;
inline constexpr std::uint32_t kSimVersionMark = 0xFADE0000;

// The simulator's 64 KiB offset space, little-endian values. Bytes past
// 0xFFFF do not exist: they read as 0 and writes to them are dropped.
class OffsetSpace final {
public:
    OffsetSpace();  // sensible starting values (see sim_core.cpp)

    void Read(std::uint32_t offset, std::uint8_t* out, std::uint32_t size) const;
    void Write(std::uint32_t offset, const std::uint8_t* in, std::uint32_t size);
    std::uint32_t ReadU32(std::uint32_t offset) const;
    std::uint16_t ReadU16(std::uint32_t offset) const;
    void WriteU32(std::uint32_t offset, std::uint32_t value);
    void WriteU16(std::uint32_t offset, std::uint16_t value);

    // Sets 0x3308 to 0xFADE0000 | simCode.
    void SetSimCode(std::uint16_t simCode);

private:
    std::array<std::uint8_t, 0x10000> bytes_{};
};

struct WriteRecord {
    std::uint32_t offset = 0;
    std::vector<std::uint8_t> data;
};

// Carries out the records of a request block (link/codec.h) in place: reads
// fill their data areas, writes change the offset space (and are reported to
// `onWrite`). Never looks past byte 32512 (link::kBlockSpaceLimit); a record of an unknown kind or
// one that would run past that ends the processing. Returns the answer
// value 1.
std::uint32_t ProcessBlock(std::uint8_t* block, OffsetSpace& space,
                           const std::function<void(const WriteRecord&)>& onWrite);

// The same, also reporting every read carried out (offset, size), in order.
std::uint32_t ProcessBlock(std::uint8_t* block, OffsetSpace& space,
                           const std::function<void(const WriteRecord&)>& onWrite,
                           const std::function<void(std::uint32_t, std::uint32_t)>& onRead);

}  // namespace skyfault::sim
