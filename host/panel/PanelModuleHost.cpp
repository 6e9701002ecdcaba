#include "host/panel/PanelModuleHost.h"

#include "host/describe/ModuleProbe.h"
#include "host/platform/HostError.h"
#include "host/process/PipedChild.h"
#include "host/text/JsonText.h"

#include <algorithm>
#include <sstream>

namespace wqhost {

namespace {

using nlohmann::json;

// A GUI callback of the module that writes pin `index`.
bool isModuleWrite(const CallRecord &c) {
    return c.kind == CallKind::Callback && c.side == Side::Gui &&
           (c.opcode == GH_PIN_SET_TEXT || c.opcode == GH_PIN_SET_VALUE ||
            c.opcode == GH_PIN_SET_LIST_TEXT);
}

json descriptionJson(const ModuleDescription &d) {
    if (!d.ok)
        return nullptr;
    return {
        {"name", bytesToUtf8(d.name)}, {"id", bytesToUtf8(d.id)}, {"about", bytesToUtf8(d.about)}};
}

json pinTableJson(const std::vector<PinDeclaration> &table) {
    json pins = json::array();
    for (const PinDeclaration &p : table) {
        json pin = {{"index", p.index},
                    {"name", bytesToUtf8(p.name)},
                    {"direction", pinDirectionName(p.direction())},
                    {"dataType", dataTypeName(p.dataType())},
                    {"kind", pinKindOf(p.dataType()) == PinKind::Integer ? "int"
                             : pinKindOf(p.dataType()) == PinKind::Float ? "float"
                                                                         : "text"},
                    {"flags", pinFlagNames(p.flags())}};
        pins.push_back(std::move(pin));
    }
    return pins;
}

// The words of a signal as the page writes it ("sine 440 0.5").
std::vector<std::string> signalWords(const std::string &text) {
    std::vector<std::string> words;
    std::istringstream in(text);
    for (std::string w; in >> w;)
        words.push_back(w);
    return words;
}

// The session command a request (checked by parsePanelRequest) stands for.
ScriptCommand commandOf(const json &request) {
    ScriptCommand c;
    const std::string op = request.value("op", "");
    c.source = op;
    if (op == "set") {
        c.op = ScriptOp::Set;
        c.pin.index = request.at("pin").get<int32_t>();
        const std::string form = request.value("form", "text");
        const json &value = request.at("value");
        if (form == "int") {
            c.form = SetForm::Int;
            c.value.kind = ScriptValue::Kind::Int;
            c.value.integer = value.get<int32_t>();
        } else if (form == "float") {
            c.form = SetForm::Float;
            c.value.kind = ScriptValue::Kind::Float;
            c.value.real = value.get<float>();
        } else {
            c.form = SetForm::Text;
            c.value.text = utf8ToBytes(value.get<std::string>());
        }
    } else if (op == "echo") {
        c.op = ScriptOp::Echo;
        c.on = request.at("on").get<bool>();
    } else if (op == "open") {
        c.op = ScriptOp::Open;
    } else if (op == "close") {
        c.op = ScriptOp::Close;
    } else if (op == "recreate") {
        c.op = ScriptOp::Recreate;
    } else if (op == "process") {
        c.op = ScriptOp::Process;
        c.number = request.at("blocks").get<int32_t>();
    } else if (op == "rate") {
        c.op = ScriptOp::Rate;
        c.value.kind = ScriptValue::Kind::Float;
        c.value.real = request.at("hz").get<float>();
    } else if (op == "block") {
        c.op = ScriptOp::Block;
        c.number = request.at("size").get<int32_t>();
    } else if (op == "signal") {
        c.op = ScriptOp::Signal;
        c.pin.index = request.at("pin").get<int32_t>();
        c.signal = parseSignalSpec(signalWords(request.at("signal").get<std::string>()));
    } else {
        throw ScriptError(0, "unknown request '" + op + "'");
    }
    return c;
}

} // namespace

PanelModuleHost::PanelModuleHost(std::string libraryPath, std::FILE *out)
    : m_path(std::move(libraryPath)), m_out(out), m_channel(out) {}

PanelModuleHost::~PanelModuleHost() {
    if (m_session)
        m_session->setTrace(nullptr);
}

void PanelModuleHost::emit(const json &event) { m_channel.send(event); }

json PanelModuleHost::pinValueJson(const PinValue &pin, const std::vector<float> *samples) {
    json v = {{"index", pin.index}};
    switch (pin.kind) {
    case PinKind::Integer: v["value"] = pin.integer; break;
    case PinKind::Float: v["value"] = pin.real; break;
    case PinKind::Text: v["value"] = bytesToUtf8(pin.text); break;
    }
    if (pin.datatype == DT_ENUM)
        v["listText"] = bytesToUtf8(pin.listText);
    if (samples)
        v["samples"] = *samples;
    return v;
}

std::vector<float> PanelModuleHost::samplesOf(int32_t pin) const {
    // A sample pin's buffer is the one of its audio-side pin: the pins that
    // get one are numbered in declaration order.
    int32_t audioPin = 0;
    for (const PinDeclaration &d : m_session->pinTable()) {
        if (d.index == pin)
            break;
        if (d.getsAudioPin())
            ++audioPin;
    }
    AudioHost &audio = m_session->audio();
    if (!audio.hasPinBuffer(audioPin))
        return {};
    const float *buffer = audio.pinBuffer(audioPin);
    return std::vector<float>(buffer, buffer + audio.blockSize());
}

void PanelModuleHost::emitPins(const std::vector<PinValue> &before, bool all, int32_t userPin) {
    json pins = json::array();
    json changed = json::array();
    if (m_session->isRunning()) {
        const std::vector<PinValue> now = m_session->readPins();
        std::vector<int32_t> written;
        for (const CallRecord &c : m_session->log().calls())
            if (isModuleWrite(c))
                written.push_back(c.index);
        for (const PinValue &p : now) {
            std::vector<float> samples;
            const bool sampled = p.datatype == DT_FSAMPLE;
            if (sampled)
                samples = samplesOf(p.index);
            pins.push_back(pinValueJson(p, sampled ? &samples : nullptr));
        }
        for (const PinValue &p : all ? now : changedPins(before, now)) {
            const bool byModule =
                std::find(written.begin(), written.end(), p.index) != written.end();
            // A pin the user did not set changed through the module alone.
            if (!byModule && (all || p.index != userPin))
                continue;
            changed.push_back({{"index", p.index}, {"byModule", byModule}});
        }
    }
    emit({{"event", "pins"}, {"pins", pins}, {"changed", changed}});
}

void PanelModuleHost::emitProblem(const Problem &problem) {
    emit({{"event", "problem"},
          {"code", problemCodeName(problem.code)},
          {"text", bytesToUtf8(problem.text)}});
}

void PanelModuleHost::emitProblemsAndStatus() {
    // Each host's list only grows; what is new in each is sent once.
    const auto sendNew = [this](const std::vector<Problem> &problems, size_t &sent) {
        for (size_t i = sent; i < problems.size(); ++i)
            emitProblem(problems[i]);
        sent = std::max(sent, problems.size());
    };
    sendNew(m_session->audio().problems(), m_audioProblemsSent);
    sendNew(m_session->gui().problems(), m_guiProblemsSent);
    emit({{"event", "status"},
          {"open", m_session->isRunning()},
          {"echo", m_session->gui().echo()},
          {"sides", {{"audio", m_session->hasAudioSide()}, {"gui", m_session->hasGuiSide()}}}});
}

void PanelModuleHost::start() {
    try {
        auto library = ModuleLibrary::load(m_path);
        CallLog probeLog;
        probeLog.setKeeping(false);
        probeLog.setJsonSink(m_out);
        const ModuleProbe probe = probeModule(library, 0, &probeLog);
        for (const Problem &p : probe.problems)
            emitProblem(p);
        Session::Options options;
        options.audio.pinCount = probe.audioPinCount();
        // Driven as a player drives it: the page's signals feed the audio
        // inputs, and the rate and block size it chooses reach the module.
        options.playAudio = true;
        m_session = std::make_unique<Session>(library, options);
        m_session->setTrace(m_out);
        m_engine = std::make_unique<SessionEngine>(*m_session);
        emit({{"event", "module"},
              {"library", bytesToUtf8(m_path)},
              {"description", descriptionJson(probe.description)},
              {"pins", pinTableJson(probe.pins)}});
        m_session->start();
        emitPins({}, true, -1);
        emitProblemsAndStatus();
    } catch (const HostError &e) {
        emit({{"event", "error"}, {"message", bytesToUtf8(e.what())}});
        if (m_session)
            emitProblemsAndStatus();
    }
    if (m_session)
        m_session->log().clear();
    emitDone();
}

void PanelModuleHost::handle(const json &request) {
    if (!m_session || !m_engine)
        throw HostError("the module is not loaded");
    const ScriptCommand command = commandOf(request);
    m_session->log().clear();
    // Blocks played in real time come without their calls: thousands a
    // second would flood the page.
    const bool calls = request.value("calls", true);
    if (!calls)
        m_session->setTrace(nullptr);
    SessionStep step;
    try {
        step = m_engine->execute(command);
    } catch (...) {
        m_session->setTrace(m_out);
        throw;
    }
    m_session->setTrace(m_out);
    emitPins(step.before, step.report == StepReport::Opened, step.pin);
    emitProblemsAndStatus();
    m_session->log().clear();
}

void PanelModuleHost::handleLine(const std::string &line) {
    try {
        handle(json::parse(line));
    } catch (const ScriptError &e) {
        emit({{"event", "error"}, {"message", bytesToUtf8(e.what())}});
        if (m_session)
            emitProblemsAndStatus();
    } catch (const HostError &e) {
        emit({{"event", "error"}, {"message", bytesToUtf8(e.what())}});
        if (m_session)
            emitProblemsAndStatus();
    } catch (const json::exception &e) {
        emit({{"event", "error"}, {"message", std::string("bad request: ") + e.what()}});
    } catch (const std::exception &e) {
        emit({{"event", "error"}, {"message", std::string("the host failed: ") + e.what()}});
    }
    emitDone();
}

int PanelModuleHost::serve(std::FILE *in) {
    std::string line;
    for (int c; (c = std::fgetc(in)) != EOF;) {
        if (c != '\n') {
            line += static_cast<char>(c);
            continue;
        }
        if (!line.empty())
            handleLine(line);
        line.clear();
    }
    return 0;
}

int runPanelChild(const std::string &libraryPath) {
    std::FILE *channel = PipedChild::takeOutputChannel();
    PanelModuleHost host(libraryPath, channel ? channel : stdout);
    host.start();
    return host.serve(stdin);
}

} // namespace wqhost
