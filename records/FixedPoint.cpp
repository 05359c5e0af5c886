#include "FixedPoint.h"

#include <cstring>

namespace rollmode::records {

namespace {

constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// Exactly `digits` digits (even count), leading zeros kept.
inline char* FixedDigits(char* out, uint64_t value, int digits) {
    for (int i = digits; i > 0; i -= 2) {
        std::memcpy(out + i - 2, kDigitPairs + 2 * (value % 100), 2);
        value /= 100;
    }
    return out + digits;
}

}  // namespace

int64_t MillivoltThousandths(int code, int32_t zeroCode, uint32_t mvPerDivision) {
    const int64_t scaled = static_cast<int64_t>(code - zeroCode) * mvPerDivision * 1000;  // x 32
    const int64_t magnitude = scaled < 0 ? -scaled : scaled;
    int64_t q = magnitude / 32;
    const int64_t r = magnitude % 32;
    if (r > 16 || (r == 16 && (q & 1) != 0)) ++q;
    return scaled < 0 ? -q : q;
}

char* FormatUnsigned(char* out, uint64_t value) {
    char tmp[20];
    char* p = tmp + sizeof tmp;
    while (value >= 100) {
        p -= 2;
        std::memcpy(p, kDigitPairs + 2 * (value % 100), 2);
        value /= 100;
    }
    if (value >= 10) {
        p -= 2;
        std::memcpy(p, kDigitPairs + 2 * value, 2);
    } else {
        *--p = static_cast<char>('0' + value);
    }
    const auto n = static_cast<std::size_t>(tmp + sizeof tmp - p);
    std::memcpy(out, p, n);
    return out + n;
}

char* FormatThousandths(char* out, int64_t thousandths) {
    uint64_t magnitude = static_cast<uint64_t>(thousandths);
    if (thousandths < 0) {
        *out++ = '-';
        magnitude = 0 - magnitude;
    }
    out = FormatUnsigned(out, magnitude / 1000);
    *out++ = '.';
    const uint64_t frac = magnitude % 1000;
    out[0] = static_cast<char>('0' + frac / 100);
    std::memcpy(out + 1, kDigitPairs + 2 * (frac % 100), 2);
    return out + 3;
}

char* FormatNanoseconds(char* out, uint64_t ns) {
    out = FormatUnsigned(out, ns / 1'000'000'000);
    *out++ = '.';
    const uint64_t frac = ns % 1'000'000'000;
    *out++ = static_cast<char>('0' + frac / 100'000'000);
    return FixedDigits(out, frac % 100'000'000, 8);
}

}  // namespace rollmode::records
