#include "host/fuzz/FuzzRun.h"

#include "host/fuzz/FuzzRandom.h"
#include "host/fuzz/LineSimplifier.h"
#include "host/fuzz/ScriptShrinker.h"
#include "host/fuzz/SessionGenerator.h"
#include "host/fuzz/SessionTrial.h"
#include "host/memory/HeapCheck.h"
#include "host/platform/HostError.h"
#include "host/process/CommandLine.h"
#include "host/text/NumberText.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace wqhost {

namespace {

using Clock = std::chrono::steady_clock;

std::string scriptText(const std::vector<std::string> &lines) {
    std::string text;
    for (const std::string &l : lines)
        text += l + "\n";
    return text;
}

// A line as the output shows it: a long one cut, with its length.
std::string shownLine(const std::string &line) {
    constexpr size_t kShown = 96;
    if (line.size() <= kShown)
        return line;
    return line.substr(0, kShown) + "... (" + std::to_string(line.size()) + " characters)";
}

TrialOptions trialOptions(const FuzzOptions &o) {
    TrialOptions t;
    t.program = o.program;
    t.libraryPath = o.libraryPath;
    t.timeoutSeconds = o.sessionTimeout;
    return t;
}

std::string plural(size_t n, const char *one, const char *many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// The sessions of one batch, each in a child of its own, side by side.
std::vector<TrialResult> runBatch(const TrialOptions &trial,
                                  const std::vector<std::vector<std::string>> &sessions) {
    std::vector<TrialResult> results(sessions.size());
    std::vector<std::string> errors(sessions.size());
    std::vector<std::thread> threads;
    for (size_t i = 0; i < sessions.size(); ++i)
        threads.emplace_back([&, i] {
            try {
                results[i] = runTrial(trial, scriptText(sessions[i]));
            } catch (const std::exception &e) {
                errors[i] = e.what();
            }
        });
    for (std::thread &t : threads)
        t.join();
    for (const std::string &e : errors)
        if (!e.empty())
            throw HostError(e);
    return results;
}

void writeScript(const std::string &path, const std::vector<std::string> &header,
                 const std::vector<std::string> &lines) {
    std::ofstream file(path, std::ios::binary);
    for (const std::string &h : header)
        file << h << "\n";
    file << scriptText(lines);
    file.flush();
    if (!file)
        throw HostError("cannot write the script '" + path + "': " + std::strerror(errno));
}

std::string heapLine() {
    std::string whyNot;
    if (enableHeapCheckForChildren(whyNot))
        return "heap checked";
    return "heap not checked: " + whyNot;
}

} // namespace

int runFuzz(const FuzzOptions &options, std::ostream &out) {
    const Clock::time_point start = Clock::now();
    const Clock::time_point deadline =
        start + std::chrono::duration_cast<Clock::duration>(
                    std::chrono::duration<double>(options.timeSeconds));
    const auto outOfTime = [deadline] { return Clock::now() >= deadline; };
    const TrialOptions trial = trialOptions(options);
    const unsigned jobs = std::max(1u, options.jobs);

    out << "fuzz " << commandWord(options.libraryArgument) << ": seed " << options.seed << ", "
        << plural(jobs, "job", "jobs") << ", up to " << floatText(options.timeSeconds) << " s"
        << (options.runs ? ", at most " + plural(options.runs, "session", "sessions") : "") << ", "
        << heapLine() << "\n"
        << std::flush;

    // A first session with no line: the module starts, and tells its pins.
    TrialResult first = runTrial(trial, std::string());
    std::vector<std::string> failing;
    uint64_t failingSession = 0;
    uint64_t sessions = 0;
    size_t refused = 0;
    FuzzFailure failure;
    bool failed = first.end == TrialResult::End::Failed;
    if (failed) {
        failure = first.failure;
    } else {
        if (!first.moduleSeen)
            throw HostError("the module's process told nothing of the module");
        const SessionGenerator generator(first.module);
        while (!failed && !outOfTime() && (options.runs == 0 || sessions < options.runs)) {
            const uint64_t batch =
                options.runs == 0 ? jobs : std::min<uint64_t>(jobs, options.runs - sessions);
            std::vector<std::vector<std::string>> drawn;
            for (uint64_t k = 0; k < batch; ++k)
                drawn.push_back(
                    generator.session(FuzzRandom::sessionSeed(options.seed, sessions + k + 1)));
            const std::vector<TrialResult> results = runBatch(trial, drawn);
            for (uint64_t k = 0; k < batch && !failed; ++k) {
                const TrialResult &r = results[k];
                if (r.end == TrialResult::End::Invalid) {
                    if (refused++ == 0)
                        out << "note: session " << sessions + k + 1 << " was refused at line "
                            << r.invalidLine << ": " << r.invalid << "\n";
                    continue;
                }
                if (r.end != TrialResult::End::Failed)
                    continue;
                failed = true;
                failure = r.failure;
                failing = drawn[k];
                failingSession = sessions + k + 1;
            }
            sessions += batch;
        }
    }

    if (!failed) {
        out << plural(sessions, "session", "sessions") << ", no failure (seed " << options.seed
            << ")";
        if (refused)
            out << "; " << refused << " refused by the engine";
        out << "\n";
        return 0;
    }

    const size_t drawnLines = failing.size();
    if (failingSession == 0)
        out << "the module failed as its session started";
    else
        out << "session " << failingSession << " failed";
    if (failure.line > 0)
        out << " at line " << failure.line << " of " << drawnLines;
    out << ": " << failure.text() << "\n" << std::flush;

    // Shrunk to what still fails the same way.
    const ScriptShrinker::Fails sameFailure =
        [&](const std::vector<std::string> &lines) -> std::optional<int> {
        const TrialResult r = runTrial(trial, scriptText(lines));
        if (r.end != TrialResult::End::Failed || !r.failure.sameAs(failure))
            return std::nullopt;
        return r.failure.line;
    };
    ScriptShrinker shrinker(sameFailure, simplerLines, outOfTime);
    const ScriptShrinker::Result shrunk = shrinker.shrink(failing, failure.line);
    // The shrunk script once more, for the failure as it now reads.
    const TrialResult confirmed = runTrial(trial, scriptText(shrunk.lines));
    if (confirmed.end == TrialResult::End::Failed && confirmed.failure.sameAs(failure))
        failure = confirmed.failure;

    std::error_code made;
    std::filesystem::create_directories(options.outFolder, made);
    // Named by the library, the seed and the session, so that runs on other
    // modules or with other seeds keep theirs.
    const std::string path =
        (std::filesystem::path(options.outFolder) /
         (std::filesystem::path(options.libraryPath).stem().string() + "-seed" +
          std::to_string(options.seed) + "-session" + std::to_string(failingSession) + ".wqs"))
            .string();
    writeScript(path,
                {"# wqhost fuzz --seed " + std::to_string(options.seed) + ": session " +
                     std::to_string(failingSession) + ", shrunk from " +
                     plural(drawnLines, "line", "lines"),
                 kFailsHeader + failure.signature()},
                shrunk.lines);
    if (failingSession == 0)
        out << "written with no line: " << path << "\n";
    else
        out << "shrunk to " << plural(shrunk.lines.size(), "line", "lines") << " in "
            << plural(shrunk.trials, "trial", "trials")
            << (shrunk.finished ? "" : " (stopped at the time limit)") << ": " << path << "\n";
    for (const std::string &l : shrunk.lines)
        out << "  " << shownLine(l) << "\n";
    out << "fails: " << failure.text() << "\n"
        << "replay: wqhost fuzz " << commandWord(options.libraryArgument) << " --replay "
        << commandWord(path) << "\n"
        << "        wqhost run " << commandWord(options.libraryArgument) << " "
        << commandWord(path);
    // A heap fault shows in `run` on the same guarded heap, a leak with the
    // same repeats of the last line.
    if (failure.kind == FuzzFailure::Kind::Heap)
        out << " --check-heap";
    else if (failure.kind == FuzzFailure::Kind::Leak)
        out << " --check-leak";
    out << "\n";
    return 1;
}

int replayFuzzScript(const FuzzOptions &options, const std::string &path, std::ostream &out) {
    std::ifstream file(path, std::ios::binary);
    if (!file)
        throw HostError("cannot read the script '" + path + "'");
    std::ostringstream all;
    all << file.rdbuf();
    const std::string text = all.str();
    std::string recorded;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);)
        if (line.rfind(kFailsHeader, 0) == 0) {
            recorded = line.substr(sizeof kFailsHeader - 1);
            while (!recorded.empty() && recorded.back() == '\r')
                recorded.pop_back();
        }

    std::string whyNot;
    enableHeapCheckForChildren(whyNot);
    const TrialResult r = runTrial(trialOptions(options), text);
    if (r.end == TrialResult::End::Invalid)
        throw HostError(path + ":" + std::to_string(r.invalidLine) + ": " + r.invalid);
    if (r.end == TrialResult::End::Passed) {
        out << path << ": no longer fails"
            << (recorded.empty() ? std::string() : " (it failed: " + recorded + ")") << "\n";
        return 0;
    }
    const std::string at = r.failure.line > 0 ? ":" + std::to_string(r.failure.line) : "";
    if (recorded.empty() || recorded == r.failure.signature())
        out << path << at << ": fails" << (recorded.empty() ? "" : " as recorded") << ": "
            << r.failure.text() << "\n";
    else
        out << path << at << ": fails differently: " << r.failure.text()
            << " (recorded: " << recorded << ")\n";
    return 1;
}

} // namespace wqhost
