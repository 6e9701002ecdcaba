// GivenInputs - what the host wrote into the variables of a module's input
// pins (a control value, the address of a sample buffer), so that a module
// that changes one of them shows. Such a variable is the host's way into the
// object: the module reads it, and the host may write it again at any time
// or compare against it, so a value the module clamps or shifts in place is
// a value the host no longer knows.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace wqhost {

class GivenInputs {
public:
    // The pin a variable belongs to: its declaration's index, name and data type.
    struct Pin {
        int32_t index = 0;
        std::string name;
        int32_t datatype = 0;
    };

    // Records that `size` bytes (at most 8) at `from` were written into
    // `variable` for `pin`, replacing what it was given before.
    void given(const Pin &pin, void *variable, const void *from, size_t size);

    // The variables that no longer hold what they were given, one text each
    // ("pin 1 (\"LEVEL\"), an input: the host wrote 2 into its variable, it
    // now holds 1"). Each pin is told once; its variable is then taken as
    // given what it holds, so that later calls are judged on their own.
    std::vector<std::string> changed();

    void clear() noexcept { m_given.clear(); }
    bool empty() const noexcept { return m_given.empty(); }

private:
    struct Given {
        Pin pin;
        void *variable;
        std::array<unsigned char, 8> bytes;
        size_t size;
        bool told = false;
    };
    static std::string valueText(const Pin &pin, const unsigned char *bytes, size_t size);

    std::vector<Given> m_given;
};

} // namespace wqhost
