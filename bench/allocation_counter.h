// allocation_counter.h - counts the heap allocations of a benchmark program.
//
// Linking allocation_counter.cpp into a program replaces the global
// operator new (and new[], and their aligned and nothrow forms); every call
// is counted. The replacements are exported from the program, so a module
// library that the program loads, and whose operator new is resolved
// dynamically (as on Linux with a shared C++ runtime), is counted as well.
// The benchmarks run on one thread: a plain counter is enough.
#pragma once

#include <cstddef>

namespace bench {

// Heap allocations made through operator new since the program started.
std::size_t allocationCount() noexcept;

} // namespace bench
