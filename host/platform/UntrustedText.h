// UntrustedText - reads a text a module hands the host without trusting its
// pointer: the bytes are copied through the system (process_vm_readv on the
// host's own process, or a pipe, on POSIX; VirtualQuery and
// ReadProcessMemory on Windows), so a pointer into unmapped or protected
// memory gives an answer instead of a crash, and the read stops at a bound
// instead of running on through whatever follows a text without its NUL.
#pragma once

#include <cstddef>
#include <string>

namespace wqhost {

// The longest texts the host reads from a module, NUL not counted: a name,
// an identifier, an about text, a pin's name or list of choices; and a text
// written to a pin.
constexpr size_t kMaxNameText = 65536;
constexpr size_t kMaxPinText = 1024 * 1024;

struct UntrustedText {
    enum class Status {
        Text,         // a NUL within the bound: `text` holds the bytes before it
        Null,         // a null pointer
        Unreadable,   // memory that cannot be read, `readable` bytes in
        Unterminated, // no NUL within the bound
    };
    Status status = Status::Null;
    std::string text;    // the bytes read before the NUL (or before the end of the read)
    size_t readable = 0; // for Unreadable: how many bytes could be read first

    bool ok() const noexcept { return status == Status::Text; }

    // Reads the text at `ptr`: at most `bound` bytes before its NUL.
    static UntrustedText read(const void *ptr, size_t bound);

    // Copies `size` bytes at `ptr` into `out`; false (and `out` partly
    // written) when any of them cannot be read.
    static bool copy(const void *ptr, void *out, size_t size);

    // What is wrong with a text that is not ok(), in words that end a
    // sentence such as "the name ...": "is a null pointer", "points to memory
    // the host cannot read", "has no NUL within its first 4096 bytes".
    std::string fault(size_t bound) const;
};

} // namespace wqhost
