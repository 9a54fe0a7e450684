#pragma once

// Reading and writing the little-endian integers of the table, memo and index
// files byte by byte, so that neither the host's byte order nor the alignment
// of a field inside a header matters.

#include <cstdint>

namespace dbf {

constexpr uint16_t getU16(const uint8_t* p)
{
    return uint16_t(p[0] | p[1] << 8);
}

constexpr uint32_t getU32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

constexpr void putU16(uint8_t* p, uint16_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}

constexpr void putU32(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(v >> (8 * i));
}

} // namespace dbf
