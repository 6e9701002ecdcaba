// GuiModule.h - the GUI-side object of the list selector, where its list
// behaviour lives.
//
// Pins (declared by the audio-side Module):
//   0 "TEXT LIST"      the list text, items separated by ',' (name or name=value)
//   1 "LIST"           the selection: the 0-based number of an item
//   2 "ITEM -> NAME"   written: the selected item's name
//   3 "ITEM -> VALUE"  written: pin 1's number as decimal text;
//                      read: a number that moves the selection
//
// A new list on pin 0 becomes pin 1's choices and pin 1 is set again from pin
// 3; a new selection on pin 1 is published on pins 2 and 3; a number written
// to pin 3 moves pin 1. Every value lives in the host; the object keeps only
// the guard against the host echoing its own pin-3 write back.
#pragma once

#include "wq_sdk2/WQGUI_base.h"

#include <cstddef>
#include <cstdint>

class GuiModule final : public WQGUI_base {
public:
    // The base construction only: nothing is sent to the host.
    GuiModule(WQHostCallback hostCallback, intptr_t hostValue);

    // The working buffer for the list text: 1023 bytes and a NUL. Longer list
    // texts are cut to their first 1023 bytes.
    static constexpr int kTextBufferSize = 1024;

protected:
    // Sends GH_OPCODE_22; the dispatcher then frees the storage.
    ~GuiModule() override;

    // Sends GH_OPCODE_22, runs the base open, clears the echo guard.
    void open(bool flag) override;
    // Answers host opcode 10 with 1.
    bool onHostOpcode10() override;
    // Host opcode 6 needs nothing here.
    void onHostOpcode6(int32_t value, int32_t index, void *ptr) override;
    // Pins 0, 1 and 3 are handled; pin 2 and any other index are not.
    void onPinChanged(WQGuiPin *pin) override;

private:
    void onListTextChanged();  // pin 0
    void onSelectionChanged(); // pin 1
    void onValueTextChanged(); // pin 3

    // Pin 0's text, cut to fit, NUL-terminated in the working buffer; returns
    // its length. `hostText`: the host's text (null when the host answered
    // null), valid only until the next host request.
    std::size_t readListText(char (&listText)[kTextBufferSize], const char *&hostText);

    // 1 only while the selection handling writes pin 3, so that a pin-3
    // notification the host delivers from inside that write is ignored.
    int32_t m_updating;
};
