// gui_pin_probe.h - what the GUI pin probe module (gui_pin_probe_module.cpp)
// and its fuzz target agree on.
#pragma once

#include <cstdint>

// The pins the probe writes what it read to (text pins of the host).
constexpr int32_t kNarrowReport = 100;
constexpr int32_t kWideReport = 101;
