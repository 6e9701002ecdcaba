#include "host/text/JsonText.h"

namespace wqhost {

std::string bytesToUtf8(const std::string &text) {
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::string utf8ToBytes(const std::string &text) {
    std::string out;
    for (size_t i = 0; i < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            out += static_cast<char>(c);
            ++i;
            continue;
        }
        size_t len = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        if ((c == 0xC2 || c == 0xC3) && i + 1 < text.size()) {
            unsigned char d = static_cast<unsigned char>(text[i + 1]);
            out += static_cast<char>(((c & 0x1F) << 6) | (d & 0x3F));
        } else {
            out += '?';
        }
        i += len;
    }
    return out;
}

} // namespace wqhost
