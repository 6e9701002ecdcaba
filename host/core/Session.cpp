#include "host/core/Session.h"

#include "host/platform/HostError.h"

namespace wqhost {

Session::Session(const std::string &libraryPath) : Session(libraryPath, Options()) {}

Session::Session(const std::string &libraryPath, Options options)
    : Session(ModuleLibrary::load(libraryPath), std::move(options)) {}

Session::Session(std::shared_ptr<const ModuleLibrary> library, Options options)
    : m_library(std::move(library)), m_options(withSplitBlocks(std::move(options))),
      m_audio(m_library, m_options.audio, &m_log), m_gui(m_library, m_options.gui, &m_log) {}

Session::Options Session::withSplitBlocks(Options options) {
    options.audio.splitBlocks = options.audio.splitBlocks || options.playAudio;
    return options;
}

Session::~Session() {
    try {
        stop();
    } catch (...) {
        // the hosts' own destructors close what is left
    }
}

void Session::start() {
    if (isRunning())
        throw HostError("the session is already running");
    m_description = m_library->describe(m_options.moduleIndex, &m_log);
    const std::string index = std::to_string(m_options.moduleIndex);
    m_hasAudio = m_audio.create(m_options.moduleIndex);
    m_pinTable.clear();
    if (m_hasAudio) {
        m_audio.open();
        m_pinTable = m_audio.readPinDeclarations();
        if (m_options.playAudio) {
            m_audio.setAudioPins(audioPinLayout(m_pinTable, m_options.audio.pinCount));
            if (!m_audio.audioPins().empty()) {
                m_audio.setSampleRate(m_options.sampleRate);
                m_audio.setBlockSize(m_audio.blockSize());
            }
        }
    }
    m_gui.pins().clear();
    m_gui.declarePins(m_pinTable);
    m_hasGui = m_gui.create(m_options.moduleIndex);
    if (m_hasGui) {
        m_gui.open();
    } else if (!m_hasAudio) {
        throw HostError("'" + m_library->path() + "': makeModule(" + index +
                        ", 1) and makeModule(" + index + ", 2) created no object");
    }
}

void Session::setSampleRate(float rate) {
    if (!(rate > 0.0f))
        throw HostError("a sample rate is above 0 Hz");
    m_options.sampleRate = rate;
    if (m_options.playAudio && m_audio.isLive() && !m_audio.audioPins().empty())
        m_audio.setSampleRate(rate);
}

void Session::setBlockSize(uint32_t blockSize) {
    const uint32_t max = m_audio.options().maxBlockSize;
    if (blockSize == 0 || blockSize > max)
        throw HostError("block size " + std::to_string(blockSize) + " is not within 1.." +
                        std::to_string(max));
    m_options.audio.blockSize = blockSize;
    m_audio.options().blockSize = blockSize;
    if (m_audio.isLive() && (!m_options.playAudio || !m_audio.audioPins().empty()))
        m_audio.setBlockSize(blockSize);
    else
        m_audio.adoptBlockSize(blockSize);
}

void Session::stop() {
    if (m_gui.isLive())
        m_gui.close();
    if (m_audio.isLive())
        m_audio.close();
}

void Session::restart() {
    stop();
    start();
}

void Session::requireStoredPin(int32_t pin) const {
    if (!isRunning())
        throw HostError("the session is not running");
    if (!m_gui.pins().has(pin))
        throw HostError("pin " + std::to_string(pin) + " is not declared");
}

void Session::setPinText(int32_t pin, const std::string &text) {
    if (m_hasGui) {
        m_gui.setPinText(pin, text);
        return;
    }
    requireStoredPin(pin);
    m_gui.pins().setText(pin, text);
}

void Session::setPinInt(int32_t pin, int32_t value) {
    if (m_hasGui) {
        m_gui.setPinInt(pin, value);
        return;
    }
    requireStoredPin(pin);
    m_gui.pins().setInt(pin, value);
}

void Session::setPinFloat(int32_t pin, float value) {
    if (m_hasGui) {
        m_gui.setPinFloat(pin, value);
        return;
    }
    requireStoredPin(pin);
    m_gui.pins().setFloat(pin, value);
}

std::vector<Problem> Session::problems() const {
    std::vector<Problem> out = m_audio.problems();
    out.insert(out.end(), m_gui.problems().begin(), m_gui.problems().end());
    return out;
}

} // namespace wqhost
