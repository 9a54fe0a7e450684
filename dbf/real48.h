#pragma once

#include <cstdint>

namespace dbf {

// The 6-byte real of the record buffer: byte 0 is the exponent biased by 129
// (0 means the value 0), bytes 1 to 5 hold a 39-bit mantissa with an implicit
// leading 1, least significant byte first, and the top bit of byte 5 is the
// sign. Numbers with decimals travel through the buffer in this form.
constexpr int kReal48Size = 6;

void encodeReal48(double value, uint8_t* out);
double decodeReal48(const uint8_t* in);

} // namespace dbf
