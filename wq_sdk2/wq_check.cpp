#include "wq_sdk2/wq_check.h"

#include <cstdio>
#include <cstdlib>

namespace wq {

void checkFailed(const char *text, const char *file, int line) noexcept {
    std::fprintf(stderr, "Assertion failed: %s, file %s, line %d\n", text, file, line);
    std::fflush(stderr);
    std::abort();
}

} // namespace wq
