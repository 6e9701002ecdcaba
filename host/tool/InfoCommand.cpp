// wqhost info LIB [--json] [--timeout S] [--allow-problems]
#include "host/core/ModuleLibrary.h"
#include "host/describe/InfoReport.h"
#include "host/describe/ModuleProbe.h"
#include "host/text/NumberText.h"
#include "host/tool/Commands.h"
#include "host/validate/IsolatedRun.h"
#include "host/trace/CallLog.h"

#include <CLI/CLI.hpp>

#include <iostream>
#include <memory>

namespace wqtool {

namespace {

struct InfoArgs {
    std::string library;
    bool json = false;
    double timeout = 20.0;
    bool allowProblems = false; // exit 0 even when the host found problems
    bool inChild = false;       // hidden: this is the child that runs the module
};

// The module's part: in the child, with its calls on the channel.
int infoHere(const InfoArgs &args, const std::string &path, std::FILE *channel) {
    wqhost::childStep(channel, "loading the library");
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

int runInfo(const InfoArgs &args) {
    const std::string path = libraryPath(args.library);
    if (args.inChild)
        wqhost::serveInChild([&](std::FILE *channel) { return infoHere(args, path, channel); });
    wqhost::IsolatedCall call;
    call.arguments = {"info", path, "--in-child", "--timeout", wqhost::floatText(args.timeout)};
    if (args.json)
        call.arguments.push_back("--json");
    if (args.allowProblems)
        call.arguments.push_back("--allow-problems");
    call.timeoutSeconds = args.timeout;
    call.libraryArgument = args.library;
    call.libraryPath = path;
    return wqhost::runIsolated(call);
}

} // namespace

Command addInfoCommand(CLI::App &tool, const std::string &) {
    auto args = std::make_shared<InfoArgs>();
    CLI::App *cmd = tool.add_subcommand(
        "info", "Show the module's description and pin table; the module runs in a child "
                "process");
    cmd->add_option("LIB", args->library, "Module library")->required();
    cmd->add_flag("--json", args->json, "Print one JSON document");
    cmd->add_option("--timeout", args->timeout,
                    "Seconds the module may take to be looked at (default 20)")
        ->check(CLI::Range(0.1, 3600.0))
        ->type_name("SECONDS");
    cmd->add_flag("--allow-problems", args->allowProblems,
                  "Exit 0 even when the host found problems with the module");
    cmd->add_flag("--in-child", args->inChild, "")->group("");
    return {cmd, [args] { return runInfo(*args); }};
}

} // namespace wqtool
