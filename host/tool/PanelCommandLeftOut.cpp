// wqhost panel in a build without the web panel (no HTTP library for the
// target): the command is there, and says so in one line.
#include "host/tool/Commands.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <memory>

namespace wqtool {

Command addPanelCommand(CLI::App &tool, const std::string &) {
    auto library = std::make_shared<std::string>();
    CLI::App *cmd =
        tool.add_subcommand("panel", "Show the module in a browser, as a host would, on 127.0.0.1");
    cmd->add_option("LIB", *library, "Module library")->required();
    cmd->allow_extras();
    return {cmd, [] {
                std::fprintf(stderr,
                             "wqhost: the panel is not part of this build (it needs cpp-httplib; "
                             "build natively with WQ_BUILD_PANEL=ON)\n");
                return 2;
            }};
}

} // namespace wqtool
