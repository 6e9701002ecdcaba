// GuardedMemory - a block of memory the host hands a module (a sample
// buffer, a text, a record to fill), placed so that its last usable byte lies
// just before an inaccessible page. A module that writes or reads even one
// byte past the end stops at once, inside the call that did it, instead of
// corrupting the host's own data and crashing somewhere later.
//
// The usable bytes are exactly as many as asked; the block's start is as
// aligned as its size allows (a block of floats is aligned for floats, a
// record for its own type). The memory reads zero when it is made.
//
// Every live block is known by its guard page together with what it is for,
// so that a crash handler can say which block a module ran past
// (reportGuardFaultsTo). A block may also be made read-only (a text the
// module may read but not change) or retired (taken back by the host, but
// kept inaccessible for a while), and a fault inside it is named as such.
#pragma once

#include <cstddef>
#include <cstdio>

namespace wqhost {

// Where in a guarded block a fault happened.
enum class GuardPlace {
    PastEnd,  // the guard page after the block
    ReadOnly, // a write into a block made read-only
    Retired,  // any access to a block the host has taken back
};

struct GuardHit {
    const char *what = nullptr; // null: no guarded block holds the address
    GuardPlace place = GuardPlace::PastEnd;
};

class GuardedMemory {
public:
    GuardedMemory() noexcept = default;
    // `bytes` usable bytes (may be 0); `what` names the block for a crash
    // report and says what to do instead, e.g. "a sample buffer: process at
    // most the block size the host set". It must live as long as the
    // process (a string literal). Throws HostError when the system refuses.
    GuardedMemory(size_t bytes, const char *what);
    ~GuardedMemory();

    GuardedMemory(GuardedMemory &&other) noexcept;
    GuardedMemory &operator=(GuardedMemory &&other) noexcept;
    GuardedMemory(const GuardedMemory &) = delete;
    GuardedMemory &operator=(const GuardedMemory &) = delete;

    // A guarded copy of `bytes` bytes at `from` (a text with its NUL, a
    // record), followed by room() bytes of zeros before the guard page.
    static GuardedMemory copyOf(const void *from, size_t bytes, const char *what);

    // The room copyOf leaves past the end of a copy, for the whole process,
    // except for copies made for `exact` (compared by address, one of the
    // texts below), which get none. No room (the default) stops a module at
    // its first byte past the end; a check that looks for something else
    // gives room, so that one overrun fails only the check that looks for
    // it.
    static void setRoom(size_t bytes, const char *exact = nullptr) noexcept;
    static size_t room(const char *what) noexcept;

    void *data() const noexcept { return m_data; }
    size_t size() const noexcept { return m_size; }
    template <class T> T *as() const noexcept { return static_cast<T *>(m_data); }

    // The system's page size.
    static size_t pageSize() noexcept;

    // What the live block whose guard page holds `address` is for; null when
    // no live block's guard holds it.
    static const char *guardedAt(const void *address) noexcept;
    // Which block holds `address` and where: its guard page, or the block
    // itself when it is read-only or retired.
    static GuardHit hitAt(const void *address) noexcept;

    // Makes the block readable only, its room after the data included.
    // False when the system refused (the block stays writable).
    bool makeReadOnly() noexcept;
    // Makes the whole block inaccessible: the host has taken it back, and a
    // module that kept its address faults at its next use.
    void retire() noexcept;

private:
    void release() noexcept;

    void *m_base = nullptr; // the whole mapping, guard page last
    size_t m_mapped = 0;
    void *m_data = nullptr;
    size_t m_size = 0;
    int m_slot = -1; // the block's place in the table of live guards, or -1
};

// The blocks the host hands a module, as a crash past their end names them,
// with what to do instead.
inline constexpr char kGuardedSampleBuffer[] =
    "a sample buffer: process at most the block size the host set";
inline constexpr char kGuardedPinText[] =
    "a pin text the host handed it: copy the text (its length and the NUL) before changing it";
inline constexpr char kGuardedPinRecord[] =
    "the pin-properties record: fill only the fields of WQPinProperties";
inline constexpr char kGuardedDescriptionRecord[] =
    "the description record: fill only the fields of WQModuleDescription";
inline constexpr char kGuardedEventRecord[] = "an event record: read only the fields of WQEvent";

// From now on a fault of this process inside the guard page of a live block
// writes one JSON line to `channel` before the process ends as it would have
// without it: {"overrun":"writes past the end of <what>"} ("reads" where the
// system tells a read, "reads or writes" where it cannot tell).
void reportGuardFaultsTo(std::FILE *channel);

} // namespace wqhost
