#include "DoublerGui.h"

#include "DoublerPins.h"

#include <cstdint>
#include <cstdlib>
#include <limits>

std::string DoublerGui::doubledText(const std::string &text) {
    // strtoll instead of atoi: it reports overflow instead of leaving it
    // undefined, and saturates at its own range.
    const long long number = std::strtoll(text.c_str(), nullptr, 10);
    const long long lowest = std::numeric_limits<int32_t>::min();
    const long long highest = std::numeric_limits<int32_t>::max();
    long long doubled = 0;
    if (number <= lowest / 2)
        doubled = lowest;
    else if (number >= highest / 2 + 1)
        doubled = highest;
    else
        doubled = 2 * number;
    return std::to_string(doubled);
}

void DoublerGui::open(bool flag) {
    WQGUI_base::open(flag);
    update();
}

void DoublerGui::onPinChanged(WQGuiPin *pin) {
    if (pin->index == kNumberPin)
        update();
}

void DoublerGui::update() {
    // getPin hands out one shared handle: fetch it afresh for every access.
    const std::string number = getPin(kNumberPin)->getValueText();
    getPin(kDoubledPin)->setValueText(doubledText(number));
}
