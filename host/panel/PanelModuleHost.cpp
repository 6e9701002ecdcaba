#include "host/panel/PanelModuleHost.h"

#include "host/describe/ModuleProbe.h"
#include "host/platform/HostError.h"
#include "host/process/PipedChild.h"
#include "host/text/JsonText.h"

#include <algorithm>

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

} // namespace

PanelModuleHost::PanelModuleHost(std::string libraryPath, std::FILE *out)
    : m_path(std::move(libraryPath)), m_out(out) {}

PanelModuleHost::~PanelModuleHost() {
    if (m_session)
        m_session->setTrace(nullptr);
}

void PanelModuleHost::emit(const json &event) {
    const std::string line = event.dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
    std::fputs(line.c_str(), m_out);
    std::fflush(m_out);
}

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
        m_session = std::make_unique<Session>(library, options);
        m_session->setTrace(m_out);
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
    if (!m_session)
        throw HostError("the module is not loaded");
    Session &s = *m_session;
    const std::string op = request.value("op", "");
    const std::vector<PinValue> before = s.isRunning() ? s.readPins() : std::vector<PinValue>();
    s.log().clear();
    int32_t userPin = -1;
    bool all = false;
    if (op == "set") {
        if (!s.isRunning())
            throw HostError("the module is closed (use open)");
        userPin = request.at("pin").get<int32_t>();
        const std::string form = request.value("form", "text");
        const json &value = request.at("value");
        if (form == "int")
            s.setPinInt(userPin, value.get<int32_t>());
        else if (form == "float")
            s.setPinFloat(userPin, value.get<float>());
        else
            s.setPinText(userPin, utf8ToBytes(value.get<std::string>()));
    } else if (op == "echo") {
        s.gui().setEcho(request.at("on").get<bool>());
    } else if (op == "open") {
        if (s.isRunning())
            throw HostError("the module is open already (use recreate)");
        s.start();
        all = true;
    } else if (op == "close") {
        if (!s.isRunning())
            throw HostError("the module is closed already");
        s.stop();
    } else if (op == "recreate") {
        if (s.isRunning())
            s.restart();
        else
            s.start();
        all = true;
    } else if (op == "process") {
        if (!s.isRunning())
            throw HostError("the module is closed (use open)");
        if (!s.hasAudioSide())
            throw HostError("the module has no audio side to process");
        s.audio().processBlocks(request.at("blocks").get<int>());
    } else if (op == "rate" || op == "block") {
        if (!s.isRunning())
            throw HostError("the module is closed (use open)");
        if (!s.hasAudioSide())
            throw HostError("the module has no audio side to process");
        if (op == "rate")
            s.audio().setSampleRate(request.at("hz").get<float>());
        else
            s.audio().setBlockSize(request.at("size").get<uint32_t>());
    } else {
        throw HostError("unknown request '" + op + "'");
    }
    emitPins(before, all, userPin);
    emitProblemsAndStatus();
    s.log().clear();
}

void PanelModuleHost::handleLine(const std::string &line) {
    try {
        handle(json::parse(line));
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
