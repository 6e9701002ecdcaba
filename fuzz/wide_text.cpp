#include "fuzz/wide_text.h"

std::wstring decodeWideText(const uint8_t *data, size_t size) {
    std::wstring text;
    text.reserve(size);
    size_t i = 0;
    while (i < size) {
        const uint8_t lead = data[i];
        if (lead < 0x80) {
            text.push_back(static_cast<wchar_t>(lead));
            i += 1;
        } else if (lead < 0xFF) {
            if (i + 1 >= size)
                break;
            const unsigned unit = 0x80u + ((static_cast<unsigned>(lead - 0x80) << 8) | data[i + 1]);
            text.push_back(static_cast<wchar_t>(unit));
            i += 2;
        } else {
            if (i + 2 >= size)
                break;
            const unsigned unit = static_cast<unsigned>(data[i + 2]) << 8 | data[i + 1];
            text.push_back(static_cast<wchar_t>(unit));
            i += 3;
        }
    }
    return text;
}
