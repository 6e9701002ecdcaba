#include "list_module/Module.h"

namespace {

// One declaration: only the fields it names are written.
struct PinDeclaration {
    const char *name;
    int32_t direction;
    int32_t datatype;
    const char *list_text; // null: the record's list_text is left as it was
    uint32_t flags;
};

constexpr PinDeclaration kPins[] = {
    {"TEXT LIST", DR_OUT, DT_TEXT, nullptr, IO_UI_COMMUNICATION},
    {"LIST", DR_IN, DT_ENUM, "a=1,b=2", IO_UI_COMMUNICATION},
    {"ITEM -> NAME", DR_OUT, DT_TEXT, nullptr, IO_UI_COMMUNICATION},
    {"ITEM -> VALUE", DR_OUT, DT_TEXT, nullptr, IO_UI_COMMUNICATION},
};

constexpr int32_t kPinCount = static_cast<int32_t>(sizeof kPins / sizeof kPins[0]);

} // namespace

Module::Module(WQHostCallback hostCallback, intptr_t hostValue)
    : WQModule_base(hostCallback, hostValue) {}

Module::~Module() = default;

void Module::open() {
    setProcessFunction(wq::memberRef<&Module::moduleProcess>());
    WQModule_base::open();
}

bool Module::getPinProperties(int32_t index, WQPinProperties *properties) {
    if (index < 0 || index >= kPinCount)
        return false;
    const PinDeclaration &pin = kPins[index];
    properties->name = pin.name;
    properties->direction = pin.direction;
    properties->datatype = pin.datatype;
    if (pin.list_text != nullptr)
        properties->list_text = pin.list_text;
    properties->flags = pin.flags;
    return true;
}

void Module::moduleProcess() { callHost(AH_OPCODE_10); }
