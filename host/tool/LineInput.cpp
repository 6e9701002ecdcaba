#include "host/tool/LineInput.h"

#include "host/process/Terminal.h"
#include "host/script/ScriptParser.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>

#ifdef WQ_HAVE_LIBEDIT
#  include <editline/readline.h>
#endif

namespace wqtool {

namespace {

#ifdef WQ_HAVE_LIBEDIT

// Tab completion of command words; the editor frees what it is given.
char *completeWord(const char *prefix, int state) {
    static size_t next = 0;
    if (state == 0)
        next = 0;
    const std::vector<std::string> &words = wqhost::scriptWords();
    const size_t len = std::strlen(prefix);
    while (next < words.size()) {
        const std::string &word = words[next++];
        if (word.compare(0, len, prefix, len) == 0) {
            char *copy = static_cast<char *>(std::malloc(word.size() + 1));
            if (copy)
                std::memcpy(copy, word.c_str(), word.size() + 1);
            return copy;
        }
    }
    return nullptr;
}

#endif

} // namespace

bool LineInput::stdinIsTerminal() noexcept { return wqhost::standardInputIsTerminal(); }

LineInput::LineInput(std::string prompt) : m_prompt(std::move(prompt)) {
#ifdef WQ_HAVE_LIBEDIT
    rl_readline_name = const_cast<char *>("wqhost");
    rl_completion_entry_function = completeWord;
    using_history();
    if (const char *home = std::getenv("HOME")) {
        m_historyFile = std::string(home) + "/.wqhost_history";
        read_history(m_historyFile.c_str());
    }
#endif
}

LineInput::~LineInput() {
#ifdef WQ_HAVE_LIBEDIT
    if (!m_historyFile.empty()) {
        stifle_history(1000);
        write_history(m_historyFile.c_str());
    }
#endif
}

bool LineInput::read(std::string &line) {
#ifdef WQ_HAVE_LIBEDIT
    char *text = readline(m_prompt.c_str());
    if (!text)
        return false;
    line = text;
    std::free(text);
    if (line.find_first_not_of(" \t") != std::string::npos)
        add_history(line.c_str());
    return true;
#else
    std::cout << m_prompt << std::flush;
    if (!std::getline(std::cin, line))
        return false;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return true;
#endif
}

} // namespace wqtool
