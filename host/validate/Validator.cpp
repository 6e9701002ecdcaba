#include "host/validate/Validator.h"

#include "host/process/ChildChannel.h"
#include "host/process/ChildProcess.h"
#include "host/process/CommandLine.h"
#include "host/platform/CrashReport.h"
#include "host/memory/HeapCheck.h"
#include "host/platform/HostError.h"
#include "host/platform/LibraryFile.h"
#include "host/text/NumberText.h"
#include "host/text/JsonText.h"
#include "host/trace/RunningCalls.h"
#include "host/validate/FrameNames.h"
#include "host/validate/HeapFault.h"
#include "host/checks/ConformanceCheck.h"
#include "host/validate/CheckChild.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <utility>

namespace wqhost {

namespace {

std::string fileName(const std::string &path) {
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string shortened(const std::string &text, size_t max) {
    return text.size() <= max ? text : text.substr(0, max) + "...";
}

} // namespace

// What the parent learns from a check's channel while the child runs.
struct CheckReport {
    // Reads the check's messages from `reader` into the report.
    void listen(ChannelReader &reader) {
        reader
            .on("verdict",
                [this](const ChannelReader::Message &j) {
                    verdict = j.value("verdict", "fail");
                    if (j.contains("details") && j["details"].is_array())
                        for (const auto &d : j["details"])
                            if (d.is_string())
                                details.push_back(utf8ToBytes(d.get<std::string>()));
                    warnings.clear();
                    if (j.contains("warnings") && j["warnings"].is_array())
                        for (const auto &w : j["warnings"])
                            if (w.is_string())
                                warnings.push_back(utf8ToBytes(w.get<std::string>()));
                    reason = utf8ToBytes(j.value("reason", ""));
                    unusable = utf8ToBytes(j.value("unusable", ""));
                    seeded = j.value("seeded", false);
                    couldNotRun = j.value("couldNotRun", false);
                })
            .on("failure",
                [this](const ChannelReader::Message &j) {
                    failures.push_back(utf8ToBytes(j.value("failure", "")));
                })
            .on("warning",
                [this](const ChannelReader::Message &j) {
                    warnings.push_back(utf8ToBytes(j.value("warning", "")));
                })
            .on("overrun",
                [this](const ChannelReader::Message &j) {
                    overrun = utf8ToBytes(j.value("overrun", ""));
                })
            .on("frame",
                [this](const ChannelReader::Message &j) {
                    const auto &frame = j["frame"];
                    if (frame.is_object() && frames.size() < kMaxFrames)
                        frames.push_back({utf8ToBytes(frame.value("module", "")),
                                          frame.value("offset", uint64_t{0})});
                })
            .on("sides",
                [this](const ChannelReader::Message &j) {
                    const std::string names = j.value("sides", "");
                    sidesKnown = true;
                    hasAudio = names.find("audio") != std::string::npos;
                    hasGui = names.find("gui") != std::string::npos;
                })
            .on("step",
                [this](const ChannelReader::Message &j) {
                    lastStep = utf8ToBytes(j.value("step", ""));
                })
            .on(kCallMessage, [this](const ChannelReader::Message &j) { running.take(j); });
    }

    std::string runningCalls() const { return running.text(); }

    std::string verdict;
    std::vector<std::string> details;
    std::string reason;
    std::string unusable;
    std::string lastStep;
    std::string overrun; // the child ran into the guard of memory the host handed it
    bool seeded = false;
    bool couldNotRun = false;
    bool sidesKnown = false;
    bool hasAudio = false;
    bool hasGui = false;
    std::vector<std::string> failures; // as they were found, before any verdict
    std::vector<std::string> warnings;
    RunningCalls running;
    struct Frame {
        std::string module;
        uint64_t offset;
    };
    static constexpr size_t kMaxFrames = 48;
    std::vector<Frame> frames; // the crashed thread's, innermost first
};

namespace {

// The line of a crashed child's error output that tells most.
std::string tellingLine(const std::string &errors) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < errors.size()) {
        size_t end = errors.find('\n', start);
        if (end == std::string::npos)
            end = errors.size();
        std::string line = errors.substr(start, end - start);
        while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
            line.pop_back();
        if (!line.empty())
            lines.push_back(line);
        start = end + 1;
    }
    for (const char *marker :
         {"heap check: ", "exception escaped", "Assertion failed", "AddressSanitizer",
          "LeakSanitizer", "runtime error", "terminate called", "Segmentation fault",
          "free(): ", "malloc(): ", "realloc(): ", "double free", "corrupted"})
        for (const std::string &line : lines)
            if (line.find(marker) != std::string::npos)
                return shortened(line, 400);
    return lines.empty() ? std::string() : shortened(lines.front(), 400);
}

// Whether a check that outlived its limit was computing or blocked, from
// the share of a processor it used just before it was killed.
std::string hangKind(const ChildOutcome &ended, const std::vector<std::string> &warnings) {
    std::string kind;
    const std::string used =
        ended.cpuShare < 0.0
            ? std::string()
            : "it used " + std::to_string(static_cast<int>(ended.cpuShare * 100.0 + 0.5)) +
                  "% of a processor in its last " + floatText(kCpuShareSeconds) + " s: ";
    if (ended.activity == ChildOutcome::Activity::Computing)
        kind = "; the module was computing (" + used + "look for a loop that does not end)";
    else if (ended.activity == ChildOutcome::Activity::Blocked)
        kind = "; the module was blocked (" + used +
               "look for a wait that never ends: a lock, a sleep, a read, a message)";
    for (const std::string &w : warnings)
        if (w.find("(slow, not stuck)") != std::string::npos) {
            kind += "; calls into the module were slow before (see the warnings): if each "
                    "comes back, the module is slow rather than stuck, and --timeout can give "
                    "the check more time";
            break;
        }
    return kind;
}

} // namespace

