#include "wq_sdk2/WQGuiPin.h"

#include "wq_sdk2/WQGUI_base.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace {

// Both value reads make the same request; the caller decides how the four
// bytes are read. A host stores a 32-bit integer or float into the slot, so
// callers align it as one. The slot starts at zero so a host that leaves it
// alone reads as 0 rather than as stack garbage.
void readValueSlot(const WQGuiPin &pin, unsigned char (&slot)[4]) {
    std::memset(slot, 0, sizeof slot);
    pin.module->callHost(GH_PIN_GET_VALUE, pin.index, 0, slot, 0.0f);
}

} // namespace

int32_t WQGuiPin::getValueInt() const {
    alignas(int32_t) unsigned char slot[4];
    readValueSlot(*this, slot);
    int32_t v;
    std::memcpy(&v, slot, sizeof v);
    return v;
}

float WQGuiPin::getValueFloat() const {
    static_assert(sizeof(float) == 4, "the value slot holds a 32-bit float");
    alignas(int32_t) unsigned char slot[4];
    readValueSlot(*this, slot);
    float v;
    std::memcpy(&v, slot, sizeof v);
    return v;
}

void WQGuiPin::setValueInt(int32_t v) const {
    module->callHost(GH_PIN_SET_VALUE, index, v, nullptr, 0.0f);
}

void WQGuiPin::setValueFloat(float v) const {
    module->callHost(GH_PIN_SET_VALUE, index, 0, nullptr, v);
}

void WQGuiPin::setValueText(const std::string &s) const {
    // The host only reads the text; the callback's pointer argument is not const.
    module->callHost(GH_PIN_SET_TEXT, index, 0, const_cast<char *>(s.c_str()), 0.0f);
}

void WQGuiPin::setValueText(const char *s) const {
    module->callHost(GH_PIN_SET_TEXT, index, 0, const_cast<char *>(s != nullptr ? s : ""), 0.0f);
}

std::size_t WQGuiPin::getValueText(char *buffer, std::size_t size) const {
    const wq_result_t result = module->callHost(GH_PIN_GET_TEXT, index, 0, nullptr, 0.0f);
    if (size == 0)
        return 0;
    const char *text = reinterpret_cast<const char *>(result);
    // Copied at once, and no further than the buffer holds: the NUL is
    // looked for only within the first size - 1 bytes.
    std::size_t n = 0;
    if (text != nullptr) {
        const void *nul = std::memchr(text, '\0', size - 1);
        n = nul != nullptr ? static_cast<std::size_t>(static_cast<const char *>(nul) - text)
                           : size - 1;
        std::memcpy(buffer, text, n);
    }
    buffer[n] = '\0';
    return n;
}

std::string WQGuiPin::getValueText() const {
    const wq_result_t result = module->callHost(GH_PIN_GET_TEXT, index, 0, nullptr, 0.0f);
    const char *text = reinterpret_cast<const char *>(result);
    if (text == nullptr)
        return std::string();
    return std::string(text); // copied at once; the host's text is not used again
}

std::u16string WQGuiPin::getValueTextW() const {
    // The length travels as a 32-bit integer, terminating zero unit included.
    // A negative length means there is nothing to read.
    const wq_result_t reported = module->callHost(GH_PIN_GET_TEXT_W, index, 0, nullptr, 0.0f);
    const int32_t n = std::max<int32_t>(static_cast<int32_t>(reported), 0);

    // new[] of zero elements still yields a distinct non-null address, so the
    // second request always carries a real (possibly empty) buffer.
    const std::unique_ptr<char16_t[]> buffer(new char16_t[static_cast<size_t>(n)]());
    module->callHost(GH_PIN_GET_TEXT_W, index, n, buffer.get(), 0.0f);

    const char16_t *begin = buffer.get();
    const char16_t *end = std::find(begin, begin + n, u'\0');
    return std::u16string(begin, end);
}
