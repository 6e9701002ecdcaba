#include "host/script/ReloadableSession.h"

#include "host/platform/HostError.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <iterator>
#include <random>
#include <sstream>
#include <system_error>

namespace wqhost {

namespace {

namespace fs = std::filesystem;

// A copy of the library file in a folder of its own under the temporary
// folder, with the file's own name (messages and crash frames name it).
fs::path copyOfLibrary(const std::string &path) {
    static std::atomic<unsigned> count{0};
    const fs::path source = fs::u8path(path);
    std::error_code error;
    for (int attempt = 0; attempt < 8; ++attempt) {
        const auto tick = std::chrono::steady_clock::now().time_since_epoch().count();
        const fs::path folder =
            fs::temp_directory_path(error) /
            ("wqhost-reload-" + std::to_string(std::random_device()()) + "-" +
             std::to_string(static_cast<unsigned long long>(tick)) + "-" + std::to_string(++count));
        if (error || !fs::create_directory(folder, error))
            continue;
        const fs::path copy = folder / source.filename();
        if (fs::copy_file(source, copy, error))
            return copy;
        throw HostError("cannot copy '" + path + "' to load it afresh: " + error.message());
    }
    throw HostError("cannot make a folder for a fresh copy of '" + path + "'");
}

// Removes a copy made by copyOfLibrary, once nothing has it loaded (on
// Windows a loaded library cannot be removed).
void removeCopy(const fs::path &copy) {
    if (copy.empty())
        return;
    std::error_code error;
    fs::remove(copy, error);
    fs::remove(copy.parent_path(), error);
}

// A library loaded from a copy: the copy goes when the library is unloaded.
struct CopiedLibrary {
    std::shared_ptr<const ModuleLibrary> library;
    fs::path copy;
    ~CopiedLibrary() {
        library.reset();
        removeCopy(copy);
    }
};

// Loads a copy of the file at `path`; the pointer keeps the copy while the
// library is loaded.
std::shared_ptr<const ModuleLibrary> loadCopyOf(const std::string &path) {
    auto holder = std::make_shared<CopiedLibrary>();
    holder->copy = copyOfLibrary(path);
    holder->library = ModuleLibrary::load(holder->copy.u8string());
    return std::shared_ptr<const ModuleLibrary>(holder, holder->library.get());
}

bool isSetting(ScriptOp op) {
    return op == ScriptOp::Set || op == ScriptOp::Echo || op == ScriptOp::Rate ||
           op == ScriptOp::Block || op == ScriptOp::Signal || op == ScriptOp::Object;
}

// Past this many settings only the last of each kind (and pin) is kept, in
// the order they were last made.
constexpr size_t kMaxSettings = 4096;

void keepLastOfEach(std::vector<ScriptCommand> &settings) {
    std::vector<ScriptCommand> kept;
    std::vector<std::string> keys;
    for (auto it = settings.rbegin(); it != settings.rend(); ++it) {
        const std::string key = std::to_string(static_cast<int>(it->op)) + "/" +
                                (it->pin.named ? it->pin.name : std::to_string(it->pin.index));
        if (std::find(keys.begin(), keys.end(), key) != keys.end())
            continue;
        keys.push_back(key);
        kept.push_back(std::move(*it));
    }
    settings.assign(std::make_move_iterator(kept.rbegin()), std::make_move_iterator(kept.rend()));
}

} // namespace

struct ReloadableSession::Live {
    std::shared_ptr<const ModuleLibrary> library;
    std::unique_ptr<Session> session;
    std::unique_ptr<ScriptRunner> runner;

