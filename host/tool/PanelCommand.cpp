// wqhost panel LIB [--port N] [--no-open]: the module in a browser.
#include "host/panel/PanelModuleHost.h"
#include "host/panel/PanelServer.h"
#include "host/process/ChildProcess.h"
#include "host/process/PipedChild.h"
#include "host/tool/Commands.h"

#include <cstdio>
#include <iostream>

namespace wqtool {

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
    wqhost::PanelServer server(options);
    server.bind(args.port);
    server.startModule();
    std::cout << "wqhost panel: " << server.address() << " (the module runs until you press Ctrl-C)"
              << std::endl;
    if (!args.noOpen)
        wqhost::PipedChild::launchDetached({"xdg-open", server.address()});
    server.run();
    return 0;
}

} // namespace wqtool
