// ExactSine - the sine that the host's signals are made of, computed the
// same way on every build target: the phase of sample n is reduced in
// cycles before any angle is formed (fmod(hz * n, rate) / rate), and the
// sine of that phase is a fixed polynomial of IEEE double operations. It
// does not depend on the platform's math library, so a sine signal gives
// the same samples with glibc, in a 32-bit build and on Windows.
#pragma once

#include <cstdint>

namespace wqhost {

// The phase of sample `n` of a `hz` signal at `rate`, in cycles, in [0, 1).
double sinePhase(double hz, double rate, uint64_t n) noexcept;

// sin(2 pi cycles) for cycles in [0, 1), within a few units in the last
// place of a double.
double sineOfCycles(double cycles) noexcept;

// Sample `n` of amp * sin(2 pi hz t) at `rate`, rounded once to a float.
float sineSample(double hz, double amp, double rate, uint64_t n) noexcept;

} // namespace wqhost
