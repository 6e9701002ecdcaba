// HeapFault - what the heap checking found when it stopped a child that
// runs a module (the guarded heap's line, AddressSanitizer's report or the C
// library's own message), said as what the author should change. Shared by
// the reports of `validate` and `fuzz`.
#pragma once

#include <string>

namespace wqhost {

// The fault the child's error output names, or empty when the heap was not
// the reason it ended.
std::string heapFault(const std::string &printed);

} // namespace wqhost
