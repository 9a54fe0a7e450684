#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace images {

// The variable-length code decompressor of GIF image data. Codes start at
// the minimum code size + 1 bits and widen up to 12 bits as the string
// table grows; a clear code starts the table again, an end code stops. A
// table that is full stays as it is until the next clear code.
class LzwDecoder {
public:
    static constexpr int kMaxCodes = 4096;
    static constexpr int kMaxCodeBits = 12;

    // `data` is the code stream with the sub-block lengths already removed.
    LzwDecoder(int minCodeSize, const std::uint8_t* data, std::size_t size);

    // Writes at most `outSize` colour indexes to `out` and returns how many
    // it wrote (fewer when the data ends early), or -1 when the data holds a
    // code that cannot occur.
    long decode(std::uint8_t* out, std::size_t outSize);

private:
    std::size_t writeString(int code, std::uint8_t* out, std::size_t room) const;
    int readCode(int codeSize);

    int m_minCodeSize;
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_pos = 0;
    std::uint32_t m_bits = 0;
    int m_bitCount = 0;
    // The string of code c is the string of m_prefix[c] followed by
    // m_suffix[c]; m_first and m_length spare walking the chain.
    std::array<std::int16_t, kMaxCodes> m_prefix{};
    std::array<std::uint8_t, kMaxCodes> m_suffix{};
    std::array<std::uint8_t, kMaxCodes> m_first{};
    std::array<std::uint16_t, kMaxCodes> m_length{};
};

} // namespace images
