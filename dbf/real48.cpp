#include "dbf/real48.h"

#include <cmath>
#include <cstring>

namespace dbf {

namespace {
constexpr int kExponentBias = 129;
constexpr int kMantissaBits = 39;
constexpr uint64_t kMantissaMask = (uint64_t(1) << kMantissaBits) - 1;
} // namespace

void encodeReal48(double value, uint8_t* out)
{
    std::memset(out, 0, kReal48Size);
    if (value == 0 || !std::isfinite(value))
        return;
    const bool negative = value < 0;
    int exponent = 0;
    // frexp gives a fraction in [0.5, 1); the format wants [1, 2).
    double fraction = std::frexp(std::fabs(value), &exponent) * 2.0;
    exponent -= 1;
    uint64_t mantissa =
        uint64_t(std::llround((fraction - 1.0) * double(uint64_t(1) << kMantissaBits)));
    if (mantissa > kMantissaMask) { // rounding carried into the hidden bit
        mantissa = 0;
        ++exponent;
    }
    const int biased = exponent + kExponentBias;
    if (biased <= 0)
        return; // too small: stored as zero
    if (biased > 255) {
        out[0] = 255;
        mantissa = kMantissaMask;
    } else {
        out[0] = uint8_t(biased);
    }
    for (int i = 0; i < 5; ++i)
        out[1 + i] = uint8_t(mantissa >> (8 * i));
    if (negative)
        out[5] |= 0x80;
}

double decodeReal48(const uint8_t* in)
{
    if (in[0] == 0)
        return 0.0;
    uint64_t mantissa = 0;
    for (int i = 0; i < 5; ++i)
        mantissa |= uint64_t(in[1 + i]) << (8 * i);
    const bool negative = (mantissa >> kMantissaBits) & 1;
    mantissa &= kMantissaMask;
    const double fraction = 1.0 + double(mantissa) / double(uint64_t(1) << kMantissaBits);
    const double value = std::ldexp(fraction, int(in[0]) - kExponentBias);
    return negative ? -value : value;
}

} // namespace dbf
