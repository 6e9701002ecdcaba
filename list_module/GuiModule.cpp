#include "list_module/GuiModule.h"

#include "list_module/ListPins.h"
#include "list_module/decimal_text.h"
#include "list_module/list_item.h"

#include <cstring>
#include <string>
#include <string_view>

GuiModule::GuiModule(WQHostCallback hostCallback, intptr_t hostValue)
    : WQGUI_base(hostCallback, hostValue), m_updating(0) {}

GuiModule::~GuiModule() { callHost(GH_OPCODE_22, 0, 0, nullptr, 0.0f); }

void GuiModule::open(bool flag) {
    callHost(GH_OPCODE_22, 0, 0, nullptr, 0.0f);
    WQGUI_base::open(flag);
    m_updating = 0;
}

bool GuiModule::onHostOpcode10() { return true; }

void GuiModule::onHostOpcode6(int32_t, int32_t, void *) {}

void GuiModule::onPinChanged(WQGuiPin *pin) {
    switch (pin->index) {
    case kPinListText: onListTextChanged(); return;
    case kPinSelection: onSelectionChanged(); return;
    case kPinItemValue: onValueTextChanged(); return;
    default: // pin 2 is only ever written by this object; other indices are not ours
        return;
    }
}

std::size_t GuiModule::readListText(char (&listText)[kTextBufferSize], const char *&hostText) {
    // The host's text is copied at once, straight into the working buffer;
    // only what fits is kept, so the choices handed to the host and the names
    // found always agree. The same request and copy as the pin's
    // getValueText(buffer, size), keeping the host's address as well.
    const wq_result_t result = callHost(GH_PIN_GET_TEXT, kPinListText, 0, nullptr, 0.0f);
    hostText = reinterpret_cast<const char *>(result);
    std::size_t n = 0;
    if (hostText != nullptr) {
        const void *nul = std::memchr(hostText, '\0', sizeof listText - 1);
        n = nul != nullptr ? static_cast<std::size_t>(static_cast<const char *>(nul) - hostText)
                           : sizeof listText - 1;
        std::memcpy(listText, hostText, n);
    }
    listText[n] = '\0';
    return n;
}

void GuiModule::onListTextChanged() {
    char listText[kTextBufferSize];
    const char *hostText;
    readListText(listText, hostText);
    callHost(GH_PIN_SET_LIST_TEXT, kPinSelection, 0, listText, 0.0f);

    // Pin 1 gets back the number pin 3 shows, now counted against the new list.
    // The whole text is read as atoi reads it, however long it is.
    const std::string valueText = getPin(kPinItemValue)->getValueText();
    getPin(kPinSelection)->setValueInt(readDecimalText(valueText.c_str()));
}

void GuiModule::onSelectionChanged() {
    const int32_t selected = getPin(kPinSelection)->getValueInt();

    char listText[kTextBufferSize];
    const char *hostText;
    const std::size_t length = readListText(listText, hostText);

    // The walk reads the host's text, the same bytes as the copy and still
    // valid (no host request has been made since), rather than the copy just
    // written: loads of the copy's newest bytes would wait for its stores.
    std::string_view found;
    const char *const walked = hostText != nullptr ? hostText : listText;
    if (!findListItemName(std::string_view(walked, length), selected, found))
        return; // no such item: pins 2 and 3 keep what they show

    // The name is sent from where it stands in the working buffer, which is
    // not read again: a NUL over the ',' or '=' that ends it (or over the
    // text's own NUL) makes it a text of its own without a second copy.
    char *const name = listText + (found.data() - walked);
    name[found.size()] = '\0';
    getPin(kPinItemName)->setValueText(name);

    // Pin 3 shows pin 1's value as it is now, which a nested handling during
    // the pin-2 write may have changed.
    m_updating = 1;
    char valueText[kDecimalTextSize];
    formatDecimalText(getPin(kPinSelection)->getValueInt(), valueText);
    getPin(kPinItemValue)->setValueText(valueText);
    m_updating = 0;
}

void GuiModule::onValueTextChanged() {
    if (m_updating == 1)
        return; // our own pin-3 write, reported back from inside it

    const std::string valueText = getPin(kPinItemValue)->getValueText();
    getPin(kPinSelection)->setValueInt(readDecimalText(valueText.c_str()));
}
