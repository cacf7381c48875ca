// A small deterministic random source for the race model: the same seed gives the same race
// on every machine and compiler, which the standard distributions do not promise.
#pragma once

#include <cstdint>

namespace standin {

class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}

    std::uint64_t nextBits() {  // SplitMix64
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    double uniform() { return static_cast<double>(nextBits() >> 11) * 0x1.0p-53; }  // [0, 1)
    // -1 to 1, most often near 0: the sum of two uniform numbers, shifted.
    double triangle() { return uniform() + uniform() - 1.0; }

private:
    std::uint64_t state_;
};

// A stream of its own for each car, so adding a car leaves the others' laps as they were.
inline std::uint64_t carSeed(std::uint64_t seed, unsigned plid, unsigned session) {
    Random mix(seed ^ (static_cast<std::uint64_t>(plid) << 32) ^ (static_cast<std::uint64_t>(session) << 48));
    return mix.nextBits();
}

}  // namespace standin
