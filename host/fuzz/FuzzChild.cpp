#include "host/fuzz/FuzzChild.h"

#include "host/core/ModuleLibrary.h"
#include "host/core/Session.h"
#include "host/describe/ModuleProbe.h"
#include "host/fuzz/FuzzModule.h"
#include "host/memory/GuardedMemory.h"
#include "host/process/ChildChannel.h"
#include "host/script/ScriptParser.h"
#include "host/script/SessionEngine.h"
#include "host/text/JsonText.h"
#include "host/validate/IsolatedRun.h"

#include "wq_sdk2/wq_interface.h"

#include <cmath>
#include <cstdint>
#include <vector>

namespace wqhost {

namespace {

FuzzModule moduleOf(Session &session) {
    FuzzModule m;
    m.audioSide = session.hasAudioSide();
    m.guiSide = session.hasGuiSide();
    std::vector<const AudioPinSlot *> slots;
    for (const AudioPinSlot &slot : session.audio().audioPins())
        slots.push_back(&slot);
    m.audioPins = !slots.empty();
    for (const PinDeclaration &d : session.pinTable()) {
        FuzzPin p;
        p.index = d.index;
        p.name = d.name;
        p.dataType = d.dataType();
        p.direction = d.direction();
        for (const AudioPinSlot *slot : slots)
            if (slot->declaration == d.index && slot->direction == DR_IN) {
                p.audioControl = slot->datatype != DT_FSAMPLE;
                p.sampleInput = slot->datatype == DT_FSAMPLE;
            }
        m.pins.push_back(p);
    }
    return m;
}

const char *valueWord(float v) { return std::isnan(v) ? "NaN" : v > 0 ? "infinity" : "-infinity"; }

class FuzzSession {
public:
    FuzzSession(SessionEngine &engine, const ChannelWriter &channel)
        : m_engine(engine), m_channel(channel) {}

    // False once a verdict other than a pass was sent.
    bool step(const ScriptCommand &command) {
        const size_t problemsBefore = m_engine.session().problems().size();
        try {
            m_engine.execute(command);
        } catch (const ScriptError &e) {
            send({{"fuzz", "invalid"}, {"line", command.line}, {"text", bytesToUtf8(e.what())}});
            return false;
        } catch (const HostError &e) {
            send({{"fuzz", "invalid"}, {"line", command.line}, {"text", bytesToUtf8(e.what())}});
            return false;
        }
        const std::vector<Problem> problems = m_engine.session().problems();
        if (problems.size() > problemsBefore) {
            const Problem &p = problems[problemsBefore];
            send({{"fuzz", "problem"},
                  {"line", command.line},
                  {"code", problemCodeName(p.code)},
                  {"text", bytesToUtf8(p.text)}});
            return false;
        }
        if (command.op == ScriptOp::Process && !outputsFinite(command.line))
            return false;
        return true;
    }

    // Carries `command`, a pin change, out again and again: a module whose
    // heap grows by a good amount every time leaks on it.
    bool leakCheck(const ScriptCommand &command) {
        if (command.op != ScriptOp::Set)
            return true;
        const LeakMeasure measure = measureLeak([&] { return step(command); });
        if (measure.verdict == LeakMeasure::Verdict::StepFailed)
            return false;
        if (measure.verdict != LeakMeasure::Verdict::Leaks)
            return true;
        send({{"fuzz", "leak"}, {"line", command.line}, {"bytes", measure.leastGrowth}});
        return false;
    }

    void send(const nlohmann::json &message) const { m_channel.send(message); }

private:
    bool outputsFinite(int line) {
        for (const AudioPinSlot &slot : m_engine.session().audio().audioPins()) {
            if (slot.direction != DR_OUT || slot.datatype != DT_FSAMPLE)
                continue;
            const SampleCapture *capture = m_engine.streams().captured(slot.index);
            if (!capture)
                continue;
            for (size_t i = 0; i < capture->samples.size(); ++i)
                if (!std::isfinite(capture->samples[i])) {
                    std::string name = std::to_string(slot.declaration);
                    for (const PinDeclaration &d : m_engine.session().pinTable())
                        if (d.index == slot.declaration)
                            name += " (\"" + d.name + "\")";
                    send({{"fuzz", "notFinite"},
                          {"line", line},
                          {"pin", bytesToUtf8(name)},
                          {"sample", i},
                          {"value", valueWord(capture->samples[i])}});
                    return false;
                }
        }
        return true;
    }

    SessionEngine &m_engine;
    const ChannelWriter &m_channel;
};

} // namespace

int runFuzzChild(const std::string &libraryPath, const std::string &script, std::FILE *channel) {
    // A module that runs past memory the host handed it crashes; the
    // channel then says which memory.
    reportGuardFaultsTo(channel);
    const ChannelWriter writer(channel);
    std::vector<ScriptCommand> commands;
    try {
        commands = parseScript(script);
    } catch (const ScriptError &e) {
        writer.send(nlohmann::json{
            {"fuzz", "invalid"}, {"line", e.line()}, {"text", bytesToUtf8(e.what())}});
        return 0;
    }

    childStep(channel, "loading the library");
    auto library = ModuleLibrary::load(libraryPath);
    CallLog probeLog;
    probeLog.setJsonSink(channel);
    childStep(channel, "looking at the module's description and pins");
    const ModuleProbe probe = probeModule(library, 0, &probeLog);
    Session::Options options;
    options.audio.pinCount = probe.audioPinCount();
    options.playAudio = true;
    Session session(library, options);
    session.setTrace(channel);
    // The calls go to the channel only: a log that kept them would grow
    // with the session and hide a leak among the host's own blocks where
    // the heap cannot tell the module's from the host's.
    session.log().setKeeping(false);
    childStep(channel, "starting the session");
    if (!probe.problems.empty()) {
        const Problem &p = probe.problems.front();
        writer.send(nlohmann::json{{"fuzz", "problem"},
                                   {"line", 0},
                                   {"code", problemCodeName(p.code)},
                                   {"text", bytesToUtf8(p.text)}});
        return 0;
    }
    const size_t startProblems = session.problems().size();
    session.start();
    if (session.problems().size() > startProblems) {
        const Problem p = session.problems()[startProblems];
        writer.send(nlohmann::json{{"fuzz", "problem"},
                                   {"line", 0},
                                   {"code", problemCodeName(p.code)},
                                   {"text", bytesToUtf8(p.text)}});
        return 0;
    }
    writer.send(nlohmann::json{{"module", moduleOf(session).toJson()}});
    SessionEngine engine(session);
    FuzzSession fuzz(engine, writer);

    for (const ScriptCommand &command : commands) {
        childStep(channel, "line " + std::to_string(command.line));
        if (!fuzz.step(command))
            return 0;
    }
    if (!commands.empty()) {
        childStep(channel, "line " + std::to_string(commands.back().line));
        if (!fuzz.leakCheck(commands.back()))
            return 0;
    }
    childStep(channel, "closing the session");
    session.stop();
    session.setTrace(nullptr);
    writer.send(nlohmann::json{{"fuzz", "pass"}});
    return 0;
}

} // namespace wqhost
