// ExampleSession - the default session the tool runs for a newcomer: the
// module's description and pins, then a list set on pin 0, items selected on
// pin 1 and numbers written to pin 3, with every pin shown after each step.
#pragma once

#include <ostream>
#include <string>

namespace wqhost {

// Prints the description and the pin table of the library at `path`.
// Throws HostError when the library cannot be used.
void printModuleInfo(const std::string &path, std::ostream &out);

// Runs the example steps on the library at `path`, printing to `out`.
// Throws HostError when the library cannot be used.
void runExampleSession(const std::string &path, std::ostream &out);

} // namespace wqhost
