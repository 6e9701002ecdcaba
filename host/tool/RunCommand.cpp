// wqhost run LIB [SCRIPT] [--trace FILE]
#include "host/core/ModuleLibrary.h"
#include "host/describe/ModuleProbe.h"
#include "host/fuzz/LeakMeasure.h"
#include "host/memory/HeapCheck.h"
#include "host/script/ReloadableSession.h"
#include "host/script/ScriptParser.h"
#include "host/script/ScriptRunner.h"
#include "host/core/Session.h"
#include "host/tool/Commands.h"
#include "host/validate/IsolatedRun.h"
#include "host/tool/LineInput.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <iterator>
#include <memory>
#include <sstream>

namespace wqtool {

namespace {

struct RunArgs {
    std::string library;
    std::string script; // empty: the prompt, or standard input
    std::string trace;
    bool echo = true;
    double timeout = 0.0;       // 0: no limit
    bool allowProblems = false; // exit 0 even when the host found problems
    bool recordGolden = false;  // `expect golden` writes its reference
    bool checkHeap = false;     // the module's heap is the guarded one of validate
    bool checkLeak = false;     // the last line is carried out again, the heap measured
    bool inChild = false;       // hidden: this is the child that runs the module
};

std::string readScriptFile(const std::string &path) {
    std::error_code error;
    if (std::filesystem::is_directory(path, error))
        throw ToolError("the script '" + path + "' is a folder, not a file");
    std::FILE *f = std::fopen(path.c_str(), "rb");
    if (!f)
        throw ToolError("cannot read the script '" + path + "': " + std::strerror(errno));
    std::string text;
    char buffer[8192];
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0)
        text.append(buffer, got);
    const bool failed = std::ferror(f) != 0;
    const int readError = errno;
    std::fclose(f);
    if (failed)
        throw ToolError("cannot read the script '" + path + "': " + std::strerror(readError));
    return text;
}

std::string readStandardInput() {
    std::ostringstream all;
    all << std::cin.rdbuf();
    return all.str();
}

std::vector<wqhost::ScriptCommand> parseNamed(const std::string &text, const std::string &name) {
    try {
        return wqhost::parseScript(text);
    } catch (const wqhost::ScriptError &e) {
        throw ToolError(name + ":" + std::to_string(e.line()) + ": " + e.what());
    }
}

// The prompt's own word: load the library afresh after a rebuild.
bool isReload(const std::string &line) {
    const size_t start = line.find_first_not_of(" \t");
    const size_t end = line.find_last_not_of(" \t\r");
    return start != std::string::npos && line.substr(start, end - start + 1) == "reload";
}

int interactive(wqhost::ReloadableSession &session) {
    LineInput input("wqhost> ");
    std::cout << "Type help for the commands, reload to load the library afresh after a rebuild, "
                 "quit or Ctrl-D to end.\n";
    std::string line;
    int lineNumber = 0;
    while (input.read(line)) {
        ++lineNumber;
        if (isReload(line)) {
            std::cout << "  " << session.reload() << "\n" << std::flush;
            continue;
        }
        wqhost::ScriptCommand command;
        try {
            if (!wqhost::parseScriptLine(line, lineNumber, command))
                continue;
            if (!session.execute(command))
                break;
        } catch (const wqhost::ScriptError &e) {
            std::cout << "  error: " << e.what() << "\n" << std::flush;
        }
    }
    std::cout << "\n";
    return session.failedExpectations() > 0 ? 1 : 0;
}

// --check-leak: the script's last line, a pin change, carried out again and
// again with the module's heap measured, as the fuzzer looks for a leak.
int checkLastLineLeak(wqhost::ScriptRunner &runner, const wqhost::ScriptCommand &last,
                      const std::string &sourceName) {
    const std::string where = sourceName + ":" + std::to_string(last.line);
    std::cout << "\n"
              << where << ": carried out again " << wqhost::kLeakRepeats + 1
              << " times, the module's heap measured\n";
    wqhost::LeakMeasure measure;
    try {
        measure = wqhost::measureLeak([&] { return runner.execute(last); });
    } catch (const wqhost::ScriptError &e) {
        std::cout.flush();
        throw ToolError(where + ": " + e.what());
    }
    switch (measure.verdict) {
    case wqhost::LeakMeasure::Verdict::Unmeasured:
        throw ToolError("--check-leak: this system cannot tell how much heap is in use");
    case wqhost::LeakMeasure::Verdict::StepFailed:
        throw ToolError(where + ": --check-leak: the line ended the session when carried out "
                                "again");
    case wqhost::LeakMeasure::Verdict::Steady:
        std::cout << "the module's heap did not grow by " << wqhost::kLeakBytesPerRepeat
                  << " bytes or more each time\n";
        return 0;
    case wqhost::LeakMeasure::Verdict::Leaks: break;
    }
    const std::string text = where +
                             ": leaked: the module's heap grew each time the line was carried "
                             "out again, by at least " +
                             std::to_string(measure.leastGrowth) + " bytes each of " +
                             std::to_string(wqhost::kLeakRepeats) + " times";
    std::cout << text << "\n";
    std::cout.flush();
    std::cerr << text << "\n";
    return 1;
}

// The module's part: in the child (its calls and output on `channel`), or
// in the tool's own process at the prompt (calls to `trace`).
int runHere(const RunArgs &args, const std::string &path, std::FILE *channel, std::FILE *trace) {
    const bool prompt = !channel;
    wqhost::childStep(channel, "loading the library");
    // The prompt may reload the library after a rebuild.
    auto library =
        prompt ? wqhost::ReloadableSession::loadLibrary(path) : wqhost::ModuleLibrary::load(path);

    // The whole script is read before anything runs: a mistake on its last
    // line leaves the module untouched.
    std::vector<wqhost::ScriptCommand> commands;
    std::string sourceName;
    if (!args.script.empty() && args.script != "-") {
        sourceName = args.script;
        commands = parseNamed(readScriptFile(args.script), sourceName);
    } else if (!prompt) {
        sourceName = "<stdin>";
        commands = parseNamed(readStandardInput(), sourceName);
    }
    if (args.checkLeak && (commands.empty() || commands.back().op != wqhost::ScriptOp::Set))
        throw ToolError("--check-leak carries the script's last line out again: it must be a "
                        "pin change (set)");
    // A script that counts the problems itself has accounted for them.
    bool problemsExpected = false;
    for (const wqhost::ScriptCommand &c : commands)
        problemsExpected = problemsExpected || c.op == wqhost::ScriptOp::ExpectProblems;

    std::FILE *const sink = channel ? channel : trace;

    // The session answers AH_PIN_COUNT with the module's own audio-side pin
    // count, learnt from a first look at its pin table (again for a library
    // loaded afresh).
    wqhost::CallLog probeLog;
    probeLog.setJsonSink(sink);
    const wqhost::ModuleProbe probe = wqhost::probeModule(library, 0, &probeLog);
    const bool echo = args.echo;
    const auto optionsFor = [echo, sink](const std::shared_ptr<const wqhost::ModuleLibrary> &lib) {
        wqhost::CallLog log;
        log.setJsonSink(sink);
        wqhost::Session::Options options;
        options.audio.pinCount = wqhost::probeModule(lib, 0, &log).audioPinCount();
        options.gui.echo = echo;
        options.gui.judgeInputWrites = true;
        options.playAudio = true;
        return options;
    };

    wqhost::ReloadableSession::Setup setup;
    setup.libraryPath = path;
    setup.optionsFor = optionsFor;
    setup.trace = sink;
    setup.sourceName = prompt ? std::string("<prompt>") : sourceName;
    setup.runner.showCommands = !prompt;
    setup.runner.errorLines = !prompt;
    setup.runner.engine.recordGolden = args.recordGolden;
    // Files a script reads are found beside it; at the prompt and on
    // standard input, in the current folder.
    if (!sourceName.empty() && sourceName != "<stdin>")
        setup.runner.engine.inputFolder = std::filesystem::path(sourceName).parent_path().string();
    wqhost::ReloadableSession session(library, setup, std::cout, std::cerr);
    wqhost::ScriptRunner &runner = session.runner();
    runner.printStart();
    int status = 0;
    if (prompt) {
        status = interactive(session);
    } else {
        try {
            runner.run(commands);
        } catch (const wqhost::ScriptError &e) {
            std::cout.flush();
            throw ToolError(sourceName + ":" + std::to_string(e.line()) + ": " + e.what());
        }
        status = runner.failedExpectations() > 0 ? 1 : 0;
        if (runner.passedExpectations() + runner.failedExpectations() > 0)
            std::cout << "\n"
                      << runner.passedExpectations() << " expectations held, "
                      << runner.failedExpectations() << " failed\n";
        if (args.checkLeak)
            status = std::max(status, checkLastLineLeak(runner, commands.back(), sourceName));
    }
    session.session().stop();
    const size_t problems = probe.problems.size() + session.problemCount();
    if (problems > 0 && !problemsExpected)
        status = std::max(status, problemsFound(problems, args.allowProblems));
    return status;
}

int runRun(const RunArgs &args) {
    const std::string path = libraryPath(args.library);
    if (args.inChild) {
        wqhost::enableHeapCheckIfAsked();
        wqhost::serveInChild(
            [&](std::FILE *channel) { return runHere(args, path, channel, nullptr); });
    }

    // The prompt needs the terminal: it runs in the tool's own process.
    if (args.script.empty() && LineInput::stdinIsTerminal()) {
        if (args.checkHeap)
            throw ToolError("--check-heap runs the module in a child process, which the "
                            "prompt does not: give a script");
        if (args.checkLeak)
            throw ToolError("--check-leak carries a script's last line out again: give a "
                            "script");
        const TraceFile trace = openTraceFile(args.trace);
        return runHere(args, path, nullptr, trace.get());
    }

    wqhost::IsolatedCall call;
    call.arguments = {"run", path, args.script.empty() ? std::string("-") : args.script,
                      "--in-child"};
    if (!args.echo)
        call.arguments.push_back("--no-echo");
    if (args.allowProblems)
        call.arguments.push_back("--allow-problems");
    if (args.recordGolden)
        call.arguments.push_back("--record-golden");
    if (args.checkLeak)
        call.arguments.push_back("--check-leak");
    if (args.checkHeap) {
        std::string whyNot;
        if (!wqhost::enableHeapCheckForChildren(whyNot))
            throw ToolError("--check-heap: " + whyNot);
    }
    if (args.script.empty() || args.script == "-") {
        call.giveInput = true;
        call.input = readStandardInput();
    }
    call.timeoutSeconds = args.timeout > 0 ? args.timeout : kNoTimeLimit;
    const TraceFile trace = openTraceFile(args.trace);
    call.trace = trace.get();
    call.libraryArgument = args.library;
    call.libraryPath = path;
    return wqhost::runIsolated(call);
}

} // namespace

