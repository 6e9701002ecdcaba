// sse2_paths.h - whether the text searches take their SSE2 paths.
//
// The item walk of the list pin's text and the enumeration-list iterator
// search their texts in one of two ways: 16 bytes at a time with SSE2, or
// one character at a time. Every x86-64 processor has SSE2, and the 64-bit
// build takes the SSE2 paths without asking. The 32-bit library is built for
// the i686 baseline, which lacks SSE2, although nearly every processor that
// runs it has SSE2: its SSE2 paths are compiled for SSE2 on their own, and
// the processor is asked once, at the first search, whether they may run.
//
// Tests switch the SSE2 paths off to hold the plain paths to the same
// results on every target.
#pragma once

#include <atomic>

#if (defined(__i386__) || defined(__x86_64__)) && defined(__GNUC__)
// The SSE2 paths exist in this build.
#  define QUENDOR_SSE2_PATHS 1
#  if defined(__SSE2__)
#    define QUENDOR_SSE2_FUNCTION
#  else
// Compiles one function for SSE2 although the target's baseline lacks it.
// Such a function runs only after sse2PathsEnabled() has answered true, and
// is never inlined into a function compiled for the baseline.
#    define QUENDOR_SSE2_FUNCTION __attribute__((target("sse2")))
#  endif
#else
#  define QUENDOR_SSE2_PATHS 0
#endif

namespace quendor {

namespace detail {
// 0 until the first question, then 1 (plain paths) or 2 (SSE2 paths).
extern std::atomic<int> g_sse2Paths;
// Asks the processor, stores the answer in g_sse2Paths and returns it.
int checkSse2Paths() noexcept;
} // namespace detail

// True when the searches take their SSE2 paths: the build has them, the
// processor has SSE2 and no test has switched them off. After the first call
// a load and a compare.
inline bool sse2PathsEnabled() noexcept {
    int state = detail::g_sse2Paths.load(std::memory_order_relaxed);
    if (state == 0)
        state = detail::checkSse2Paths();
    return state == 2;
}

// Test hook: true makes every search take its plain path; false gives the
// choice back to the processor.
void forcePlainPathsForTesting(bool plain) noexcept;

} // namespace quendor
