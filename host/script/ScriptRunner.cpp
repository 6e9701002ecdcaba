#include "host/script/ScriptRunner.h"

#include "host/platform/HostError.h"
#include "host/trace/CallText.h"
#include "host/describe/TextReport.h"

namespace wqhost {

namespace {

std::string valueText(const PinValue &p) {
    switch (p.kind) {
    case PinKind::Integer: return std::to_string(p.integer);
    case PinKind::Float: return PinStore::formatFloat(p.real);
    case PinKind::Text: break;
    }
    return quoteText(p.text);
}

} // namespace

ScriptRunner::ScriptRunner(Session &session, std::ostream &out, std::ostream &err,
                           std::string sourceName)
    : ScriptRunner(session, out, err, std::move(sourceName), Options()) {}

ScriptRunner::ScriptRunner(Session &session, std::ostream &out, std::ostream &err,
                           std::string sourceName, Options options)
    : m_session(session), m_out(out), m_err(err), m_name(std::move(sourceName)),
      m_options(options) {}

void ScriptRunner::printStart() {
    m_out << "Module\n"
          << formatDescription(m_session.description()) << "Pins\n"
          << formatPinTable(m_session.pinTable());
    if (m_session.isRunning())
        m_out << "Pin values\n" << formatPinValues(m_session.readPins());
    for (const Problem &p : m_session.problems())
        m_out << "  problem: " << p.text << "\n";
    m_out.flush();
}

void ScriptRunner::run(const std::vector<ScriptCommand> &commands) {
    for (const ScriptCommand &c : commands)
        if (!execute(c))
            return;
}

bool ScriptRunner::execute(const ScriptCommand &command) {
    if (command.op == ScriptOp::Quit)
        return false;
    if (command.op == ScriptOp::Help) {
        m_out << scriptHelpText();
        m_out.flush();
        return true;
    }
    const bool expectation = command.op == ScriptOp::ExpectPin ||
                             command.op == ScriptOp::ExpectChoices ||
                             command.op == ScriptOp::ExpectProblems;
    // An expectation shares its line with its verdict; every other step
    // starts a paragraph of its own.
    if (m_options.showCommands)
        m_out << (expectation ? "> " : "\n> ") << command.source << (expectation ? "" : "\n");
    try {
        step(command);
    } catch (const HostError &e) {
        m_out << (expectation && m_options.showCommands ? "\n" : "") << std::flush;
        throw ScriptError(command.line, e.what());
    } catch (const ScriptError &) {
        m_out << (expectation && m_options.showCommands ? "\n" : "") << std::flush;
        throw;
    }
    m_out.flush();
    return true;
}

void ScriptRunner::requireRunning(const ScriptCommand &command) const {
    if (!m_session.isRunning())
        throw ScriptError(command.line, "the module is closed (use open)");
}

int32_t ScriptRunner::resolvePin(const ScriptCommand &command) const {
    if (!command.pin.named)
        return command.pin.index;
    for (const PinDeclaration &d : m_session.pinTable())
        if (d.nameWritten && d.name == command.pin.name)
            return d.index;
    if (!command.alias.empty())
        throw ScriptError(command.line, "'" + command.alias + "' sets the pin named " +
                                            quoteText(command.pin.name) +
                                            ", and this module has no such pin");
    throw ScriptError(command.line, "no pin is named " + quoteText(command.pin.name));
}

void ScriptRunner::step(const ScriptCommand &command) {
    const bool running = m_session.isRunning();
    const std::vector<PinValue> before = running ? m_session.readPins() : std::vector<PinValue>();
    const uint64_t firstCall = m_session.log().nextSeq();
    const size_t problemsBefore = m_session.problems().size();

    switch (command.op) {
    case ScriptOp::Set: {
        requireRunning(command);
        const int32_t pin = resolvePin(command);
        const ScriptValue &v = command.value;
        switch (command.form == SetForm::Auto
                    ? (v.kind == ScriptValue::Kind::Text  ? SetForm::Text
                       : v.kind == ScriptValue::Kind::Int ? SetForm::Int
                                                          : SetForm::Float)
                    : command.form) {
        case SetForm::Text:
        case SetForm::Auto: m_session.setPinText(pin, v.text); break;
        case SetForm::Int: m_session.setPinInt(pin, v.integer); break;
        case SetForm::Float: m_session.setPinFloat(pin, v.real); break;
        }
        break;
    }
    case ScriptOp::Show:
        if (running)
            m_out << formatPinValues(m_session.readPins());
        else
            m_out << "  (the module is closed)\n";
        return;
    case ScriptOp::Echo:
        m_session.gui().setEcho(command.on);
        m_out << "  echo " << (command.on ? "on" : "off") << "\n";
        return;
    case ScriptOp::Trace:
        m_trace = command.on;
        m_out << "  trace " << (command.on ? "on" : "off") << "\n";
        return;
    case ScriptOp::Open:
        if (running)
            throw ScriptError(command.line, "the module is open already (use recreate)");
        m_session.start();
        break;
    case ScriptOp::Close:
        requireRunning(command);
        m_session.stop();
        break;
    case ScriptOp::Recreate:
        if (running)
            m_session.restart();
        else
            m_session.start();
        break;
    case ScriptOp::Process:
        requireRunning(command);
        if (!m_session.hasAudioSide())
            throw ScriptError(command.line, "the module has no audio side to process");
        m_session.audio().processBlocks(command.number);
        break;
    case ScriptOp::ExpectPin:
        requireRunning(command);
        expectPin(command);
        return;
    case ScriptOp::ExpectChoices:
        requireRunning(command);
        expectChoices(command);
        return;
    case ScriptOp::ExpectProblems: expectProblems(command); return;
    case ScriptOp::Help:
    case ScriptOp::Quit: return;
    }

    const bool opened = command.op == ScriptOp::Open || command.op == ScriptOp::Recreate;
    if (opened) {
        m_out << formatPinValues(m_session.readPins());
        printChanges({}, firstCall, problemsBefore);
    } else if (command.op == ScriptOp::Close) {
        m_out << "  (closed)\n";
        printChanges({}, firstCall, problemsBefore);
    } else {
        printChanges(before, firstCall, problemsBefore);
    }
}

void ScriptRunner::printChanges(const std::vector<PinValue> &before, uint64_t firstCall,
                                size_t problemsBefore) {
    if (m_trace) {
        for (const CallRecord &c : m_session.log().calls())
            if (c.seq >= firstCall)
                m_out << callText(c, CallForm::Trace) << "\n";
    }
    if (!before.empty() && m_session.isRunning()) {
        const std::vector<PinValue> now = m_session.readPins();
        const std::vector<PinValue> changed = changedPins(before, now);
        if (changed.empty())
            m_out << "  (no pin changed)\n";
        else
            m_out << formatPinValues(changed, pinNameWidth(now));
    }
    const std::vector<Problem> problems = m_session.problems();
    for (size_t i = problemsBefore; i < problems.size(); ++i)
        m_out << "  problem: " << problems[i].text << "\n";
}

void ScriptRunner::expectation(const ScriptCommand &command, bool holds,
                               const std::string &actual) {
    if (holds) {
        ++m_passed;
        m_out << "  ok\n";
        return;
    }
    ++m_failed;
    m_out << "  FAILED: " << actual << " (line " << command.line << ")\n";
    m_out.flush();
    if (!m_options.errorLines)
        return;
    m_err << m_name << ":" << command.line << ": expectation failed: " << command.source << " ("
          << actual << ")\n";
    m_err.flush();
}

void ScriptRunner::expectPin(const ScriptCommand &command) {
    const int32_t index = resolvePin(command);
    const PinValue &pin = m_session.gui().pins().at(index);
    const ScriptValue &want = command.value;
    bool equal = false;
    if (want.kind == ScriptValue::Kind::Text || pin.kind == PinKind::Text) {
        equal = m_session.gui().pins().text(index) == want.text;
    } else if (pin.kind == PinKind::Integer) {
        equal = want.kind == ScriptValue::Kind::Int && pin.integer == want.integer;
    } else {
        equal = pin.real == want.real;
    }
    const std::string shown = want.kind == ScriptValue::Kind::Text || pin.kind == PinKind::Text
                                  ? quoteText(m_session.gui().pins().text(index))
                                  : valueText(pin);
    expectation(command, equal != command.negated, "pin " + std::to_string(index) + " is " + shown);
}

void ScriptRunner::expectChoices(const ScriptCommand &command) {
    const int32_t index = resolvePin(command);
    const std::string &choices = m_session.gui().pins().listText(index);
    expectation(command, (choices == command.value.text) != command.negated,
                "pin " + std::to_string(index) + " has the choices " + quoteText(choices));
}

void ScriptRunner::expectProblems(const ScriptCommand &command) {
    const std::vector<Problem> problems = m_session.problems();
    const bool equal = static_cast<int32_t>(problems.size()) == command.number;
    std::string actual = "the host found " + std::to_string(problems.size()) + " problem" +
                         (problems.size() == 1 ? "" : "s");
    if (!problems.empty())
        actual += ", the first: " + problems.front().text;
    expectation(command, equal != command.negated, actual);
}

} // namespace wqhost