Validator::Validator(Options options) : m_options(std::move(options)) {
    // Every check child runs with the guarded heap, so that a heap overrun
    // stops the module at once on every run. Checks run in this process get
    // the heap as it is.
    if (m_options.inProcess)
        m_heapCheckOff = "the checks run in wqhost's own process (--in-process)";
    else
        m_heapChecked = enableHeapCheckForChildren(m_heapCheckOff);
}

std::string Validator::reproduceCommand(const std::string &name) const {
    std::string command = commandWord(m_options.program) + " validate " +
                          commandWord(m_options.libraryArgument) + " --only " + commandWord(name) +
                          " --seed " + std::to_string(m_options.seed);
    if (m_options.timeoutGiven)
        command += " --timeout " + floatText(m_options.timeoutSeconds);
    return command;
}

CheckOutcome Validator::run(const std::string &name) const {
    const ConformanceCheck *check = findConformanceCheck(name);
    if (!check)
        throw HostError("unknown check '" + name + "'");
    CheckReport report;
    ChannelReader reader;
    report.listen(reader);
    // Each message goes to the trace as it arrives, marked with its check.
    reader.relayTo(m_options.trace, ChannelReader::Relay::Messages, {{"check", name}});
    const LineHandler onLine = reader.lineHandler();
    const ChildOutcome ended =
        m_options.inProcess ? runHere(*check, onLine) : runChild(name, onLine);
    if (ended.end == ChildOutcome::End::NotStarted)
        throw HostError("cannot run the check '" + name +
                        "' in a child process: " + ended.startError);
    return outcomeOf(name, report, ended);
}

ChildOutcome Validator::runChild(const std::string &name, const LineHandler &onLine) const {
    ChildOptions child;
    child.timeoutSeconds = m_options.timeoutSeconds;
    return ChildProcess::runProgram({m_options.childProgram, "validate", m_options.libraryPath,
                                     "--run-check", name, "--seed", std::to_string(m_options.seed)},
                                    child, onLine);
}

// The check in this process: its channel goes to a temporary file, read back
// line by line once the check has written its verdict, so that the outcome
// is made exactly as for a child that ended on its own. There is no time
// limit: nothing could end the check from outside.
ChildOutcome Validator::runHere(const ConformanceCheck &check, const LineHandler &onLine) const {
    std::FILE *channel = std::tmpfile();
    if (!channel)
        throw HostError("cannot make a temporary file for the channel of the check '" +
                        std::string(check.name) + "'");
    const auto start = std::chrono::steady_clock::now();
    ChildOutcome ended;
    ended.end = ChildOutcome::End::Exited;
    ended.exitCode = runCheckHere(check, m_options.libraryPath, m_options.seed, channel);
    ended.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::rewind(channel);
    std::string line;
    for (int c; (c = std::fgetc(channel)) != EOF;) {
        if (c != '\n') {
            line.push_back(static_cast<char>(c));
            continue;
        }
        onLine(line);
        line.clear();
    }
    if (!line.empty())
        onLine(line);
    std::fclose(channel);
    return ended;
}

