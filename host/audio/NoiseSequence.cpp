#include "host/audio/NoiseSequence.h"

namespace wqhost {

uint64_t noiseBits(uint64_t seed, uint64_t n) noexcept {
    uint64_t z = seed * 0x9E3779B97F4A7C15ull + (n + 1) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

float noiseUnit(uint64_t seed, uint64_t n) noexcept {
    const int32_t top = static_cast<int32_t>(noiseBits(seed, n) >> 40) - (1 << 23);
    return static_cast<float>(top) / static_cast<float>(1 << 23);
}

float noiseSample(float amp, uint64_t seed, uint64_t n) noexcept {
    return amp * noiseUnit(seed, n);
}

} // namespace wqhost
