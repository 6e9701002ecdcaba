// JsonText - how the host writes 8-bit texts into JSON: the one encoding of
// every JSON the host produces (the --trace lines, `info --json`, the
// validate reports and the channel between a check and the validator).
//
// The interface's texts (module names, pin texts, lists, paths) are bytes
// with no encoding of their own, while a JSON string is a sequence of Unicode
// code points. Each byte becomes the code point of the same number: 0x41 is
// "A", 0xE9 is U+00E9, 0x01 is U+0001. The JSON is then written as UTF-8 by
// nlohmann-json, which escapes '"', '\\' and the control code points
// (\n, \t, \u0001, ...). So the output is valid JSON whatever the bytes, a
// plain ASCII text reads as itself, and a reader gets the exact bytes back by
// taking each code point (all below 256) as one byte: utf8ToBytes().
#pragma once

#include <string>

namespace wqhost {

// The bytes of `text` as UTF-8, one code point per byte.
std::string bytesToUtf8(const std::string &text);

// The inverse: UTF-8 whose code points all lie below 256 back to bytes.
// Other code points (which the host never writes) become '?'.
std::string utf8ToBytes(const std::string &text);

} // namespace wqhost
