#include "host/validate/IsolatedRun.h"

#include "host/validate/HeapFault.h"

#include "host/process/ChildChannel.h"
#include "host/process/ChildProcess.h"
#include "host/process/CommandLine.h"
#include "host/platform/CrashReport.h"
#include "host/platform/HostError.h"
#include "host/platform/LibraryFile.h"
#include "host/text/NumberText.h"
#include "host/text/JsonText.h"
#include "host/trace/CallLog.h"
#include "host/trace/RunningCalls.h"

#include <nlohmann/json.hpp>

#include <iostream>
#include <streambuf>

namespace wqhost {

namespace {

// A stream buffer that sends what is written to it through the channel,
// a line at a time, as {"<key>":"text"}.
class ChannelBuffer : public std::streambuf {
public:
    ChannelBuffer(const wqhost::ChannelWriter &channel, const char *key)
        : m_channel(channel), m_key(key) {}

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
        m_channel.send(nlohmann::json{{m_key, wqhost::bytesToUtf8(m_pending)}});
        m_pending.clear();
    }

    const wqhost::ChannelWriter &m_channel;
    const char *m_key;
    std::string m_pending;
};

// What the parent learns from the child's channel; what the command
// printed is printed as it comes.
struct ChildReport {
    void listen(wqhost::ChannelReader &reader) {
        using Message = wqhost::ChannelReader::Message;
        reader
            .on("out",
                [](const Message &j) {
                    std::cout << wqhost::utf8ToBytes(j.value("out", "")) << std::flush;
                })
            .on("err",
                [](const Message &j) {
                    std::cout.flush();
                    std::cerr << wqhost::utf8ToBytes(j.value("err", "")) << std::flush;
                })
            .on("error",
                [this](const Message &j) { error = wqhost::utf8ToBytes(j.value("error", "")); })
            .on("exit",
                [this](const Message &j) {
                    exitSeen = true;
                    exitStatus = j.value("exit", 1);
                })
            .on("step",
                [this](const Message &j) { lastStep = wqhost::utf8ToBytes(j.value("step", "")); })
            .on(wqhost::kCallMessage, [this](const Message &j) { running.take(j); });
    }

    wqhost::RunningCalls running;
    std::string lastStep;
    std::string error;
    bool exitSeen = false;
    int exitStatus = 1;
};

} // namespace

int runIsolated(const IsolatedCall &call) {
    std::vector<std::string> argv = {wqhost::ChildProcess::currentProgram()};
    argv.insert(argv.end(), call.arguments.begin(), call.arguments.end());
    wqhost::ChildOptions options;
    options.timeoutSeconds = call.timeoutSeconds;
    options.giveInput = call.giveInput;
    options.input = call.input;
    ChildReport reader;
    wqhost::ChannelReader channel;
    reader.listen(channel);
    channel.relayTo(call.trace, wqhost::ChannelReader::Relay::Calls);
    std::cout.flush();
    const wqhost::ChildOutcome ended =
        wqhost::ChildProcess::runProgram(argv, options, channel.lineHandler());
    if (ended.end == wqhost::ChildOutcome::End::NotStarted)
        throw wqhost::HostError("cannot start the module's process: " + ended.startError);

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
        const std::string hint = wqhost::libraryHint(call.libraryPath);
        throw wqhost::HostError(reader.error + (hint.empty() ? "" : "\nhint: " + hint));
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
    const std::string heap = wqhost::heapFault(ended.errors);
    if (!heap.empty())
        what += ": " + heap;
    what += "; wqhost validate " + wqhost::commandWord(call.libraryArgument) + " shows more";
    std::cerr << "wqhost: " << what << "\n" << std::flush;
    return 1;
}

void serveInChild(const std::function<int(std::FILE *channel)> &work) {
    std::FILE *file = wqhost::ChildProcess::takeChannel();
    if (!file)
        wqhost::ChildProcess::endNow(70);
    const wqhost::ChannelWriter channel(file);
    ChannelBuffer out(channel, "out");
    ChannelBuffer err(channel, "err");
    std::cout.rdbuf(&out);
    std::cerr.rdbuf(&err);
    int status = 2;
    try {
        status = work(file);
    } catch (const wqhost::HostError &e) {
        std::cout.flush();
        channel.send(nlohmann::json{{"error", wqhost::bytesToUtf8(e.what())}});
    } catch (...) {
        // An exception the module let escape is a crash of the module, named
        // as such; the parent reports the call it left.
        std::cout.flush();
        if (wqhost::CallLog::leftByException())
            wqhost::abortOnEscapedException(std::string());
        try {
            throw;
        } catch (const std::exception &e) {
            channel.send(nlohmann::json{
                {"error", wqhost::bytesToUtf8(std::string("internal error: ") + e.what())}});
        }
    }
    std::cout.flush();
    std::cerr.flush();
    channel.send(nlohmann::json{{"exit", status}});
    wqhost::ChildProcess::endNow(status);
}

void childStep(std::FILE *channel, const std::string &what) {
    wqhost::ChannelWriter(channel).send(nlohmann::json{{"step", wqhost::bytesToUtf8(what)}});
}

} // namespace wqhost
