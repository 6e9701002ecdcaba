#include "Doubler.h"

#include "DoublerPins.h"
#include "wq_sdk2/WQPinTable.h"

namespace {

// Both pins carry text between the user and the GUI side.
constexpr wq::PinDeclaration kPins[kDoublerPinCount] = {
    {"NUMBER", DR_IN, DT_TEXT, IO_UI_COMMUNICATION},
    {"DOUBLED", DR_OUT, DT_TEXT, IO_UI_COMMUNICATION},
};

} // namespace

bool Doubler::getPinProperties(int32_t index, WQPinProperties *properties) {
    return wq::servePinTable(kPins, *this, index, properties);
}
