// FuzzRandom - the random numbers of a fuzz run: a generator whose
// sequence is defined here (splitmix64), not by the standard library, so a
// seed draws the same sessions on every build target.
#pragma once

#include <cstddef>
#include <cstdint>

namespace wqhost {

class FuzzRandom {
public:
    explicit FuzzRandom(uint64_t seed) noexcept : m_state(seed) {}

    // The seed of session `index` of the run with `seed`.
    static uint64_t sessionSeed(uint64_t seed, uint64_t index) noexcept {
        FuzzRandom r(seed ^ (index * 0xD1B54A32D192ED03ull));
        return r.next();
    }

    uint64_t next() noexcept {
        uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // 0 to n-1; n > 0.
    uint64_t below(uint64_t n) noexcept { return next() % n; }
    // lo to hi, both included.
    int64_t between(int64_t lo, int64_t hi) noexcept {
        return lo + static_cast<int64_t>(below(static_cast<uint64_t>(hi - lo) + 1));
    }
    bool chance(unsigned percent) noexcept { return below(100) < percent; }
    template <typename T, size_t N> const T &pick(const T (&items)[N]) noexcept {
        return items[below(N)];
    }

private:
    uint64_t m_state;
};

} // namespace wqhost
