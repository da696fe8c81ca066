#pragma once

#include <cstdint>
#include <string>

namespace skyfault::engine {

// Uniform random numbers in [0, 1), re-seedable from a number.
class RandomSource {
public:
    virtual ~RandomSource() = default;
    virtual void Seed(double seed) = 0;
    virtual double Next() = 0;
};

// The time of day: seconds since midnight, with fraction.
class TimeOfDaySource {
public:
    virtual ~TimeOfDaySource() = default;
    virtual double SecondsSinceMidnight() = 0;
};

// The one wave-sound player of the program. Close stops and closes whatever
// is open; Open waits until the file is open; Play starts the sound and
// returns at once. Failures (missing or unplayable files) are silent.
class SoundPlayer {
public:
    virtual ~SoundPlayer() = default;
    virtual void Close() = 0;
    virtual void Open(const std::string& path) = 0;
    virtual void Play() = 0;
};

// A small, fast generator (SplitMix64). The same seed always gives the same
// sequence; different seeds, even close ones, give unrelated sequences.
class SeededRandom final : public RandomSource {
public:
    explicit SeededRandom(double seed = 0.0) { Seed(seed); }
    void Seed(double seed) override;
    double Next() override;

private:
    std::uint64_t state_ = 0;
};

// The machine's clock (UTC time of day); only used to seed the generator.
class SystemTimeOfDay final : public TimeOfDaySource {
public:
    double SecondsSinceMidnight() override;
};

// A player that plays nothing.
class NullSoundPlayer final : public SoundPlayer {
public:
    void Close() override {}
    void Open(const std::string&) override {}
    void Play() override {}
};

}  // namespace skyfault::engine
