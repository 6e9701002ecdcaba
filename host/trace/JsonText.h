// JsonText - 8-bit pin and module texts made fit for JSON reports.
//
// The interface's texts are bytes with no encoding of their own, while JSON
// strings are Unicode. Each byte becomes the code point of the same number
// (0x41 'A', 0xE9 U+00E9), written as UTF-8: the report stays valid JSON
// whatever the bytes, and the exact bytes can be read back. The call log's
// JSON lines use the same mapping (\u00XX).
#pragma once

#include <string>

namespace wqhost {

// The bytes of `text` as UTF-8, one code point per byte.
std::string bytesToUtf8(const std::string &text);

// The inverse: UTF-8 whose code points all lie below 256 back to bytes.
// Other code points become '?'.
std::string utf8ToBytes(const std::string &text);

} // namespace wqhost
