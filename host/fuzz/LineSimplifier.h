// LineSimplifier - simpler forms of one line of the session language, for
// the shrinker: each quoted text emptied or cut to its first half, each
// number (but a pin's) made 0, 1 or half as large, simplest first. A line
// that does not read as words gives none.
#pragma once

#include <string>
#include <vector>

namespace wqhost {

std::vector<std::string> simplerLines(const std::string &line);

} // namespace wqhost
