// Small readings of tool output shared by the tests: lines, the summary line
// of a validation, things that look like addresses.
#pragma once

#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

namespace wqtest {

// The lines of a text, without their ends.
inline std::vector<std::string> linesOf(const std::string &text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// Whether `line` is exactly a validation summary, "N passed, N failed, N
// skipped", and its three numbers.
inline bool summaryLine(const std::string &line, unsigned &passed, unsigned &failed,
                        unsigned &skipped) {
    int used = -1;
    if (std::sscanf(line.c_str(), "%u passed, %u failed, %u skipped%n", &passed, &failed, &skipped,
                    &used) != 3)
        return false;
    // ", N warned" follows when passed checks warned.
    unsigned warned = 0;
    int more = -1;
    if (std::sscanf(line.c_str() + used, ", %u warned%n", &warned, &more) == 1 && warned > 0)
        used += more;
    return used == static_cast<int>(line.size()) &&
           std::isdigit(static_cast<unsigned char>(line[0]));
}

// Whether a text shows something like an address: "0x" and five or more hex
// digits.
inline bool holdsAddress(const std::string &text) {
    for (size_t at = text.find("0x"); at != std::string::npos; at = text.find("0x", at + 1)) {
        size_t digits = 0;
        while (at + 2 + digits < text.size() &&
               std::isxdigit(static_cast<unsigned char>(text[at + 2 + digits])))
            ++digits;
        if (digits >= 5)
            return true;
    }
    return false;
}

} // namespace wqtest
