// Inside hg_audio and its users: the byte order of every container the
// engine reads and the tools write (RIFF WAVE, Ogg), in one place.
#pragma once

#include <cstdint>
#include <vector>

namespace Aurix {

// The little-endian 32-bit word at `bytes`.
inline uint32_t littleEndian32(const uint8_t* bytes) {
    return uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 | uint32_t(bytes[3]) << 24;
}

// Appends the low 16 or all 32 bits of `value`, low byte first.
inline void appendLittleEndian16(std::vector<uint8_t>& out, uint32_t value) {
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}
inline void appendLittleEndian32(std::vector<uint8_t>& out, uint32_t value) {
    appendLittleEndian16(out, value & 0xFFFF);
    appendLittleEndian16(out, value >> 16);
}

}  // namespace Aurix
