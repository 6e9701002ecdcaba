#include "host/fuzz/SessionTrial.h"

#include "host/fuzz/FuzzChild.h"
#include "host/platform/CrashReport.h"
#include "host/platform/HostError.h"
#include "host/process/ChildChannel.h"
#include "host/process/ChildProcess.h"
#include "host/text/JsonText.h"
#include "host/text/NumberText.h"
#include "host/trace/RunningCalls.h"
#include "host/validate/HeapFault.h"

#include <nlohmann/json.hpp>

#include <cstdlib>

namespace wqhost {

namespace {

struct TrialReport {
    void listen(ChannelReader &reader) {
        using Message = ChannelReader::Message;
        reader
            .on("fuzz",
                [this](const Message &j) {
                    verdict = j.value("fuzz", "");
                    message = j;
                })
            .on("module",
                [this](const Message &j) {
                    try {
                        module = FuzzModule::fromJson(nlohmann::json::parse(j["module"].dump()));
                        moduleSeen = true;
                    } catch (const nlohmann::json::exception &) {
                    }
                })
            .on("step",
                [this](const Message &j) {
                    const std::string step = utf8ToBytes(j.value("step", ""));
                    line = step.rfind("line ", 0) == 0 ? std::atoi(step.c_str() + 5) : 0;
                })
            .on("overrun",
                [this](const Message &j) { overrun = utf8ToBytes(j.value("overrun", "")); })
            .on("error", [this](const Message &j) { error = utf8ToBytes(j.value("error", "")); })
            .on(kCallMessage, [this](const Message &j) { running.take(j); });
    }

    std::string verdict;
    ChannelReader::Message message;
    bool moduleSeen = false;
    FuzzModule module;
    int line = 0;
    std::string overrun;
    std::string error;
    RunningCalls running;
};

// The text of the module's contract check, from its "Assertion failed: TEXT,
// file F, line L" line; empty when there is none.
std::string contractText(const std::string &errors) {
    static const char kMarker[] = "Assertion failed: ";
    const size_t at = errors.find(kMarker);
    if (at == std::string::npos)
        return std::string();
    const size_t start = at + sizeof kMarker - 1;
    size_t end = errors.find('\n', start);
    const size_t file = errors.find(", file ", start);
    if (file != std::string::npos && (end == std::string::npos || file < end))
        end = file;
    return errors.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

// How a child that ended without a verdict failed.
FuzzFailure failureOfEnd(const TrialReport &report, const ChildOutcome &ended,
                         double timeoutSeconds) {
    FuzzFailure f;
    f.line = report.line;
    f.call = report.running.innermostName();
    if (ended.end == ChildOutcome::End::TimedOut) {
        f.kind = FuzzFailure::Kind::Hang;
        f.cause = "no end after " + floatText(timeoutSeconds) + " s";
        return f;
    }
    if (!report.overrun.empty()) {
        f.kind = FuzzFailure::Kind::Guard;
        f.cause = report.overrun;
        return f;
    }
    const std::string heap = heapFault(ended.errors);
    if (!heap.empty()) {
        f.kind = FuzzFailure::Kind::Heap;
        f.cause = heap;
        return f;
    }
    const std::string contract = contractText(ended.errors);
    if (!contract.empty()) {
        f.kind = FuzzFailure::Kind::Contract;
        f.cause = contract;
        return f;
    }
    const std::string cause = crashCause(ended.errors);
    if (cause.find("Sanitizer") != std::string::npos ||
        cause.find("runtime error") != std::string::npos) {
        f.kind = FuzzFailure::Kind::Sanitizer;
        f.cause = cause;
        return f;
    }
    f.kind = FuzzFailure::Kind::Crash;
    f.cause = !cause.empty() ? cause : ChildProcess::crashText(ended);
    if (f.cause.empty())
        f.cause = ChildProcess::describeEnd(ended, timeoutSeconds);
    return f;
}

// How a child that sent a verdict other than a pass failed.
FuzzFailure failureOfVerdict(const TrialReport &report) {
    const ChannelReader::Message &m = report.message;
    FuzzFailure f;
    f.line = m.value("line", 0);
    if (report.verdict == "problem") {
        f.kind = FuzzFailure::Kind::Problem;
        f.cause = m.value("code", "");
        f.detail = utf8ToBytes(m.value("text", ""));
    } else if (report.verdict == "notFinite") {
        f.kind = FuzzFailure::Kind::NotFinite;
        f.cause = "pin " + utf8ToBytes(m.value("pin", "")) + " gives " + m.value("value", "");
        f.call = "process";
        f.detail = "sample " + std::to_string(m.value("sample", 0)) + " of the last process";
    } else {
        f.kind = FuzzFailure::Kind::Leak;
        f.cause = "the module's heap grew each time the last line was carried out again";
        f.detail = "by at least " + std::to_string(m.value("bytes", 0ull)) + " bytes each of " +
                   std::to_string(kLeakRepeats) + " times";
    }
    return f;
}

} // namespace

TrialResult runTrial(const TrialOptions &options, const std::string &script) {
    TrialReport report;
    ChannelReader reader;
    report.listen(reader);
    ChildOptions child;
    child.timeoutSeconds = options.timeoutSeconds;
    child.giveInput = true;
    child.input = script;
    const ChildOutcome ended = ChildProcess::runProgram(
        {options.program, "fuzz", options.libraryPath, "--in-child"}, child, reader.lineHandler());
    if (ended.end == ChildOutcome::End::NotStarted)
        throw HostError("cannot start the module's process: " + ended.startError);
    if (!report.error.empty())
        throw HostError(report.error);

    TrialResult result;
    result.seconds = ended.seconds;
    result.errorOutput = ended.errors;
    result.moduleSeen = report.moduleSeen;
    result.module = report.module;
    const bool exited = ended.end == ChildOutcome::End::Exited && ended.exitCode == 0;
    if (!exited || report.verdict.empty()) {
        result.end = TrialResult::End::Failed;
        result.failure = failureOfEnd(report, ended, options.timeoutSeconds);
        return result;
    }
    if (report.verdict == "pass") {
        // An undefined-behaviour sanitizer reports and goes on.
        const std::string cause = crashCause(ended.errors);
        if (cause.find("runtime error") != std::string::npos) {
            result.end = TrialResult::End::Failed;
            result.failure.kind = FuzzFailure::Kind::Sanitizer;
            result.failure.cause = cause;
        }
        return result;
    }
    if (report.verdict == "invalid") {
        result.end = TrialResult::End::Invalid;
        result.invalid = utf8ToBytes(report.message.value("text", ""));
        result.invalidLine = report.message.value("line", 0);
        return result;
    }
    result.end = TrialResult::End::Failed;
    result.failure = failureOfVerdict(report);
    return result;
}

} // namespace wqhost
