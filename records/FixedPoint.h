#pragma once
// Number formatting for exports at tens of millions of rows per second: integer
// arithmetic only, '.' as the decimal point, no locale, exact to the last digit.
#include <cstdint>

namespace rollmode::records {

// Thousandths of a millivolt of a code, (code - zero) x deflection / 32, rounded to
// the nearest with halves to even (as printf rounds the exact value).
int64_t MillivoltThousandths(int code, int32_t zeroCode, uint32_t mvPerDivision);

// Writes the number and returns the end; no terminating 0.
char* FormatUnsigned(char* out, uint64_t value);
// "-12.345" from -12345.
char* FormatThousandths(char* out, int64_t thousandths);
// "3.000000200" from 3000000200 ns: seconds with nine decimals.
char* FormatNanoseconds(char* out, uint64_t ns);

}  // namespace rollmode::records
