#include "Doubler.h"

Doubler::Doubler(WQHostCallback hostCallback, intptr_t hostValue)
    : WQModule_base(hostCallback, hostValue) {}

bool Doubler::getPinProperties(int32_t index, WQPinProperties *properties) {
    // The host asks for declarations 0, 1, 2, ... until one is refused, and
    // the framework also asks for index -1: refuse everything but 0 and 1.
    switch (index) {
    case 0:
        properties->name = "NUMBER";
        properties->direction = DR_IN;
        properties->datatype = DT_TEXT;
        properties->flags = IO_UI_COMMUNICATION;
        return true;
    case 1:
        properties->name = "DOUBLED";
        properties->direction = DR_OUT;
        properties->datatype = DT_TEXT;
        properties->flags = IO_UI_COMMUNICATION;
        return true;
    default: return false;
    }
}
