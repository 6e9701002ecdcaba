// HostError - what the reference host throws when it cannot do what it was
// asked: a library that does not load, a missing export, an object that is
// not there. Misbehaviour of a loaded module is never thrown; the hosts record
// it as a problem instead (see AudioHost::problems, GuiHost::problems).
#pragma once

#include <stdexcept>
#include <string>

namespace wqhost {

class HostError : public std::runtime_error {
public:
    explicit HostError(const std::string &what) : std::runtime_error(what) {}
};

} // namespace wqhost
