// StackPaint - fills the stack below the caller's frame with one byte, where
// the frames of the next call will lie. A call that reads a local variable
// before it writes one then reads that byte, not what the calls before it
// left: two runs with two bytes tell a result that depends on it; and a text
// that lived in a frame that has returned changes.
#pragma once

#include <cstddef>

namespace wqhost {

// How far below the caller's frame the stack is filled: more than the frames
// of most calls, well within the stack a call gets (StackLimit).
inline constexpr size_t kStackPaintBytes = 128 * 1024;

// Fills kStackPaintBytes of the stack below the caller's frame with `fill`.
// Never inlined, so that the area lies below the caller, not in its frame.
void paintStackBelow(unsigned char fill) noexcept;

} // namespace wqhost
