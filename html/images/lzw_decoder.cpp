#include "html/images/lzw_decoder.h"

#include <algorithm>

namespace images {

LzwDecoder::LzwDecoder(int minCodeSize, const std::uint8_t* data, std::size_t size)
    : m_minCodeSize(minCodeSize), m_data(data), m_size(size)
{
}

long LzwDecoder::decode(std::uint8_t* out, std::size_t outSize)
{
    const int clearCode = 1 << m_minCodeSize;
    const int endCode = clearCode + 1;
    for (int code = 0; code < clearCode; ++code) {
        m_prefix[code] = -1;
        m_suffix[code] = static_cast<std::uint8_t>(code);
        m_first[code] = static_cast<std::uint8_t>(code);
        m_length[code] = 1;
    }
    int codeSize = m_minCodeSize + 1;
    int next = clearCode + 2;
    int previous = -1;
    std::size_t written = 0;

    while (written < outSize) {
        const int code = readCode(codeSize);
        if (code < 0 || code == endCode)
            break;
        if (code == clearCode) {
            codeSize = m_minCodeSize + 1;
            next = clearCode + 2;
            previous = -1;
            continue;
        }
        if (previous < 0) {
            // The first code after a clear must be a colour.
            if (code >= clearCode)
                return -1;
            out[written++] = static_cast<std::uint8_t>(code);
            previous = code;
            continue;
        }
        if (code > next || (code == next && next >= kMaxCodes))
            return -1;
        if (next < kMaxCodes) {
            // The new entry is the previous string plus the first byte of
            // this one; for the code not yet in the table (code == next)
            // that first byte is the previous string's own first byte.
            const std::uint8_t first = code == next ? m_first[previous] : m_first[code];
            m_prefix[next] = static_cast<std::int16_t>(previous);
            m_suffix[next] = first;
            m_first[next] = m_first[previous];
            m_length[next] = static_cast<std::uint16_t>(m_length[previous] + 1);
            ++next;
            if (next == (1 << codeSize) && codeSize < kMaxCodeBits)
                ++codeSize;
        }
        written += writeString(code, out + written, outSize - written);
        previous = code;
    }
    return static_cast<long>(written);
}

// Writes the string of `code` back to front; a string longer than the room
// left is cut at its end.
std::size_t LzwDecoder::writeString(int code, std::uint8_t* out, std::size_t room) const
{
    const std::size_t length = m_length[code];
    std::size_t pos = length;
    while (code >= 0 && pos > 0) {
        --pos;
        if (pos < room)
            out[pos] = m_suffix[code];
        code = m_prefix[code];
    }
    return std::min(length, room);
}

// Codes are packed least significant bit first.
int LzwDecoder::readCode(int codeSize)
{
    while (m_bitCount < codeSize) {
        if (m_pos >= m_size)
            return -1;
        m_bits |= static_cast<std::uint32_t>(m_data[m_pos++]) << m_bitCount;
        m_bitCount += 8;
    }
    const int code = static_cast<int>(m_bits & ((1u << codeSize) - 1));
    m_bits >>= codeSize;
    m_bitCount -= codeSize;
    return code;
}

} // namespace images
