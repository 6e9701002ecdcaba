// ProcessWatch - told right before and right after each call of an audio
// object's process function, with nothing of the host's own work between
// them (the call's log entry lies outside): what measures a process call's
// cost, as `wqhost cost` does.
#pragma once

namespace wqhost {

class ProcessWatch {
public:
    virtual ~ProcessWatch() = default;
    virtual void entering() noexcept = 0;
    virtual void left() noexcept = 0;
};

} // namespace wqhost
