// ObjectRegistry - finds the host that answers a callback.
//
// A module calls the host callback with the address of its own host record
// first. Every AudioHost and GuiHost enters the record it was handed here, so
// the shared callback function of each side finds its host by that address
// without reading anything the module wrote. A callback made while makeModule
// still runs (before the record is known) goes to the host that called
// makeModule on this thread.
#pragma once

#include "host/trace/CallLog.h"

#include <cstdint>

namespace wqhost {

class ObjectRegistry {
public:
    static void add(Side side, const void *record, void *host);
    static void remove(Side side, const void *record) noexcept;

    // The host entered for `record` on `side`, else the host creating an
    // object of that side on this thread, else null.
    static void *find(Side side, const void *record) noexcept;

    // Marks `host` as the one running makeModule for `side` on this thread
    // (null when it returns).
    static void setCreating(Side side, void *host) noexcept;
    static void *creating(Side side) noexcept;

    // Callbacks that named a record no host knows; they are answered with 0.
    static uint64_t strayCallbacks() noexcept;
    static void noteStrayCallback() noexcept;
};

// Marks a host as creating for the lifetime of the scope.
class CreatingScope {
public:
    CreatingScope(Side side, void *host) noexcept : m_side(side) {
        ObjectRegistry::setCreating(side, host);
    }
    ~CreatingScope() { ObjectRegistry::setCreating(m_side, nullptr); }
    CreatingScope(const CreatingScope &) = delete;
    CreatingScope &operator=(const CreatingScope &) = delete;

private:
    Side m_side;
};

} // namespace wqhost
