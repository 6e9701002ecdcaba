// DoublerGui.h - the GUI side of the example module "Doubler", where its
// behaviour lives: whenever pin 0 "NUMBER" changes, pin 1 "DOUBLED" receives
// twice its number.
#pragma once

#include "wq_sdk2/WQGUI_base.h"

#include <cstdint>
#include <string>

class DoublerGui : public WQGUI_base {
public:
    using WQGUI_base::WQGUI_base;

    // Twice the number at the start of `text`, as decimal text. The number is
    // read as atoi reads it (leading blanks, an optional sign, digits; 0 when
    // there is none); results beyond the 32-bit range saturate.
    static std::string doubledText(const std::string &text);

protected:
    // Brings pin 1 in step with whatever pin 0 already holds.
    void open(bool flag) override;
    // Pin 0 changed: pin 1 follows. Changes of pin 1, including the echo of
    // our own write that the host may deliver from inside it, are ignored.
    void onPinChanged(WQGuiPin *pin) override;

private:
    void update();
};
