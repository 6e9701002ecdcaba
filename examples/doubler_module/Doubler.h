// Doubler.h - the audio side of the example module "Doubler".
//
// The module has two pins, both for communication with the GUI side:
//   0 "NUMBER"   a decimal number, written as text by the user
//   1 "DOUBLED"  twice that number, as decimal text, written by the module
// The work happens on the GUI side (DoublerGui); the audio side only
// declares the pins, so the host knows them.
#pragma once

#include "wq_sdk2/WQModule_base.h"

class Doubler : public WQModule_base {
public:
    Doubler(WQHostCallback hostCallback, intptr_t hostValue);

    // Declarations 0 and 1; any other index is refused.
    bool getPinProperties(int32_t index, WQPinProperties *properties) override;
};
