// Module.h - the list module's audio-side object.
//
// The list behaviour lives on the GUI side; the audio side declares the four
// pins to the host, all of them for GUI communication only, and installs a
// process function that only pings the host.
#pragma once

#include "wq_sdk2/WQModule_base.h"

class Module : public WQModule_base {
public:
    using WQModule_base::WQModule_base;
    ~Module() override;

    // Installs moduleProcess, then builds the pins.
    void open() override;

    // Declarations 0 to 3: the pin table. Any other index is refused and
    // leaves the record untouched.
    bool getPinProperties(int32_t index, WQPinProperties *properties) override;

    // The process function: sends AH_OPCODE_10 once per call.
    void moduleProcess();
};
