// Code page 437 as UTF-8: every one of the 256 console character codes as
// the Unicode character the IBM PC showed for it, so a terminal displays the
// cells and the titles as the console did. Pure tables; no terminal needed.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// The Unicode code point of each code page 437 byte (all in the BMP).
extern const std::array<uint16_t, 256> Cp437Unicode;

// One character's UTF-8 encoding: 1 to 3 bytes.
struct Utf8Char {
    uint8_t length;
    char bytes[3];
};
extern const std::array<Utf8Char, 256> Cp437Utf8;

// Converts a zero-terminated code page 437 string into UTF-8 at `out`
// (zero-terminated, at most outSize bytes including the zero; characters
// that would not fit whole are dropped). Returns the bytes written, without
// the zero. Each input byte needs at most 3 output bytes.
size_t cp437ToUtf8(const char* text, char* out, size_t outSize);
