// wide_text.h - turning fuzz bytes into 16-bit wide texts.
//
// The encoding keeps ASCII one byte per character, so that dictionary words
// such as "range" or "=" land in the text as they are, and still reaches
// every 16-bit unit:
//   0x00..0x7F        the unit itself
//   0x80..0xFE, b     the unit 0x80 + ((lead - 0x80) << 8 | b): 0x80..0x7F7F
//   0xFF, lo, hi      the unit hi << 8 | lo: any unit, NUL and surrogates too
// A sequence cut short by the end of the bytes is dropped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

std::wstring decodeWideText(const uint8_t *data, size_t size);
