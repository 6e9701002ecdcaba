// Doubler.h - the audio side of the example module "Doubler".
//
// The module has two pins (DoublerPins.h), both for communication with the
// GUI side. The work happens on the GUI side (DoublerGui); the audio side
// only declares the pins, so the host knows them.
#pragma once

#include "wq_sdk2/WQModule_base.h"

class Doubler : public WQModule_base {
public:
    using WQModule_base::WQModule_base;

    // The pin table; any other index is refused.
    bool getPinProperties(int32_t index, WQPinProperties *properties) override;
};
