// wqhost info LIB [--json]
#include "host/inspect/InfoReport.h"
#include "host/core/ModuleLibrary.h"
#include "host/inspect/ModuleProbe.h"
#include "host/tool/Commands.h"

#include <iostream>

namespace wqtool {

int runInfo(const InfoArgs &args) {
    auto library = wqhost::ModuleLibrary::load(libraryPath(args.library));
    const wqhost::ModuleProbe probe = wqhost::probeModule(library);
    if (args.json)
        std::cout << wqhost::moduleInfoJson(probe, args.library);
    else
        std::cout << wqhost::formatModuleInfo(probe, args.library);
    return 0;
}

} // namespace wqtool
