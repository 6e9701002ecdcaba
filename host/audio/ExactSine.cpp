#include "host/audio/ExactSine.h"

#include <cmath>

namespace wqhost {

namespace {

constexpr double kHalfPi = 1.57079632679489661923;

// Taylor series of sin and cos around 0, for |x| <= pi/4, where the first
// term left out is below 1e-17.
double sinNearZero(double x) noexcept {
    const double x2 = x * x;
    double s = 1.0 / 355687428096000.0; // 1/17!
    s = s * x2 - 1.0 / 1307674368000.0; // 1/15!
    s = s * x2 + 1.0 / 6227020800.0;    // 1/13!
    s = s * x2 - 1.0 / 39916800.0;      // 1/11!
    s = s * x2 + 1.0 / 362880.0;        // 1/9!
    s = s * x2 - 1.0 / 5040.0;          // 1/7!
    s = s * x2 + 1.0 / 120.0;           // 1/5!
    s = s * x2 - 1.0 / 6.0;             // 1/3!
    return x + x * x2 * s;
}

double cosNearZero(double x) noexcept {
    const double x2 = x * x;
    double c = 1.0 / 6402373705728000.0; // 1/18!
    c = c * x2 - 1.0 / 20922789888000.0; // 1/16!
    c = c * x2 + 1.0 / 87178291200.0;    // 1/14!
    c = c * x2 - 1.0 / 479001600.0;      // 1/12!
    c = c * x2 + 1.0 / 3628800.0;        // 1/10!
    c = c * x2 - 1.0 / 40320.0;          // 1/8!
    c = c * x2 + 1.0 / 720.0;            // 1/6!
    c = c * x2 - 1.0 / 24.0;             // 1/4!
    c = c * x2 + 0.5;                    // 1/2!
    return 1.0 - x2 * c;
}

} // namespace

double sinePhase(double hz, double rate, uint64_t n) noexcept {
    double cycles = std::fmod(hz * static_cast<double>(n), rate) / rate;
    if (cycles < 0.0)
        cycles += 1.0;
    return cycles >= 1.0 ? 0.0 : cycles;
}

double sineOfCycles(double cycles) noexcept {
    // Quadrant and the place inside it; both exact, as 4 * cycles is.
    const double quarters = cycles * 4.0;
    const double q = std::floor(quarters);
    double r = quarters - q;
    // sin over the quadrant from whichever end is nearer.
    const bool fromEnd = r > 0.5;
    if (fromEnd)
        r = 1.0 - r;
    const double angle = r * kHalfPi;
    double rising = fromEnd ? cosNearZero(angle) : sinNearZero(angle);  // sin(r * pi/2)
    double falling = fromEnd ? sinNearZero(angle) : cosNearZero(angle); // cos(r * pi/2)
    switch (static_cast<int>(q) & 3) {
    case 0: return rising;
    case 1: return falling;
    case 2: return -rising;
    default: return -falling;
    }
}

float sineSample(double hz, double amp, double rate, uint64_t n) noexcept {
    return static_cast<float>(amp * sineOfCycles(sinePhase(hz, rate, n)));
}

} // namespace wqhost
