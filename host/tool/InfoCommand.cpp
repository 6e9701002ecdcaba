// wqhost info LIB [--json] [--timeout S] [--allow-problems]
#include "host/core/ModuleLibrary.h"
#include "host/describe/InfoReport.h"
#include "host/describe/ModuleProbe.h"
#include "host/text/NumberText.h"
#include "host/tool/Commands.h"
#include "host/tool/IsolatedCommand.h"
#include "host/trace/CallLog.h"

#include <iostream>

namespace wqtool {

namespace {

// The module's part: in the child, with its calls on the channel.
int infoHere(const InfoArgs &args, const std::string &path, std::FILE *channel) {
    childStep(channel, "loading the library");
    auto library = wqhost::ModuleLibrary::load(path);
    wqhost::CallLog log;
    log.setJsonSink(channel);
    wqhost::ModuleProbe probe = wqhost::probeModule(library, 0, &log);
    wqhost::probeGuiSide(probe, library, 0, &log);
    if (args.json)
        std::cout << wqhost::moduleInfoJson(probe, args.library);
    else
        std::cout << wqhost::formatModuleInfo(probe, args.library);
    std::cout.flush();
    return probe.problems.empty() ? 0 : problemsFound(probe.problems.size(), args.allowProblems);
}

} // namespace

int runInfo(const InfoArgs &args) {
    const std::string path = libraryPath(args.library);
    if (args.inChild)
        serveInChild([&](std::FILE *channel) { return infoHere(args, path, channel); });
    IsolatedCall call;
    call.arguments = {"info", path, "--in-child", "--timeout", wqhost::floatText(args.timeout)};
    if (args.json)
        call.arguments.push_back("--json");
    if (args.allowProblems)
        call.arguments.push_back("--allow-problems");
    call.timeoutSeconds = args.timeout;
    call.libraryArgument = args.library;
    return runIsolated(call);
}

} // namespace wqtool
