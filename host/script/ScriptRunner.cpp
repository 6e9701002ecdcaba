#include "host/script/ScriptRunner.h"

#include "host/describe/TextReport.h"
#include "host/platform/HostError.h"
#include "host/script/SessionCommands.h"
#include "host/trace/CallText.h"

namespace wqhost {

ScriptRunner::ScriptRunner(Session &session, std::ostream &out, std::ostream &err,
                           std::string sourceName)
    : ScriptRunner(session, out, err, std::move(sourceName), Options()) {}

ScriptRunner::ScriptRunner(Session &session, std::ostream &out, std::ostream &err,
                           std::string sourceName, Options options)
    : m_engine(session), m_out(out), m_err(err), m_name(std::move(sourceName)), m_options(options) {
}

void ScriptRunner::printStart() {
    const Session &session = m_engine.session();
    m_out << "Module\n"
          << formatDescription(session.description()) << "Pins\n"
          << formatPinTable(session.pinTable());
    if (session.isRunning())
        m_out << "Pin values\n" << formatPinValues(session.readPins());
    for (const Problem &p : session.problems())
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
    // An expectation shares its line with its verdict; every other step
    // starts a paragraph of its own.
    const bool verdict = commandRow(command.op).report == StepReport::Verdict;
    if (m_options.showCommands)
        m_out << (verdict ? "> " : "\n> ") << command.source << (verdict ? "" : "\n");
    try {
        show(command, m_engine.execute(command));
    } catch (const HostError &e) {
        m_out << (verdict && m_options.showCommands ? "\n" : "") << std::flush;
        throw ScriptError(command.line, e.what());
    } catch (const ScriptError &) {
        m_out << (verdict && m_options.showCommands ? "\n" : "") << std::flush;
        throw;
    }
    m_out.flush();
    return true;
}

void ScriptRunner::show(const ScriptCommand &command, const SessionStep &step) {
    switch (step.report) {
    case StepReport::Changes: showChanges(step, true); break;
    case StepReport::Opened:
        m_out << formatPinValues(m_engine.session().readPins());
        showChanges(step, false);
        break;
    case StepReport::Closed:
        m_out << "  (closed)\n";
        showChanges(step, false);
        break;
    case StepReport::Text: m_out << step.text; break;
    case StepReport::Verdict: showVerdict(command, step); break;
    case StepReport::Nothing: break;
    }
}

void ScriptRunner::showChanges(const SessionStep &step, bool comparePins) {
    Session &session = m_engine.session();
    if (m_engine.tracing()) {
        for (const CallRecord &c : session.log().calls())
            if (c.seq >= step.firstCall)
                m_out << callText(c, CallForm::Trace) << "\n";
    }
    if (comparePins && !step.before.empty() && session.isRunning()) {
        const std::vector<PinValue> now = session.readPins();
        const std::vector<PinValue> changed = changedPins(step.before, now);
        if (changed.empty())
            m_out << "  (no pin changed)\n";
        else
            m_out << formatPinValues(changed, pinNameWidth(now));
    }
    const std::vector<Problem> problems = session.problems();
    for (size_t i = step.problemsBefore; i < problems.size(); ++i)
        m_out << "  problem: " << problems[i].text << "\n";
}

void ScriptRunner::showVerdict(const ScriptCommand &command, const SessionStep &step) {
    if (step.held) {
        m_out << "  ok\n";
        return;
    }
    m_out << "  FAILED: " << step.actual << " (line " << command.line << ")\n";
    m_out.flush();
    if (!m_options.errorLines)
        return;
    m_err << m_name << ":" << command.line << ": expectation failed: " << command.source << " ("
          << step.actual << ")\n";
    m_err.flush();
}

} // namespace wqhost
