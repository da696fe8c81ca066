#include "engine/sources.h"

#include <bit>
#include <chrono>

namespace skyfault::engine {

namespace {

std::uint64_t Mix(std::uint64_t z) {
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

}  // namespace

void SeededRandom::Seed(double seed) {
    // Mix the bit pattern so that neighbouring seeds start far apart.
    state_ = Mix(std::bit_cast<std::uint64_t>(seed) + 0x9E3779B97F4A7C15ULL);
}

double SeededRandom::Next() {
    state_ += 0x9E3779B97F4A7C15ULL;
    // The top 53 bits give a double in [0, 1).
    return static_cast<double>(Mix(state_) >> 11) * 0x1.0p-53;
}

double SystemTimeOfDay::SecondsSinceMidnight() {
    using namespace std::chrono;
    const auto now = system_clock::now().time_since_epoch();
    const auto micros = duration_cast<microseconds>(now).count() % (86400LL * 1000000LL);
    return static_cast<double>(micros) / 1e6;
}

}  // namespace skyfault::engine