CheckOutcome Validator::outcomeOf(const std::string &name, const CheckReport &reader,
                                  const ChildOutcome &ended) const {
    CheckOutcome outcome;
    outcome.name = name;
    outcome.seconds = ended.seconds;
    outcome.seed = m_options.seed;
    outcome.seeded = reader.seeded;
    outcome.sidesKnown = reader.sidesKnown;
    outcome.hasAudio = reader.hasAudio;
    outcome.hasGui = reader.hasGui;
    outcome.reproduce = reproduceCommand(name);
    outcome.lastStep = reader.lastStep;
    outcome.warnings = reader.warnings;
    outcome.errorOutput = ended.errors.size() <= kMaxErrorOutput
                              ? ended.errors
                              : ended.errors.substr(0, kMaxErrorOutput) + "\n(cut at 64 KiB)\n";
    if (!reader.verdict.empty()) {
        outcome.result = reader.verdict == "pass"   ? CheckOutcome::Result::Pass
                         : reader.verdict == "skip" ? CheckOutcome::Result::Skip
                                                    : CheckOutcome::Result::Fail;
        outcome.details = reader.details;
        if (outcome.result == CheckOutcome::Result::Skip) {
            // A skip always says why.
            outcome.details = {reader.reason.empty() ? std::string("the check gave no reason")
                                                     : reader.reason};
            outcome.couldNotRun = reader.couldNotRun;
        }
        outcome.unusable = reader.unusable;
        if (!outcome.unusable.empty()) {
            // Why the loader refused it, when the file itself tells.
            const std::string hint = libraryHint(m_options.libraryPath);
            if (!hint.empty())
                outcome.details.push_back("hint: " + hint);
        }
        // A leak that a sanitizer reported as the process ended fails the
        // leaks check (every child ends as a program ends, so that an ASan
        // build of the module reports); what else happens on the way out is
        // the unload check's to report, so no other check fails on it.
        const bool endedBadly = ended.end != ChildOutcome::End::Exited || ended.exitCode != 0;
        if (outcome.result == CheckOutcome::Result::Pass && endedBadly && name == "leaks" &&
            ended.errors.find("LeakSanitizer") != std::string::npos) {
            outcome.result = CheckOutcome::Result::Fail;
            outcome.details.push_back("as the process ended, LeakSanitizer reported memory "
                                      "that was never freed: " +
                                      tellingLine(ended.errors) +
                                      " (the whole report is in the error output)");
        }
        if (outcome.result != CheckOutcome::Result::Fail)
            outcome.errorOutput.clear();
        return outcome;
    }

    // No verdict: the child died or hung inside the check.
    outcome.result = CheckOutcome::Result::Fail;
    outcome.crashed = true;
    outcome.timedOut = ended.end == ChildOutcome::End::TimedOut;
    outcome.runningCalls = reader.runningCalls();
    outcome.moduleOutput = tellingLine(ended.errors);
    // What the child printed names an escaped exception or a sanitizer's
    // finding better than the signal or status it ended with.
    const std::string cause =
        ended.end == ChildOutcome::End::TimedOut ? std::string() : crashCause(ended.errors);
    std::string first =
        outcome.timedOut
            ? "hung: " + ChildProcess::describeEnd(ended, m_options.timeoutSeconds)
            : "crashed (" + (cause.empty() ? ChildProcess::describeEnd(ended, 0) : cause) + ")";
    first += outcome.runningCalls.empty() ? std::string(" with no module call running")
                                          : " in " + outcome.runningCalls;
    if (outcome.timedOut)
        first += hangKind(ended, outcome.warnings);
    outcome.details.push_back(first);
    if (!reader.overrun.empty())
        outcome.details.push_back("the module " + reader.overrun);
    // A fault found before that explains the crash comes next.
    for (const std::string &f : reader.failures) {
        const size_t hint = f.find("; it is ");
        if (hint != std::string::npos &&
            f.find("return the object's record") != std::string::npos) {
            outcome.details.push_back("hint: makeModule's result " + f.substr(0, hint) +
                                      f.substr(hint + 1));
            break;
        }
    }
    if (!outcome.moduleOutput.empty())
        outcome.details.push_back("it printed: " + outcome.moduleOutput);
    const std::string heap = heapFault(outcome.moduleOutput);
    if (!heap.empty())
        outcome.details.push_back(heap);
    if (!outcome.lastStep.empty())
        outcome.details.push_back("while: " + outcome.lastStep);
    // Where: the innermost frame in the module's own code, then the whole
    // stack.
    const std::string library = fileName(m_options.libraryPath);
    bool placed = false;
    for (const CheckReport::Frame &f : reader.frames) {
        const FrameName named = nameFrame(f.module, f.offset);
        // Below the check's own start lie only the tool's frames.
        if (named.function.rfind("wqhost::runCheckHere", 0) == 0)
            break;
        outcome.frames.push_back(named.text());
        if (!placed && named.module == library) {
            outcome.details.push_back("where: " + named.text());
            placed = true;
        }
    }
    for (const std::string &f : reader.failures)
        outcome.details.push_back("found before: " + f);
    outcome.lastCalls = reader.running.recent();
    return outcome;
}

} // namespace wqhost