Command addRunCommand(CLI::App &tool, const std::string &) {
    auto args = std::make_shared<RunArgs>();
    auto noEcho = std::make_shared<bool>(false);
    CLI::App *cmd = tool.add_subcommand(
        "run", "Run a session: a script, the script on standard input (both in a child "
               "process), or a prompt");
    cmd->add_option("LIB", args->library, "Module library")->required();
    cmd->add_option("SCRIPT", args->script, "Script file ('-' for standard input)");
    cmd->add_option("--trace", args->trace, "Write every call to FILE as JSON lines")
        ->type_name("FILE");
    cmd->add_flag("--no-echo", *noEcho,
                  "Start with echo off (the module's own writes are not reported back)");
    cmd->add_option("--timeout", args->timeout,
                    "Seconds the session may take before it is ended as hung (default: no "
                    "limit; not at the prompt)")
        ->check(CLI::Range(0.1, 1.0e6))
        ->type_name("SECONDS");
    cmd->add_flag("--allow-problems", args->allowProblems,
                  "Exit 0 even when the host found problems with the module (a script "
                  "with 'expect problems' counts them itself)");
    cmd->add_flag("--record-golden", args->recordGolden,
                  "'expect golden' writes its reference file from this run instead of "
                  "comparing with it");
    cmd->add_flag("--check-heap", args->checkHeap,
                  "Give the module the guarded heap of validate's checks: a write past a heap "
                  "block, a use after free or a double free ends the run and is named");
    cmd->add_flag("--check-leak", args->checkLeak,
                  "After the script, carry its last line (a pin change) out again " +
                      std::to_string(wqhost::kLeakRepeats + 1) +
                      " times and measure the module's heap: one that grows each time leaks, "
                      "and the run fails");
    cmd->add_flag("--in-child", args->inChild, "")->group("");
    cmd->footer("\n" + wqhost::scriptHelpText() +
                "Files a script reads (signal ... file, expect golden) are found relative to "
                "its folder;\nfiles it writes (record, a golden mismatch's diff) relative to "
                "the current folder.");
    return {cmd, [args, noEcho] {
                args->echo = !*noEcho;
                return runRun(*args);
            }};
}

} // namespace wqtool
