// fuzz_check.h - the invariant check of the fuzz targets.
//
// A broken invariant prints what broke and where, then aborts, so that
// libFuzzer records the input as a crash and keeps it for reproduction.
#pragma once

#include <cstdio>
#include <cstdlib>

#define FUZZ_REQUIRE(cond)                                                                         \
  ((cond) ? static_cast<void>(0)                                                                   \
          : (std::fprintf(stderr, "invariant broken: %s, file %s, line %d\n", #cond, __FILE__,     \
                          __LINE__),                                                               \
             std::fflush(stderr), std::abort()))
