// StackLimit - the stack a module's calls may use, bounded as a host's
// thread bounds it. A host runs a module on its audio and GUI threads, whose
// stacks are often far smaller than the 8 MiB a Linux program's main thread
// grows to; a call that needs more works here and crashes there. A check
// child therefore lets its main thread's stack grow no more than
// kModuleStackBytes beyond what it uses when the check starts, gives the
// thread an alternate signal stack so that the crash handlers still run
// when the stack is used up, and a fault just below the limit is named.
#pragma once

#include <cstddef>
#include <string>

namespace wqhost {

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer's checks take stack of their own.
inline constexpr size_t kModuleStackBytes = 2048 * 1024;
#else
inline constexpr size_t kModuleStackBytes = 512 * 1024;
#endif

// On the main thread: bounds the stack to `bytes` beyond the calling frame.
// False, with the reason, where it cannot be done (Windows, another thread,
// a system that does not tell the stack's place).
bool limitStackFromHere(size_t bytes, std::string &whyNot);

// Whether `address` lies just below a stack bounded by limitStackFromHere:
// a fault there is a call that needed more stack. Safe in a signal handler.
bool beyondLimitedStack(const void *address) noexcept;

// What a fault there says, after "the module ".
const char *stackLimitText() noexcept;

} // namespace wqhost
