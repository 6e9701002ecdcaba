// ObjectRegistry - finds the host that answers a callback.
//
// A module calls the host callback with the address of its own host record
// first. Every host driver (HostDriver) enters the records it was handed
// here, so the shared callback entry of each side finds its driver by that
// address without reading anything the module wrote. A callback made while
// makeModule still runs (before the record is known) goes to the driver that
// called makeModule on this thread.
#pragma once

#include "host/trace/CallRecord.h"

#include <cstdint>

namespace wqhost {

class HostDriver;

class ObjectRegistry {
public:
    static void add(Side side, const void *record, HostDriver *host);
    static void remove(Side side, const void *record) noexcept;
    // Every record entered for `host` (a driver that goes away).
    static void removeHost(const HostDriver *host) noexcept;

    // The driver entered for `record` on `side`, else the driver creating an
    // object of that side on this thread, else null.
    static HostDriver *find(Side side, const void *record) noexcept;

    // Marks `host` as the one running makeModule for `side` on this thread
    // (null when it returns).
    static void setCreating(Side side, HostDriver *host) noexcept;
    static HostDriver *creating(Side side) noexcept;

    // Callbacks that named a record no driver knows; they are answered with 0.
    static uint64_t strayCallbacks() noexcept;
    static void noteStrayCallback() noexcept;
};

// Marks a driver as creating for the lifetime of the scope; the driver
// marked before comes back when the scope ends.
class CreatingScope {
public:
    CreatingScope(Side side, HostDriver *host) noexcept
        : m_side(side), m_previous(ObjectRegistry::creating(side)) {
        ObjectRegistry::setCreating(side, host);
    }
    ~CreatingScope() { ObjectRegistry::setCreating(m_side, m_previous); }
    CreatingScope(const CreatingScope &) = delete;
    CreatingScope &operator=(const CreatingScope &) = delete;

private:
    Side m_side;
    HostDriver *m_previous;
};

} // namespace wqhost
