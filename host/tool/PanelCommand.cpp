// wqhost panel LIB [--port N] [--no-open] [--watch]: the module in a browser.
// (PanelCommandLeftOut.cpp stands in for it in a build without the panel.)
#include "host/panel/PanelModuleHost.h"
#include "host/panel/PanelServer.h"
#include "host/process/ChildProcess.h"
#include "host/process/PipedChild.h"
#include "host/tool/Commands.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <iostream>
#include <memory>

namespace wqtool {

namespace {

struct PanelArgs {
    std::string program; // how the tool was started (argv[0])
    std::string library;
    int port = 0; // 0: a free port
    bool noOpen = false;
    bool watch = false; // reload when the library file is replaced
    double timeout = 10.0;
    bool child = false; // hidden: be the module's process of a panel
};

int runPanel(const PanelArgs &args) {
    const std::string path = libraryPath(args.library);
    if (args.child)
        return wqhost::runPanelChild(path);

    wqhost::PanelServer::Options options;
    const std::string self = wqhost::ChildProcess::currentProgram();
    options.childArgv = {self.empty() ? args.program : self, "panel", path, "--child"};
    options.timeoutSeconds = args.timeout;
    options.onEnded = [](const std::string &message) {
        std::fprintf(stderr, "wqhost: %s\n", message.c_str());
        std::fflush(stderr);
    };
    if (args.watch)
        options.watchPath = path;
    options.onReload = [](const std::string &message) {
        std::fprintf(stderr, "wqhost: %s\n", message.c_str());
        std::fflush(stderr);
    };
    wqhost::PanelServer server(options);
    server.bind(args.port);
    server.startModule();
    std::cout << "wqhost panel: " << server.address() << " (the module runs until you press Ctrl-C"
              << (args.watch ? "; it is reloaded when the library file is replaced" : "") << ")"
              << std::endl;
    if (!args.noOpen)
        wqhost::PipedChild::launchDetached({"xdg-open", server.address()});
    server.run();
    return 0;
}

} // namespace

Command addPanelCommand(CLI::App &tool, const std::string &program) {
    auto args = std::make_shared<PanelArgs>();
    args->program = program;
    CLI::App *cmd =
        tool.add_subcommand("panel", "Show the module in a browser, as a host would, on 127.0.0.1");
    cmd->add_option("LIB", args->library, "Module library")->required();
    cmd->add_option("--port", args->port, "Port to serve on (default: a free one)")
        ->check(CLI::Range(0, 65535));
    cmd->add_flag("--no-open", args->noOpen, "Do not open a browser");
    cmd->add_flag("--watch", args->watch,
                  "Reload the module when the library file is replaced (a rebuild), its pin "
                  "values restored");
    cmd->add_option("--timeout", args->timeout, "Seconds a request may take (default 10)")
        ->check(CLI::Range(0.1, 3600.0))
        ->type_name("SECONDS");
    cmd->add_flag("--child", args->child, "")->group("");
    return {cmd, [args] { return runPanel(*args); }};
}

} // namespace wqtool
