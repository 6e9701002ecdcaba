#include "host/core/ObjectRegistry.h"

#include <algorithm>
#include <atomic>
#include <vector>

namespace wqhost {

namespace {

struct Entry {
    Side side;
    const void *record;
    HostDriver *host;
};

// A spin lock rather than a mutex: the entries are touched for a few
// instructions at a time, and the 32-bit Windows toolchain has no std::mutex.
std::atomic_flag g_lock = ATOMIC_FLAG_INIT;
std::atomic<uint64_t> g_stray{0};

std::vector<Entry> &entries() {
    static std::vector<Entry> list;
    return list;
}

class Guard {
public:
    Guard() noexcept {
        while (g_lock.test_and_set(std::memory_order_acquire)) {
        }
    }
    ~Guard() { g_lock.clear(std::memory_order_release); }
    Guard(const Guard &) = delete;
    Guard &operator=(const Guard &) = delete;
};

thread_local HostDriver *t_creatingAudio = nullptr;
thread_local HostDriver *t_creatingGui = nullptr;

} // namespace

void ObjectRegistry::add(Side side, const void *record, HostDriver *host) {
    Guard guard;
    auto &list = entries();
    for (Entry &e : list) {
        if (e.side == side && e.record == record) {
            e.host = host;
            return;
        }
    }
    list.push_back(Entry{side, record, host});
}

void ObjectRegistry::remove(Side side, const void *record) noexcept {
    Guard guard;
    auto &list = entries();
    list.erase(std::remove_if(list.begin(), list.end(),
                              [&](const Entry &e) { return e.side == side && e.record == record; }),
               list.end());
}

void ObjectRegistry::removeHost(const HostDriver *host) noexcept {
    Guard guard;
    auto &list = entries();
    list.erase(
        std::remove_if(list.begin(), list.end(), [&](const Entry &e) { return e.host == host; }),
        list.end());
}

HostDriver *ObjectRegistry::find(Side side, const void *record) noexcept {
    {
        Guard guard;
        for (const Entry &e : entries())
            if (e.side == side && e.record == record)
                return e.host;
    }
    return creating(side);
}

void ObjectRegistry::setCreating(Side side, HostDriver *host) noexcept {
    (side == Side::Gui ? t_creatingGui : t_creatingAudio) = host;
}

HostDriver *ObjectRegistry::creating(Side side) noexcept {
    return side == Side::Gui ? t_creatingGui : t_creatingAudio;
}

uint64_t ObjectRegistry::strayCallbacks() noexcept { return g_stray.load(); }

void ObjectRegistry::noteStrayCallback() noexcept { g_stray.fetch_add(1); }

} // namespace wqhost
