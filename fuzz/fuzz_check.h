#pragma once

// What the fuzz targets share: a check that stops the run with a message
// (libFuzzer then keeps the input that broke it), and a reader that takes
// numbers off the front of the input and leaves the rest as bytes.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#define SKYFAULT_FUZZ_CHECK(condition)                                                         \
    do {                                                                                       \
        if (!(condition)) {                                                                    \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                      \
        }                                                                                      \
    } while (false)

namespace skyfault::fuzz {

class InputReader final {
public:
    InputReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    // The next byte, or 0 when the input is used up.
    std::uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
    std::uint16_t U16() {
        const std::uint16_t low = Byte();
        return static_cast<std::uint16_t>(low | (Byte() << 8));
    }
    // Up to `count` bytes as text (fewer when the input ends first).
    std::string_view Text(std::size_t count) {
        const std::size_t left = size_ - at_;
        const std::size_t taken = count < left ? count : left;
        const std::string_view text(reinterpret_cast<const char*>(data_ + at_), taken);
        at_ += taken;
        return text;
    }
    std::string_view Rest() { return Text(size_ - at_); }
    const std::uint8_t* RestData() const { return data_ + at_; }
    std::size_t RestSize() const { return size_ - at_; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

}  // namespace skyfault::fuzz