    ~Live() {
        if (session) {
            session->stop();
            session->setTrace(nullptr);
        }
        runner.reset();
        session.reset();
        library.reset();
    }
};

std::shared_ptr<const ModuleLibrary> ReloadableSession::loadLibrary(const std::string &path) {
#ifdef _WIN32
    return loadCopyOf(path);
#else
    return ModuleLibrary::load(path);
#endif
}

ReloadableSession::ReloadableSession(std::shared_ptr<const ModuleLibrary> library, Setup setup,
                                     std::ostream &out, std::ostream &err)
    : m_setup(std::move(setup)), m_out(out.rdbuf()), m_err(err.rdbuf()) {
    m_live = start(std::move(library));
}

ReloadableSession::~ReloadableSession() = default;

std::unique_ptr<ReloadableSession::Live>
ReloadableSession::start(std::shared_ptr<const ModuleLibrary> library) {
    auto live = std::make_unique<Live>();
    live->library = library;
    live->session = std::make_unique<Session>(library, m_setup.optionsFor(library));
    live->session->setTrace(m_setup.trace);
    live->session->start();
    live->runner = std::make_unique<ScriptRunner>(*live->session, m_out, m_err, m_setup.sourceName,
                                                  m_setup.runner);
    return live;
}

bool ReloadableSession::execute(const ScriptCommand &command) {
    const bool going = m_live->runner->execute(command);
    // Only what was carried out gets here: a refused command threw.
    if (isSetting(command.op)) {
        m_settings.push_back(command);
        if (m_settings.size() > kMaxSettings)
            keepLastOfEach(m_settings);
    } else if (command.op == ScriptOp::Close || command.op == ScriptOp::Open) {
        m_closed = command.op == ScriptOp::Close;
    } else if (command.op == ScriptOp::Recreate) {
        m_closed = false;
        // Fresh objects start with empty pins.
        m_settings.erase(
            std::remove_if(m_settings.begin(), m_settings.end(),
                           [](const ScriptCommand &c) { return c.op == ScriptOp::Set; }),
            m_settings.end());
    }
    return going;
}

std::string ReloadableSession::reload() {
    const std::string name = fs::u8path(m_setup.libraryPath).filename().u8string();
    std::unique_ptr<Live> fresh;
    // What the fresh session's start and replay show is not the user's to
    // read; only a refusal is.
    std::stringbuf quiet;
    std::streambuf *const out = m_out.rdbuf(&quiet);
    std::streambuf *const err = m_err.rdbuf(&quiet);
    std::string failure;
    try {
        fresh = start(loadCopyOf(m_setup.libraryPath));
        std::vector<ScriptCommand> replay = m_settings;
        if (m_closed) {
            ScriptCommand close;
            close.op = ScriptOp::Close;
            close.source = "close";
            replay.push_back(close);
        }
        for (const ScriptCommand &command : replay) {
            try {
                fresh->runner->execute(command);
            } catch (const ScriptError &e) {
                throw HostError("replaying '" + command.source + "': " + e.what());
            }
        }
    } catch (const std::exception &e) {
        failure = e.what();
    }
    if (!failure.empty())
        fresh.reset(); // closes its objects while the output is still quiet
    m_out.rdbuf(out);
    m_err.rdbuf(err);
    if (!failure.empty())
        return "reload failed: " + failure + " (the module loaded before is kept)";
    m_failedBefore += m_live->runner->failedExpectations();
    m_problemsBefore += m_live->runner->engine().problemCount();
    m_live = std::move(fresh);
    const size_t replayed = m_settings.size() + (m_closed ? 1 : 0);
    return "reloaded " + name +
           (replayed == 0 ? std::string() : ", " + std::to_string(replayed) + " settings replayed");
}

ScriptRunner &ReloadableSession::runner() noexcept { return *m_live->runner; }

Session &ReloadableSession::session() noexcept { return *m_live->session; }

int ReloadableSession::failedExpectations() const noexcept {
    return m_failedBefore + m_live->runner->failedExpectations();
}

size_t ReloadableSession::problemCount() const {
    return m_problemsBefore + m_live->runner->engine().problemCount();
}

std::vector<std::string> ReloadableSession::settings() const {
    std::vector<std::string> lines;
    for (const ScriptCommand &c : m_settings)
        lines.push_back(c.source);
    if (m_closed)
        lines.push_back("close");
    return lines;
}

} // namespace wqhost
