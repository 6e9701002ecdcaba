// LineInput - lines typed at the interactive prompt of `wqhost run`.
//
// With libedit (WQ_HAVE_LIBEDIT) the line can be edited, earlier lines come
// back with the arrow keys, command words complete with Tab, and the history
// is kept in ~/.wqhost_history between runs. Without it (Windows, or no
// libedit for the target) the prompt reads plain lines.
#pragma once

#include <string>

namespace wqtool {

class LineInput {
public:
    explicit LineInput(std::string prompt);
    ~LineInput(); // saves the history

    LineInput(const LineInput &) = delete;
    LineInput &operator=(const LineInput &) = delete;

    // The next line, without its end; false at the end of input.
    bool read(std::string &line);

    // Whether standard input is a terminal.
    static bool stdinIsTerminal() noexcept;

private:
    std::string m_prompt;
    std::string m_historyFile;
};

} // namespace wqtool
