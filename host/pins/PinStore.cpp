#include "host/pins/PinStore.h"

#include "host/platform/HostError.h"
#include "host/text/NumberReading.h"
#include "host/text/NumberText.h"

#include <cctype>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace wqhost {

PinKind pinKindOf(int32_t datatype) noexcept {
    switch (datatype) {
    case DT_ENUM:
    case DT_BYTE:
    case DT_INT: return PinKind::Integer;
    case DT_FLOAT:
    case DT_FSAMPLE: return PinKind::Float;
    default: return PinKind::Text;
    }
}

std::vector<PinValue> changedPins(const std::vector<PinValue> &before,
                                  const std::vector<PinValue> &after) {
    std::vector<PinValue> out;
    for (const PinValue &a : after) {
        const PinValue *b = nullptr;
        for (const PinValue &candidate : before)
            if (candidate.index == a.index)
                b = &candidate;
        if (!b || b->kind != a.kind || b->text != a.text || b->integer != a.integer ||
            std::memcmp(&b->real, &a.real, sizeof a.real) != 0 || b->listText != a.listText)
            out.push_back(a);
    }
    return out;
}

void PinStore::declare(int32_t index, int32_t datatype, const std::string &name,
                       const std::string &listText) {
    PinValue pin;
    pin.index = index;
    pin.datatype = datatype;
    pin.kind = pinKindOf(datatype);
    pin.name = name;
    pin.listText = listText;
    m_pins[index] = std::move(pin);
}

void PinStore::declare(const std::vector<PinDeclaration> &table) {
    for (const PinDeclaration &d : table)
        declare(d.index, d.dataType(), d.name, d.listText);
}

std::vector<int32_t> PinStore::indices() const {
    std::vector<int32_t> out;
    for (const auto &p : m_pins)
        out.push_back(p.first);
    return out;
}

const PinValue *PinStore::find(int32_t index) const noexcept {
    auto it = m_pins.find(index);
    return it == m_pins.end() ? nullptr : &it->second;
}

const PinValue &PinStore::at(int32_t index) const {
    const PinValue *pin = find(index);
    if (!pin)
        throw HostError("pin " + std::to_string(index) + " is not declared");
    return *pin;
}

std::vector<PinValue> PinStore::values() const {
    std::vector<PinValue> out;
    for (const auto &p : m_pins)
        out.push_back(p.second);
    return out;
}

PinValue &PinStore::slot(int32_t index) {
    auto it = m_pins.find(index);
    if (it == m_pins.end())
        throw HostError("pin " + std::to_string(index) + " is not declared");
    return it->second;
}

bool PinStore::setText(int32_t index, const std::string &text) {
    PinValue &pin = slot(index);
    ++pin.writes;
    switch (pin.kind) {
    case PinKind::Text: {
        bool changed = pin.text != text;
        pin.text = text;
        return changed;
    }
    case PinKind::Integer: {
        int32_t v = parseInt(text);
        bool changed = pin.integer != v;
        pin.integer = v;
        return changed;
    }
    case PinKind::Float: {
        float v = parseFloat(text);
        bool changed = std::memcmp(&pin.real, &v, sizeof v) != 0;
        pin.real = v;
        return changed;
    }
    }
    return false;
}

bool PinStore::setInt(int32_t index, int32_t value) {
    PinValue &pin = slot(index);
    switch (pin.kind) {
    case PinKind::Text: {
        ++pin.writes;
        std::string text = std::to_string(value);
        bool changed = pin.text != text;
        pin.text = text;
        return changed;
    }
    case PinKind::Integer: {
        ++pin.writes;
        bool changed = pin.integer != value;
        pin.integer = value;
        return changed;
    }
    case PinKind::Float: return setFloat(index, static_cast<float>(value));
    }
    return false;
}

bool PinStore::setFloat(int32_t index, float value) {
    PinValue &pin = slot(index);
    switch (pin.kind) {
    case PinKind::Text: return setText(index, formatFloat(value));
    case PinKind::Integer: {
        ++pin.writes;
        int32_t v = truncateFloat(value);
        bool changed = pin.integer != v;
        pin.integer = v;
        return changed;
    }
    case PinKind::Float: {
        ++pin.writes;
        bool changed = std::memcmp(&pin.real, &value, sizeof value) != 0;
        pin.real = value;
        return changed;
    }
    }
    return false;
}

bool PinStore::setListText(int32_t index, const std::string &listText) {
    PinValue &pin = slot(index);
    bool changed = pin.listText != listText;
    pin.listText = listText;
    return changed;
}

std::string PinStore::text(int32_t index) const {
    const PinValue &pin = at(index);
    switch (pin.kind) {
    case PinKind::Text: return pin.text;
    case PinKind::Integer: return std::to_string(pin.integer);
    case PinKind::Float: return formatFloat(pin.real);
    }
    return std::string();
}

int32_t PinStore::intValue(int32_t index) const {
    const PinValue &pin = at(index);
    switch (pin.kind) {
    case PinKind::Text: return parseInt(pin.text);
    case PinKind::Integer: return pin.integer;
    case PinKind::Float: return truncateFloat(pin.real);
    }
    return 0;
}

float PinStore::floatValue(int32_t index) const {
    const PinValue &pin = at(index);
    switch (pin.kind) {
    case PinKind::Text: return parseFloat(pin.text);
    case PinKind::Integer: return static_cast<float>(pin.integer);
    case PinKind::Float: return pin.real;
    }
    return 0.0f;
}

const std::string &PinStore::listText(int32_t index) const { return at(index).listText; }

void PinStore::fillSlot(int32_t index, void *slot) const {
    const PinValue &pin = at(index);
    if (pin.kind == PinKind::Float) {
        std::memcpy(slot, &pin.real, sizeof pin.real);
    } else {
        int32_t v = intValue(index);
        std::memcpy(slot, &v, sizeof v);
    }
}

int32_t PinStore::parseInt(const std::string &text) noexcept { return saturatedInt32(text); }

float PinStore::parseFloat(const std::string &text) noexcept {
    char *end = nullptr;
    float v = std::strtof(text.c_str(), &end);
    return end == text.c_str() ? 0.0f : v;
}

std::string PinStore::formatFloat(float value) {
    std::string text;
    for (int digits = 6; digits <= 9; ++digits) {
        text = floatText(static_cast<double>(value), digits);
        if (std::strtof(text.c_str(), nullptr) == value || std::isnan(value))
            break;
    }
    return text;
}

int32_t PinStore::truncateFloat(float value) noexcept {
    if (std::isnan(value))
        return 0;
    if (value >= 2147483648.0f)
        return INT32_MAX;
    if (value <= -2147483648.0f)
        return INT32_MIN;
    return static_cast<int32_t>(value);
}

} // namespace wqhost
