#include "wq_sdk2/WQGuiPin.h"

#include "wq_sdk2/WQGUI_base.h"

#include <algorithm>
#include <memory>

// The operations on the hot path are inline in the header.

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
