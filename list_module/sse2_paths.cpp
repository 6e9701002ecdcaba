#include "list_module/sse2_paths.h"

namespace quendor {

namespace detail {

std::atomic<int> g_sse2Paths{0};

int checkSse2Paths() noexcept {
#if QUENDOR_SSE2_PATHS && defined(__SSE2__)
    const bool sse2 = true; // part of the target's baseline
#elif QUENDOR_SSE2_PATHS
    __builtin_cpu_init(); // safe to repeat; needed if this runs before the library's constructors
    const bool sse2 = __builtin_cpu_supports("sse2") != 0;
#else
    const bool sse2 = false;
#endif
    const int state = sse2 ? 2 : 1;
    g_sse2Paths.store(state, std::memory_order_relaxed);
    return state;
}

} // namespace detail

void forcePlainPathsForTesting(bool plain) noexcept {
    if (plain)
        detail::g_sse2Paths.store(1, std::memory_order_relaxed);
    else
        detail::checkSse2Paths();
}

} // namespace quendor
