// gui_pin_probe.h - what the GUI pin probe module (gui_pin_probe_module.cpp)
// and its fuzz target agree on.
#pragma once

#include <cstdint>

// The pins the probe writes what it read to: texts, and the byte count of a
// read into a buffer (an integer pin).
constexpr int32_t kNarrowReport = 100;
constexpr int32_t kWideReport = 101;
constexpr int32_t kCountReport = 102;

// The largest buffer the probe reads a text into.
constexpr int32_t kMaxBufferSize = 8192;
