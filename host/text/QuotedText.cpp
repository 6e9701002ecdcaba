#include "host/text/QuotedText.h"

#include "host/text/NumberText.h"

namespace wqhost {

std::string quoteText(const std::string &text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\t': out += "\\t"; break;
        case '\r': out += "\\r"; break;
        default:
            if (c < 0x20 || c >= 0x7F)
                out += "\\x" + hexDigits(c, 2);
            else
                out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

} // namespace wqhost
