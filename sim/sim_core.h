#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace skyfault::sim {

// The simulator's 64 KiB offset space, little-endian values.
class OffsetSpace final {
public:
    OffsetSpace();  // sensible starting values (see sim_core.cpp)

    void Read(std::uint32_t offset, std::uint8_t* out, std::uint32_t size) const;
    void Write(std::uint32_t offset, const std::uint8_t* in, std::uint32_t size);
    std::uint32_t ReadU32(std::uint32_t offset) const;
    std::uint16_t ReadU16(std::uint32_t offset) const;
    void WriteU32(std::uint32_t offset, std::uint32_t value);
    void WriteU16(std::uint32_t offset, std::uint16_t value);

private:
    std::array<std::uint8_t, 0x10000> bytes_{};
};

struct WriteRecord {
    std::uint32_t offset = 0;
    std::vector<std::uint8_t> data;
};

// Carries out the records of a request block in place: reads fill their
// data areas, writes change the offset space (and are reported to
// `onWrite`). Never looks past byte 32512; a record of an unknown kind or
// one that would run past that ends the processing. Returns the answer
// value 1.
std::uint32_t ProcessBlock(std::uint8_t* block, OffsetSpace& space,
                           const std::function<void(const WriteRecord&)>& onWrite);

}  // namespace skyfault::sim
