#include "sim/sim_core.h"

#include <cstring>

#include "link/codec.h"

namespace skyfault::sim {

namespace {

constexpr std::uint64_t kSpaceSize = 0x10000;

// Tank level for a percentage: percent * 128 * 65536.
constexpr std::uint32_t TankLevel(std::uint32_t percent) {
    return percent * 128u * 65536u;
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
    return link::GetLe32(b);
}

std::uint16_t OffsetSpace::ReadU16(std::uint32_t offset) const {
    std::uint8_t b[2];
    Read(offset, b, 2);
    return static_cast<std::uint16_t>(b[0] | (b[1] << 8));
}

void OffsetSpace::WriteU32(std::uint32_t offset, std::uint32_t value) {
    std::uint8_t b[4];
    link::PutLe32(b, value);
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
    while (pos + link::kTerminatorSize <= link::kBlockSpaceLimit) {
        std::uint8_t* record = block + pos;
        const std::uint32_t kind = link::GetLe32(record);
        if (kind == static_cast<std::uint32_t>(link::RecordKind::kEnd)) {
            break;
        }
        const bool read = kind == static_cast<std::uint32_t>(link::RecordKind::kRead);
        const bool write = kind == static_cast<std::uint32_t>(link::RecordKind::kWrite);
        const std::uint64_t header = read    ? link::kReadHeaderSize
                                     : write ? link::kWriteHeaderSize
                                             : 0;
        if (header == 0 || pos + header > link::kBlockSpaceLimit) {
            break;
        }
        const std::uint32_t offset = link::GetLe32(record + 4);
        const std::uint32_t size = link::GetLe32(record + 8);
        if (pos + header + size > link::kBlockSpaceLimit) {
            break;
        }
        std::uint8_t* data = record + header;
        if (read) {
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
