#include "host/platform/StackPaint.h"

namespace wqhost {

namespace {

void paint(unsigned char fill) noexcept {
    volatile unsigned char area[kStackPaintBytes];
    for (size_t i = 0; i < sizeof area; ++i)
        area[i] = fill;
}

// Called through a pointer the compiler cannot see through, so that the
// area is never folded into the caller's frame.
void (*volatile g_paint)(unsigned char) noexcept = paint;

} // namespace

void paintStackBelow(unsigned char fill) noexcept { g_paint(fill); }

} // namespace wqhost
