// wqhost panel in a build without the web panel (no HTTP library for the
// target): one line that says so.
#include "host/tool/Commands.h"

#include <cstdio>

namespace wqtool {

int runPanel(const PanelArgs &) {
    std::fprintf(stderr, "wqhost: the panel is not part of this build (it needs cpp-httplib; "
                         "build natively with WQ_BUILD_PANEL=ON)\n");
    return 2;
}

} // namespace wqtool
