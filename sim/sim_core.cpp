#include "sim/sim_core.h"

#include <cstring>

namespace skyfault::sim {

namespace {

constexpr std::uint64_t kSpaceSize = 0x10000;
constexpr std::uint32_t kKindEnd = 0;
constexpr std::uint32_t kKindRead = 1;
constexpr std::uint32_t kKindWrite = 2;
constexpr std::uint64_t kReadHeader = 16;
constexpr std::uint64_t kWriteHeader = 12;

// Tank level for a percentage: percent * 128 * 65536.
constexpr std::uint32_t TankLevel(std::uint32_t percent) {
    return percent * 128u * 65536u;
}

std::uint32_t LoadU32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

}  // namespace

OffsetSpace::OffsetSpace() {
    WriteU32(offsets::kFsuipcVersion, kDefaultFsuipcVersion);
    SetSimCode(kDefaultSimCode);
    WriteU16(offsets::kPause, 0);
    WriteU32(offsets::kIndicatedAirspeed, 120u * 128u);
    WriteU16(offsets::kOutsideAirTemperature, static_cast<std::uint16_t>(15 * 256));
    WriteU16(offsets::kGroundAltitude, 100);
    WriteU32(offsets::kLeftTank, TankLevel(75));
    WriteU32(offsets::kRightTank, TankLevel(75));
    WriteU32(offsets::kCentreTank, TankLevel(75));
    WriteU32(offsets::kGear, 16383);
    WriteU32(offsets::kFlaps, 0);
    for (std::uint32_t mixture :
         {offsets::kMixture1, offsets::kMixture2, offsets::kMixture3, offsets::kMixture4}) {
        WriteU16(mixture, 16384);
    }
}

void OffsetSpace::Read(std::uint32_t offset, std::uint8_t* out, std::uint32_t size) const {
    for (std::uint64_t i = 0; i < size; ++i) {
        const std::uint64_t at = static_cast<std::uint64_t>(offset) + i;
        out[i] = at < kSpaceSize ? bytes_[static_cast<std::size_t>(at)] : 0;
    }
}

void OffsetSpace::Write(std::uint32_t offset, const std::uint8_t* in, std::uint32_t size) {
    for (std::uint64_t i = 0; i < size; ++i) {
        const std::uint64_t at = static_cast<std::uint64_t>(offset) + i;
        if (at >= kSpaceSize) {
            break;
        }
        bytes_[static_cast<std::size_t>(at)] = in[i];
    }
}

std::uint32_t OffsetSpace::ReadU32(std::uint32_t offset) const {
    std::uint8_t b[4];
    Read(offset, b, 4);
    return LoadU32(b);
}

std::uint16_t OffsetSpace::ReadU16(std::uint32_t offset) const {
    std::uint8_t b[2];
    Read(offset, b, 2);
    return static_cast<std::uint16_t>(b[0] | (b[1] << 8));
}

void OffsetSpace::WriteU32(std::uint32_t offset, std::uint32_t value) {
    const std::uint8_t b[4] = {
        static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
        static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
    Write(offset, b, 4);
}

void OffsetSpace::WriteU16(std::uint32_t offset, std::uint16_t value) {
    const std::uint8_t b[2] = {static_cast<std::uint8_t>(value),
                               static_cast<std::uint8_t>(value >> 8)};
    Write(offset, b, 2);
}

void OffsetSpace::SetSimCode(std::uint16_t simCode) {
    WriteU32(offsets::kSimVersion, kSimVersionMark | simCode);
}

std::uint32_t ProcessBlock(std::uint8_t* block, OffsetSpace& space,
                           const std::function<void(const WriteRecord&)>& onWrite) {
    return ProcessBlock(block, space, onWrite, {});
}

std::uint32_t ProcessBlock(std::uint8_t* block, OffsetSpace& space,
                           const std::function<void(const WriteRecord&)>& onWrite,
                           const std::function<void(std::uint32_t, std::uint32_t)>& onRead) {
    // Positions are 64-bit so that no size from the block can wrap them.
    std::uint64_t pos = 0;
    while (pos + 4 <= kUsableBlockSize) {
        std::uint8_t* record = block + pos;
        const std::uint32_t kind = LoadU32(record);
        if (kind == kKindEnd) {
            break;
        }
        const std::uint64_t header = kind == kKindRead    ? kReadHeader
                                     : kind == kKindWrite ? kWriteHeader
                                                          : 0;
        if (header == 0 || pos + header > kUsableBlockSize) {
            break;
        }
        const std::uint32_t offset = LoadU32(record + 4);
        const std::uint32_t size = LoadU32(record + 8);
        if (pos + header + size > kUsableBlockSize) {
            break;
        }
        std::uint8_t* data = record + header;
        if (kind == kKindRead) {
            space.Read(offset, data, size);
            if (onRead) {
                onRead(offset, size);
            }
        } else {
            space.Write(offset, data, size);
            if (onWrite) {
                onWrite(WriteRecord{offset, std::vector<std::uint8_t>(data, data + size)});
            }
        }
        pos += header + size;
    }
    return 1;
}

}  // namespace skyfault::sim
