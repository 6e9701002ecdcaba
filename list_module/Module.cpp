#include "list_module/Module.h"

#include "list_module/ListPins.h"
#include "wq_sdk2/WQPinTable.h"

namespace {

// The four declarations; list_text is written for the enumeration pin only.
constexpr wq::PinDeclaration kPins[kListPinCount] = {
    {"TEXT LIST", DR_OUT, DT_TEXT, IO_UI_COMMUNICATION},
    {"LIST", DR_IN, DT_ENUM, IO_UI_COMMUNICATION, "a=1,b=2"},
    {"ITEM -> NAME", DR_OUT, DT_TEXT, IO_UI_COMMUNICATION},
    {"ITEM -> VALUE", DR_OUT, DT_TEXT, IO_UI_COMMUNICATION},
};

} // namespace

Module::~Module() = default;

void Module::open() {
    setProcessFunction(wq::memberRef<&Module::moduleProcess>());
    WQModule_base::open();
}

bool Module::getPinProperties(int32_t index, WQPinProperties *properties) {
    return wq::servePinTable(kPins, *this, index, properties);
}

void Module::moduleProcess() { callHost(AH_OPCODE_10); }
