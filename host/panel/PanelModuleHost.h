// PanelModuleHost - the module's side of `wqhost panel`: runs in a child
// process of its own, holds a Session of the module and carries out the
// panel's requests, one JSON object a line on its input, answering with JSON
// lines on its output. Each request is a session command, carried out by the
// session engine that `wqhost run` uses too; what is the panel's own is the
// JSON in and out.
//
// Requests ("op"):
//   {"op":"set","pin":N,"form":"text"|"int"|"float","value":...}
//   {"op":"echo","on":true|false}
//   {"op":"open"} {"op":"close"} {"op":"recreate"}
//   {"op":"process","blocks":N[,"calls":false]}
//   {"op":"rate","hz":R} {"op":"block","size":N}
//   {"op":"signal","pin":N,"signal":"sine 440 0.5"}   what feeds an audio input
// Output lines, in the order things happen:
//   every call of the session as the call log's JSON lines ("phase" "call"
//     and "return"), flushed one by one, so that the last call before a
//     crash reaches the parent;
//   {"event":"module","description":{...},"pins":[...]} once at the start;
//   {"event":"pins","pins":[...],"changed":[{"index":N,"byModule":B}...]};
//   {"event":"problem","code":...,"text":...} for each fault the host found;
//   {"event":"status","open":B,"echo":B,"sides":{"audio":B,"gui":B}};
//   {"event":"error","message":...} when a request cannot be carried out;
//   {"event":"done"} after the answer to each request (and after the start).
// Texts are mapped byte for byte to code points (JsonText).
#pragma once

#include "host/core/Session.h"
#include "host/process/ChildChannel.h"
#include "host/script/SessionEngine.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <memory>
#include <string>

namespace wqhost {

class PanelModuleHost {
public:
    // Writes to `out` (not owned). Nothing runs until start().
    PanelModuleHost(std::string libraryPath, std::FILE *out);
    ~PanelModuleHost();

    // Loads the library, reads its description and pin table and starts
    // the session. A library that cannot be loaded or refuses its objects
    // is reported as an error line.
    void start();

    // Carries out one request line.
    void handleLine(const std::string &line);

    // Reads request lines from `in` until it ends. Returns the exit status.
    int serve(std::FILE *in);

    // One pin value as the panel shows it.
    static nlohmann::json pinValueJson(const PinValue &pin, const std::vector<float> *samples);

private:
    void handle(const nlohmann::json &request);
    void emit(const nlohmann::json &event);
    void emitPins(const std::vector<PinValue> &before, bool all, int32_t userPin);
    void emitProblem(const Problem &problem);
    void emitProblemsAndStatus();
    void emitDone() { emit({{"event", "done"}}); }
    std::vector<float> samplesOf(int32_t pin) const;

    std::string m_path;
    std::FILE *m_out;
    ChannelWriter m_channel;
    std::unique_ptr<Session> m_session;
    std::unique_ptr<SessionEngine> m_engine; // on m_session
    size_t m_audioProblemsSent = 0;
    size_t m_guiProblemsSent = 0;
};

// `wqhost panel LIB --child`: the module host on standard input and output.
int runPanelChild(const std::string &libraryPath);

} // namespace wqhost
