#include "host/validate/HeapFault.h"

namespace wqhost {

// What the heap checking found when it stopped the child, from what the
// child printed (the guarded heap's line, AddressSanitizer's report or the C
// library's own message), said as what the author should change; empty
// when the heap was not the reason.
std::string heapFault(const std::string &printed) {
    static const char kOverrun[] =
        "the heap was found corrupted: the module wrote past the end of a heap block it "
        "allocated; size each block for all that is written into it (a text's terminating NUL "
        "included)";
    static const char kUnderrun[] =
        "the heap was found corrupted: the module wrote before the start of a heap block it "
        "allocated; check the indices that count down";
    static const char kUseAfterFree[] =
        "the module used a heap block after freeing it: keep no pointer to a block once it is "
        "freed (nor to a string's or a vector's contents once it changes)";
    static const char kDoubleFree[] =
        "the heap was found corrupted: the module freed a heap block twice; free each block "
        "once, and clear the pointer that held it (or let a std::unique_ptr own it)";
    static const char kBadFree[] =
        "the heap was found corrupted: the module freed a pointer it did not allocate; free "
        "only what malloc or new returned, as it was returned";
    static const char kAny[] =
        "the heap was found corrupted: the module wrote past the end of a heap block, or freed "
        "a block twice or one it never allocated, in the call above or before it";
    static const struct {
        const char *marker;
        const char *fault;
    } kFaults[] = {
        {"past the end of a", kOverrun},
        {"heap-buffer-overflow", kOverrun},
        {"before the start of a", kUnderrun},
        {"after freeing it", kUseAfterFree},
        {"heap-use-after-free", kUseAfterFree},
        {"heap block twice", kDoubleFree},
        {"double-free", kDoubleFree},
        {"double free", kDoubleFree},
        {"freed a pointer", kBadFree},
        {"free(): ", kAny},
        {"malloc(): ", kAny},
        {"realloc(): ", kAny},
        {"corrupted", kAny},
    };
    for (const auto &f : kFaults)
        if (printed.find(f.marker) != std::string::npos)
            return f.fault;
    return std::string();
}

} // namespace wqhost
