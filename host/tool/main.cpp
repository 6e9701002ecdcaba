// wqhost - the reference host as a tool for musicians and module authors:
//   wqhost info LIB        the module's description and pin table
//   wqhost run LIB [SCRIPT] a session driven by a script or at a prompt
//   wqhost validate LIB    a conformance check of any module library
//   wqhost fuzz LIB        random sessions; a failing one shrunk to a script
//   wqhost panel LIB       the module in a browser
//   wqhost cost LIB        what the process function costs per block
#include "host/platform/HostError.h"
#include "host/tool/Commands.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <exception>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace wqtool {

// Every subcommand, in the order --help lists them; each adds itself
// (Commands.h).
Command addInfoCommand(CLI::App &tool, const std::string &program);
Command addRunCommand(CLI::App &tool, const std::string &program);
Command addValidateCommand(CLI::App &tool, const std::string &program);
Command addFuzzCommand(CLI::App &tool, const std::string &program);
Command addPanelCommand(CLI::App &tool, const std::string &program);
Command addNewCommand(CLI::App &tool, const std::string &program);
Command addCostCommand(CLI::App &tool, const std::string &program);

} // namespace wqtool

namespace {

using AddCommand = wqtool::Command (*)(CLI::App &tool, const std::string &program);
const AddCommand kCommands[] = {wqtool::addInfoCommand,     wqtool::addRunCommand,
                                wqtool::addValidateCommand, wqtool::addFuzzCommand,
                                wqtool::addPanelCommand,    wqtool::addNewCommand,
                                wqtool::addCostCommand};

int fail(const std::string &message) {
    std::cout.flush();
    std::fprintf(stderr, "wqhost: %s\n", message.c_str());
    std::fflush(stderr);
    return 2;
}

// The names of the subcommands: "info, run or validate".
std::string commandNames(CLI::App &app, const char *lastJoin) {
    const std::vector<CLI::App *> commands = app.get_subcommands([](CLI::App *) { return true; });
    std::string names;
    for (size_t i = 0; i < commands.size(); ++i)
        names += (i == 0                     ? ""
                  : i + 1 == commands.size() ? lastJoin
                                             : ", ") +
                 commands[i]->get_name();
    return names;
}

// The parser's complaint as one line. A missing or misspelt command gets a
// line of its own rather than the parser's general one.
std::string usageError(CLI::App &app, const CLI::ParseError &e) {
    if (app.get_subcommands().empty()) {
        const std::vector<std::string> rest = app.remaining();
        if (rest.empty())
            return "a command is needed: " + commandNames(app, " or ") +
                   " (wqhost --help shows them)";
        if (rest.front().empty() || rest.front()[0] != '-')
            return "unknown command '" + rest.front() + "': the commands are " +
                   commandNames(app, " and ");
        return std::string(CLI::ExtrasError(rest).what()) + " (see wqhost --help)";
    }
    std::string where = "wqhost";
    for (CLI::App *sub : app.get_subcommands())
        where += " " + sub->get_name();
    return std::string(e.what()) + " (see " + where + " --help)";
}

int runTool(int argc, char **argv) {
    using namespace wqtool;

    CLI::App app("The reference host as a tool: look at a module library, play with it, "
                 "check that it keeps the interface.",
                 "wqhost");
    app.set_version_flag("--version", "wqhost " WQ_VERSION);
    app.require_subcommand(1);
    // Paths that start with '/' are paths, on Windows too.
    app.allow_windows_style_options(false);

    std::vector<Command> commands;
    const std::string program = argc > 0 ? argv[0] : "wqhost";
    for (const AddCommand add : kCommands)
        commands.push_back(add(app, program));

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp &e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp &e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion &e) {
        return app.exit(e);
    } catch (const CLI::ParseError &e) {
        return fail(usageError(app, e));
    }

    for (const Command &command : commands)
        if (command.parser->parsed())
            return command.run();
    // The parser requires one command, and each has its entry above.
    throw std::logic_error("no command was parsed");
}

} // namespace

int main(int argc, char **argv) {
    try {
        return runTool(argc, argv);
    } catch (const wqtool::ToolError &e) {
        return fail(e.what());
    } catch (const wqhost::HostError &e) {
        return fail(e.what());
    } catch (const std::exception &e) {
        return fail(std::string("internal error: ") + e.what());
    } catch (...) {
        return fail("internal error");
    }
}
