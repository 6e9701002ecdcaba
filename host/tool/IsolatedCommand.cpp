#include "host/tool/IsolatedCommand.h"

#include "host/process/ChildProcess.h"
#include "host/process/CommandLine.h"
#include "host/platform/CrashReport.h"
#include "host/platform/HostError.h"
#include "host/platform/LibraryFile.h"
#include "host/text/NumberText.h"
#include "host/tool/Commands.h"
#include "host/text/JsonText.h"
#include "host/trace/CallLog.h"
#include "host/trace/RunningCalls.h"

#include <nlohmann/json.hpp>

#include <iostream>
#include <streambuf>

namespace wqtool {

namespace {

void sendLine(std::FILE *channel, const nlohmann::json &line) {
    const std::string text = line.dump() + "\n";
    std::fputs(text.c_str(), channel);
    std::fflush(channel);
}

// A stream buffer that sends what is written to it through the channel,
// a line at a time, as {"<key>":"text"}.
class ChannelBuffer : public std::streambuf {
public:
    ChannelBuffer(std::FILE *channel, const char *key) : m_channel(channel), m_key(key) {}

protected:
    int_type overflow(int_type c) override {
        if (c != traits_type::eof()) {
            m_pending.push_back(static_cast<char>(c));
            if (c == '\n')
                send();
        }
        return traits_type::not_eof(c);
    }
    std::streamsize xsputn(const char *s, std::streamsize n) override {
        m_pending.append(s, static_cast<size_t>(n));
        if (m_pending.find('\n') != std::string::npos)
            send();
        return n;
    }
    int sync() override {
        send();
        return 0;
    }

private:
    void send() {
        if (m_pending.empty())
            return;
        sendLine(m_channel, {{m_key, wqhost::bytesToUtf8(m_pending)}});
        m_pending.clear();
    }

    std::FILE *m_channel;
    const char *m_key;
    std::string m_pending;
};

// What the parent learns from the child's channel.
class ChildReader {
public:
    explicit ChildReader(std::FILE *trace) : m_trace(trace) {}

    void line(const std::string &text) {
        if (text.empty() || text[0] != '{')
            return;
        const nlohmann::ordered_json j = nlohmann::ordered_json::parse(text, nullptr, false);
        if (j.is_discarded() || !j.is_object())
            return;
        if (j.contains("out")) {
            std::cout << wqhost::utf8ToBytes(j.value("out", "")) << std::flush;
        } else if (j.contains("err")) {
            std::cout.flush();
            std::cerr << wqhost::utf8ToBytes(j.value("err", "")) << std::flush;
        } else if (j.contains("error")) {
            error = wqhost::utf8ToBytes(j.value("error", ""));
        } else if (j.contains("exit")) {
            exitSeen = true;
            exitStatus = j.value("exit", 1);
        } else if (j.contains("step")) {
            lastStep = wqhost::utf8ToBytes(j.value("step", ""));
        } else if (running.take(j) && m_trace) {
            std::fputs((text + "\n").c_str(), m_trace);
        }
    }

    wqhost::RunningCalls running;
    std::string lastStep;
    std::string error;
    bool exitSeen = false;
    int exitStatus = 1;

private:
    std::FILE *m_trace;
};

} // namespace

int runIsolated(const IsolatedCall &call) {
    std::vector<std::string> argv = {wqhost::ChildProcess::currentProgram()};
    argv.insert(argv.end(), call.arguments.begin(), call.arguments.end());
    wqhost::ChildOptions options;
    options.timeoutSeconds = call.timeoutSeconds;
    options.giveInput = call.giveInput;
    options.input = call.input;
    ChildReader reader(call.trace);
    std::cout.flush();
    const wqhost::ChildOutcome ended = wqhost::ChildProcess::runProgram(
        argv, options, [&reader](const std::string &line) { reader.line(line); });
    if (ended.end == wqhost::ChildOutcome::End::NotStarted)
        throw ToolError("cannot start the module's process: " + ended.startError);

    // What the module itself printed (its standard output goes there too).
    std::cout.flush();
    if (!ended.errors.empty()) {
        std::cerr << ended.errors;
        if (ended.errors.back() != '\n')
            std::cerr << "\n";
        std::cerr.flush();
    }
    if (!reader.error.empty()) {
        // A library the loader refused may say why in its file.
        const std::string hint = wqhost::libraryHint(libraryPath(call.libraryArgument));
        throw ToolError(reader.error + (hint.empty() ? "" : "\nhint: " + hint));
    }
    if (reader.exitSeen && ended.end == wqhost::ChildOutcome::End::Exited)
        return reader.exitStatus;

    // The child ended without its last line: the module took it down.
    std::string what;
    const std::string crash = wqhost::ChildProcess::crashText(ended);
    if (ended.end == wqhost::ChildOutcome::End::TimedOut)
        what = "the module hung (no end after " + wqhost::floatText(call.timeoutSeconds) + " s)";
    else if (!crash.empty())
        what = "the module crashed (" + crash + ")";
    else
        what = "the module ended the process (" +
               wqhost::ChildProcess::describeEnd(ended, call.timeoutSeconds) + ")";
    if (!reader.running.empty())
        what += " in " + reader.running.innermostName();
    else if (!reader.lastStep.empty())
        what += " while " + reader.lastStep;
    what += "; wqhost validate " + wqhost::commandWord(call.libraryArgument) + " shows more";
    std::cerr << "wqhost: " << what << "\n" << std::flush;
    return 1;
}

void serveInChild(const std::function<int(std::FILE *channel)> &work) {
    std::FILE *channel = wqhost::ChildProcess::takeChannel();
    if (!channel)
        wqhost::ChildProcess::endNow(70);
    ChannelBuffer out(channel, "out");
    ChannelBuffer err(channel, "err");
    std::cout.rdbuf(&out);
    std::cerr.rdbuf(&err);
    int status = 2;
    try {
        status = work(channel);
    } catch (const ToolError &e) {
        std::cout.flush();
        sendLine(channel, {{"error", wqhost::bytesToUtf8(e.what())}});
    } catch (const wqhost::HostError &e) {
        std::cout.flush();
        sendLine(channel, {{"error", wqhost::bytesToUtf8(e.what())}});
    } catch (...) {
        // An exception the module let escape is a crash of the module, named
        // as such; the parent reports the call it left.
        std::cout.flush();
        if (wqhost::CallLog::leftByException())
            wqhost::abortOnEscapedException(std::string());
        try {
            throw;
        } catch (const std::exception &e) {
            sendLine(channel,
                     {{"error", wqhost::bytesToUtf8(std::string("internal error: ") + e.what())}});
        }
    }
    std::cout.flush();
    std::cerr.flush();
    sendLine(channel, {{"exit", status}});
    wqhost::ChildProcess::endNow(status);
}

void childStep(std::FILE *channel, const std::string &what) {
    if (channel)
        sendLine(channel, {{"step", wqhost::bytesToUtf8(what)}});
}

} // namespace wqtool
