// PinStore - the host's pin values, each kept in the form of the pin's
// declared data type.
//
//   text pins (DT_TEXT and every type without a number form): 8-bit text;
//   integer pins (DT_ENUM, DT_BYTE, DT_INT): a 32-bit integer, and for the
//     enumeration pin also its list of choices (set by GH_PIN_SET_LIST_TEXT,
//     at first the declared list text);
//   float pins (DT_FLOAT, DT_FSAMPLE): a 32-bit float.
//
// Reads and writes in another form convert:
//   number -> text: "%d" for an integer, the shortest "%g" form that reads
//     back to the same float for a float;
//   text -> integer: as atoi reads it (leading white space, optional sign,
//     decimal digits up to the first other byte; 0 when there are none), but
//     saturated at INT32_MIN and INT32_MAX instead of overflowing;
//   text -> float: as strtof reads it, 0 when there is no number;
//   float -> integer: truncated toward zero, saturated, NaN reads as 0.
#pragma once

#include "host/pins/PinDeclaration.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace wqhost {

enum class PinKind { Text, Integer, Float };

// The storage form of a data type.
PinKind pinKindOf(int32_t datatype) noexcept;

struct PinValue {
    int32_t index = 0;
    int32_t datatype = DT_TEXT;
    PinKind kind = PinKind::Text;
    std::string name;
    std::string text;     // the value of a text pin
    int32_t integer = 0;  // the value of an integer pin
    float real = 0.0f;    // the value of a float pin
    std::string listText; // the list of choices (enumeration pins)
    uint64_t writes = 0;  // how many writes reached this pin
};

// The pins of `after` whose value or list of choices differs from the same
// pin in `before` (a pin missing from `before` counts as changed); for
// showing what one step changed.
std::vector<PinValue> changedPins(const std::vector<PinValue> &before,
                                  const std::vector<PinValue> &after);

class PinStore {
public:
    // Forgets every pin.
    void clear() noexcept { m_pins.clear(); }

    // Declares pin `index` with its data type; a pin declared again starts
    // over with empty values.
    void declare(int32_t index, int32_t datatype, const std::string &name = std::string(),
                 const std::string &listText = std::string());

    // Declares every pin of a table read from the audio side.
    void declare(const std::vector<PinDeclaration> &table);

    bool has(int32_t index) const noexcept { return m_pins.count(index) != 0; }
    size_t size() const noexcept { return m_pins.size(); }
    std::vector<int32_t> indices() const;

    // The pin, or null when it was never declared.
    const PinValue *find(int32_t index) const noexcept;
    // The pin; throws HostError when it was never declared.
    const PinValue &at(int32_t index) const;
    std::vector<PinValue> values() const;

    // Writes, converted to the pin's form. Each returns whether the stored
    // value changed; each throws HostError for an undeclared pin.
    bool setText(int32_t index, const std::string &text);
    bool setInt(int32_t index, int32_t value);
    bool setFloat(int32_t index, float value);
    bool setListText(int32_t index, const std::string &listText);

    // Reads, converted from the pin's form.
    std::string text(int32_t index) const;
    int32_t intValue(int32_t index) const;
    float floatValue(int32_t index) const;
    const std::string &listText(int32_t index) const;

    // Fills a 4-byte slot the way GH_PIN_GET_VALUE is answered: the float of
    // a float pin, otherwise the integer (a text pin's text read as a number).
    void fillSlot(int32_t index, void *slot) const;

    // The conversions described at the top of this file.
    static int32_t parseInt(const std::string &text) noexcept;
    static float parseFloat(const std::string &text) noexcept;
    static std::string formatFloat(float value);
    static int32_t truncateFloat(float value) noexcept;

private:
    PinValue &slot(int32_t index);

    std::map<int32_t, PinValue> m_pins;
};

} // namespace wqhost
