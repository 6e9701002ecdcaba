#include "host/script/SessionEngine.h"

#include "host/platform/HostError.h"
#include "host/script/SessionCommands.h"
#include "host/text/QuotedText.h"

namespace wqhost {

SessionStep SessionEngine::execute(const ScriptCommand &command) {
    const CommandRow &row = commandRow(command.op);
    SessionStep step;
    step.op = command.op;
    step.report = row.report;
    try {
        if (m_session.isRunning())
            step.before = m_session.readPins();
        step.firstCall = m_session.log().nextSeq();
        step.problemsBefore = m_session.problems().size();
        if (row.act)
            row.act(*this, command, step);
    } catch (const HostError &e) {
        throw ScriptError(command.line, e.what());
    }
    return step;
}

void SessionEngine::requireRunning(const ScriptCommand &command) const {
    if (!m_session.isRunning())
        throw ScriptError(command.line, "the module is closed (use open)");
}

int32_t SessionEngine::resolvePin(const ScriptCommand &command) const {
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

void SessionEngine::expectation(SessionStep &step, bool holds, std::string actual) {
    step.held = holds;
    step.actual = std::move(actual);
    ++(holds ? m_passed : m_failed);
}

} // namespace wqhost
