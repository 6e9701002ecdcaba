// A correct module with a GUI side only: it has no pins, and on opening it
// composes its banner with the standard library (streams, std::to_string, a
// parse whose exception it catches) and prints it to standard output, as
// authors do while they develop a module.
#include "wq_sdk2/WQGUI_base.h"
#include "wq_sdk2/wq_module_entry.h"

#include <cstdint>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <string>

namespace {

// The build's version as text, parsed on opening; a text that is no number
// gives version 0 rather than an exception that reaches the host.
constexpr char kVersionText[] = "3";

int versionNumber(const std::string &text) {
    try {
        return std::stoi(text);
    } catch (const std::exception &) {
        return 0;
    }
}

class CorrectBanner : public WQGUI_base {
public:
    CorrectBanner(WQHostCallback hostCallback, intptr_t hostValue)
        : WQGUI_base(hostCallback, hostValue) {}

protected:
    void open(bool flag) override {
        WQGUI_base::open(flag);
        std::ostringstream banner;
        banner << "Correct Banner " << versionNumber(kVersionText) << "."
               << versionNumber("not a number") << " opened" << (flag ? " (first)" : "")
               << ", object " << std::to_string(++m_opens);
        m_banner = banner.str();
        std::cout << m_banner << std::endl;
    }

    void close() override {
        std::cout << "Correct Banner closed after " << m_banner.size() << " characters"
                  << std::endl;
        WQGUI_base::close();
    }

private:
    std::string m_banner;
    int m_opens = 0;
};

constexpr char kName[] = "Correct Banner";
constexpr char kAbout[] = "Prints a banner when it opens";
constexpr wq::ModuleDescription kDescription = {kName, "correct.banner", kAbout, 0, 256};

} // namespace

WQ_MODULE_ENTRY_POINTS(kDescription, void, CorrectBanner);
