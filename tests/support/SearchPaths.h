// Runs a test body once on each search path of the list module: the SSE2
// path (where the build and the processor have it) and the plain path, so
// that both are held to the same expectations on every target.
#pragma once

#include "list_module/sse2_paths.h"

#include <gtest/gtest.h>

namespace testsupport {

// Forces the plain paths while it lives.
class PlainSearchPaths {
public:
    PlainSearchPaths() { quendor::forcePlainPathsForTesting(true); }
    ~PlainSearchPaths() { quendor::forcePlainPathsForTesting(false); }
    PlainSearchPaths(const PlainSearchPaths &) = delete;
    PlainSearchPaths &operator=(const PlainSearchPaths &) = delete;
};

// body() on the processor's own path, then on the plain path; failures name
// the path.
template <class Body> void onEachSearchPath(Body body) {
    {
        SCOPED_TRACE("SSE2 search path where available");
        body();
    }
    {
        SCOPED_TRACE("plain search path");
        PlainSearchPaths plain;
        body();
    }
}

} // namespace testsupport
