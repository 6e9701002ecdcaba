#include "host/core/GivenInputs.h"

#include "wq_sdk2/wq_interface.h"

#include <charconv>
#include <cstdio>
#include <cstring>

namespace wqhost {

void GivenInputs::given(const Pin &pin, void *variable, const void *from, size_t size) {
    if (!variable || size == 0 || size > sizeof(Given::bytes))
        return;
    Given entry{pin, variable, {}, size};
    std::memcpy(entry.bytes.data(), from, size);
    for (Given &g : m_given)
        if (g.variable == variable) {
            g = entry;
            return;
        }
    m_given.push_back(entry);
}

std::vector<std::string> GivenInputs::changed() {
    std::vector<std::string> texts;
    for (Given &g : m_given) {
        unsigned char now[sizeof(Given::bytes)];
        std::memcpy(now, g.variable, g.size);
        if (std::memcmp(now, g.bytes.data(), g.size) == 0)
            continue;
        if (!g.told) {
            const std::string given = valueText(g.pin, g.bytes.data(), g.size);
            const std::string what =
                g.pin.datatype == DT_FSAMPLE ? "the address of its buffer, " + given : given;
            texts.push_back("pin " + std::to_string(g.pin.index) + " (\"" + g.pin.name +
                            "\"), an input: the host wrote " + what +
                            " into its variable, it now holds " + valueText(g.pin, now, g.size));
            g.told = true;
        }
        std::memcpy(g.bytes.data(), now, g.size);
    }
    return texts;
}

std::string GivenInputs::valueText(const Pin &pin, const unsigned char *bytes, size_t size) {
    switch (pin.datatype) {
    case DT_FLOAT: {
        float v;
        std::memcpy(&v, bytes, sizeof v);
        char text[32];
        std::snprintf(text, sizeof text, "%g", static_cast<double>(v));
        return text;
    }
    case DT_INT: {
        int32_t v;
        std::memcpy(&v, bytes, sizeof v);
        return std::to_string(v);
    }
    case DT_ENUM: {
        int16_t v;
        std::memcpy(&v, bytes, sizeof v);
        return std::to_string(v);
    }
    case DT_BYTE: return std::to_string(static_cast<unsigned>(bytes[0]));
    default: {
        uintptr_t v = 0;
        std::memcpy(&v, bytes, size < sizeof v ? size : sizeof v);
        char text[2 * sizeof v + 1];
        const std::to_chars_result end = std::to_chars(text, text + sizeof text, v, 16);
        return "0x" + std::string(text, end.ptr);
    }
    }
}

} // namespace wqhost
