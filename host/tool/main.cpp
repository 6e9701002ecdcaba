// wqhost - the reference host as a tool for musicians and module authors:
//   wqhost info LIB        the module's description and pin table
//   wqhost run LIB [SCRIPT] a session driven by a script or at a prompt
//   wqhost validate LIB    a conformance check of any module library
//   wqhost panel LIB       the module in a browser
#include "host/platform/HostError.h"
#include "host/tool/Commands.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

namespace {

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

    InfoArgs info;
    CLI::App *infoCmd = app.add_subcommand(
        "info", "Show the module's description and pin table; the module runs in a child "
                "process");
    infoCmd->add_option("LIB", info.library, "Module library")->required();
    infoCmd->add_flag("--json", info.json, "Print one JSON document");
    infoCmd
        ->add_option("--timeout", info.timeout,
                     "Seconds the module may take to be looked at (default 20)")
        ->check(CLI::Range(0.1, 3600.0))
        ->type_name("SECONDS");
    infoCmd->add_flag("--allow-problems", info.allowProblems,
                      "Exit 0 even when the host found problems with the module");
    infoCmd->add_flag("--in-child", info.inChild, "")->group("");

    RunArgs run;
    CLI::App *runCmd = app.add_subcommand(
        "run", "Run a session: a script, the script on standard input (both in a child "
               "process), or a prompt");
    runCmd->add_option("LIB", run.library, "Module library")->required();
    runCmd->add_option("SCRIPT", run.script, "Script file ('-' for standard input)");
    runCmd->add_option("--trace", run.trace, "Write every call to FILE as JSON lines")
        ->type_name("FILE");
    bool noEcho = false;
    runCmd->add_flag("--no-echo", noEcho,
                     "Start with echo off (the module's own writes are not reported back)");
    runCmd
        ->add_option("--timeout", run.timeout,
                     "Seconds the session may take before it is ended as hung (default: no "
                     "limit; not at the prompt)")
        ->check(CLI::Range(0.1, 1.0e6))
        ->type_name("SECONDS");
    runCmd->add_flag("--allow-problems", run.allowProblems,
                     "Exit 0 even when the host found problems with the module (a script "
                     "with 'expect problems' counts them itself)");
    runCmd->add_flag("--in-child", run.inChild, "")->group("");

    ValidateArgs validate;
    validate.program = argc > 0 ? argv[0] : "wqhost";
    CLI::App *validateCmd = app.add_subcommand(
        "validate", "Check that a module library keeps the interface; each check runs in a "
                    "child process (with --in-process, in wqhost's own)");
    validateCmd->add_option("LIB", validate.library, "Module library");
    validateCmd->add_flag("--json", validate.json,
                          "Print the report (or with --list the checks) as JSON on standard "
                          "output; the check lines go to standard error");
    validateCmd
        ->add_option("--junit", validate.junit,
                     "Write a JUnit XML report to FILE ('-': standard output)")
        ->type_name("FILE");
    validateCmd->add_flag("--list", validate.list,
                          "List the checks, each with its rule, why a host needs it and what a "
                          "failure usually means, and stop");
    validateCmd->add_option("--explain", validate.explain, "Explain one check and stop")
        ->type_name("CHECK");
    validateCmd->add_flag("--strict", validate.strict, "Count a check with warnings as failed");
    validateCmd->add_flag("--verbose", validate.verbose,
                          "Show all a failed check's module printed (up to 64 KiB; JSON and "
                          "JUnit always carry it)");
    validateCmd
        ->add_option("--only", validate.only,
                     "Run only these checks (* and ? match any characters)")
        ->delimiter(',')
        ->allow_extra_args(false)
        ->type_name("NAME[,NAME...]");
    validateCmd
        ->add_option("--skip", validate.skip,
                     "Leave these checks out: reported as skipped (* and ? as in --only)")
        ->delimiter(',')
        ->allow_extra_args(false)
        ->type_name("NAME[,NAME...]");
    validateCmd
        ->add_option("--seed", validate.seedText,
                     "Seed of the randomised checks, 0 to 18446744073709551615 (default: a "
                     "fresh one, printed)")
        ->type_name("N");
    CLI::Option *timeout =
        validateCmd
            ->add_option("--timeout", validate.timeout, "Seconds a check may take (default 10)")
            ->check(CLI::Range(0.1, 3600.0))
            ->type_name("SECONDS");
    validateCmd->add_option("--trace", validate.trace, "Write every call to FILE as JSON lines")
        ->type_name("FILE");
    validateCmd->add_flag("--in-process", validate.inProcess,
                          "Run the checks in wqhost's own process, for a debugger (gdb --args "
                          "wqhost validate LIB --in-process): a crash then ends wqhost, and "
                          "there is no time limit (--timeout is refused)");
    validateCmd
        ->add_option("--repeat", validate.repeat,
                     "Soak: run the randomised checks N times in all, each time after the first "
                     "with a fresh seed (printed); the first failing seed is named for --seed")
        ->check(CLI::Range(1, 100000))
        ->type_name("N");
    validateCmd->add_option("--run-check", validate.runCheck, "")->group("");

    PanelArgs panel;
    panel.program = validate.program;
    CLI::App *panelCmd =
        app.add_subcommand("panel", "Show the module in a browser, as a host would, on 127.0.0.1");
    panelCmd->add_option("LIB", panel.library, "Module library")->required();
    panelCmd->add_option("--port", panel.port, "Port to serve on (default: a free one)")
        ->check(CLI::Range(0, 65535));
    panelCmd->add_flag("--no-open", panel.noOpen, "Do not open a browser");
    panelCmd->add_option("--timeout", panel.timeout, "Seconds a request may take (default 10)")
        ->check(CLI::Range(0.1, 3600.0))
        ->type_name("SECONDS");
    panelCmd->add_flag("--child", panel.child, "")->group("");

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

    if (infoCmd->parsed())
        return runInfo(info);
    if (panelCmd->parsed())
        return runPanel(panel);
    if (runCmd->parsed()) {
        run.echo = !noEcho;
        return runRun(run);
    }
    validate.timeoutGiven = timeout->count() > 0;
    return runValidate(validate);
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
