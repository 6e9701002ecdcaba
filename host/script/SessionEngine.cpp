#include "host/script/SessionEngine.h"

#include "host/platform/HostError.h"
#include "host/script/SessionCommands.h"
#include "host/text/QuotedText.h"

namespace wqhost {

SessionEngine::SessionEngine(Session &session, Options options)
    : m_session(session), m_options(std::move(options)), m_current(&session),
      m_currentStreams(&m_streams) {
    m_session.audio().setSampleIo(&m_streams);
}

SessionEngine::~SessionEngine() {
    // The later objects close first, as a host lets instances go.
    for (auto it = m_others.rbegin(); it != m_others.rend(); ++it) {
        if (!*it)
            continue;
        (*it)->streams.stopAllRecordings();
        (*it)->session->stop();
        (*it)->session->audio().setSampleIo(nullptr);
        it->reset();
    }
    m_streams.stopAllRecordings();
    m_session.audio().setSampleIo(nullptr);
}

bool SessionEngine::switchToObject(int32_t number) {
    if (number < 1 || number > kMaxObjects)
        throw HostError("there are objects 1 to " + std::to_string(kMaxObjects));
    if (number == 1) {
        m_current = &m_session;
        m_currentStreams = &m_streams;
        m_currentNumber = 1;
        return false;
    }
    const size_t slot = static_cast<size_t>(number - 2);
    if (m_others.size() <= slot)
        m_others.resize(slot + 1);
    bool made = false;
    if (!m_others[slot]) {
        // Made like the current object: the same options, its rate and
        // block size, its trace.
        Session::Options options = m_current->options();
        options.sampleRate = m_current->sampleRate();
        auto other = std::make_unique<Other>();
        other->session = std::make_unique<Session>(m_current->sharedLibrary(), options);
        other->session->setBlockSize(m_current->blockSize());
        other->session->setTrace(m_current->log().jsonSink());
        other->session->log().setKeeping(m_current->log().keeping());
        other->session->audio().setSampleIo(&other->streams);
        other->session->start();
        m_others[slot] = std::move(other);
        made = true;
    }
    m_current = m_others[slot]->session.get();
    m_currentStreams = &m_others[slot]->streams;
    m_currentNumber = number;
    return made;
}

size_t SessionEngine::problemCount() const {
    size_t count = m_session.problems().size();
    for (const auto &other : m_others)
        if (other)
            count += other->session->problems().size();
    return count;
}

SessionStep SessionEngine::execute(const ScriptCommand &command) {
    const CommandRow &row = commandRow(command.op);
    SessionStep step;
    step.op = command.op;
    step.report = row.report;
    try {
        if (m_current->isRunning())
            step.before = m_current->readPins();
        step.firstCall = m_current->log().nextSeq();
        step.problemsBefore = m_current->problems().size();
        if (row.act)
            row.act(*this, command, step);
    } catch (const HostError &e) {
        throw ScriptError(command.line, e.what());
    }
    return step;
}

void SessionEngine::requireRunning(const ScriptCommand &command) const {
    if (!m_current->isRunning())
        throw ScriptError(command.line, "the module is closed (use open)");
}

int32_t SessionEngine::resolvePin(const ScriptCommand &command) const {
    if (!command.pin.named)
        return command.pin.index;
    for (const PinDeclaration &d : m_current->pinTable())
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
