// NoiseSequence - white noise from a seed, defined by this code alone: sample
// n is a hash of (seed, n) (the splitmix64 finaliser), its top 24 bits read
// as a number in [-1, 1) that a float holds exactly, times the amplitude.
// Any sample can be computed on its own, so a block cut anywhere gives the
// same samples, and every build target gives the same sequence.
#pragma once

#include <cstdint>

namespace wqhost {

// The 64-bit hash of sample `n` of the sequence of `seed`.
uint64_t noiseBits(uint64_t seed, uint64_t n) noexcept;

// Sample `n` in [-1, 1): (top 24 bits - 2^23) / 2^23.
float noiseUnit(uint64_t seed, uint64_t n) noexcept;

// amp * noiseUnit, one float multiplication.
float noiseSample(float amp, uint64_t seed, uint64_t n) noexcept;

} // namespace wqhost
