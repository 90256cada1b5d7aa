#include "DVstUtils.h"

#include <cmath>
#include <cstring>

#if defined(_WIN32)
#include <windows.h>
#else
#include <langinfo.h>
#include <locale.h>
#endif

namespace {

char readRegionalSeparator() {
#if defined(_WIN32)
  char buffer[8] = {};
  if (GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, buffer, sizeof buffer) > 1)
    return buffer[0];
  return '.';
#else
  locale_t regional = newlocale(LC_NUMERIC_MASK, "", static_cast<locale_t>(nullptr));
  if (regional == static_cast<locale_t>(nullptr)) return '.';
  const char* radix = nl_langinfo_l(RADIXCHAR, regional);
  char separator = (radix != nullptr && radix[0] != '\0' && radix[1] == '\0') ? radix[0] : '.';
  freelocale(regional);
  return separator;
#endif
}

char regionalSeparator = readRegionalSeparator();

// Exact decimal expansion of a finite float: `digits` holds the decimal digits of the
// magnitude, `pointPos` of them stand before the decimal point.
struct Decimal {
  // 2^127 × (2^24 − 1) has 46 integer digits; 2^-149 has 149 fraction digits.
  static constexpr int kCapacity = 256;
  unsigned char digits[kCapacity];
  int count = 0;
  int pointPos = 0;
};

void exactDecimal(float magnitude, Decimal& out) {
  int exponent = 0;
  double mantissa = std::frexp(static_cast<double>(magnitude), &exponent);
  // magnitude = m × 2^(exponent − 24) with m a 24-bit integer.
  auto m = static_cast<uint32_t>(std::ldexp(mantissa, 24));
  int shift = exponent - 24;

  // Integer digits of m, most significant first.
  unsigned char buffer[Decimal::kCapacity];
  int count = 0;
  if (m == 0) buffer[count++] = 0;
  while (m != 0) {
    buffer[count++] = static_cast<unsigned char>(m % 10);
    m /= 10;
  }
  for (int i = 0; i < count; ++i) out.digits[i] = buffer[count - 1 - i];
  out.count = count;
  out.pointPos = count;

  for (; shift > 0; --shift) {  // multiply by two
    int carry = 0;
    for (int i = out.count - 1; i >= 0; --i) {
      int d = out.digits[i] * 2 + carry;
      out.digits[i] = static_cast<unsigned char>(d % 10);
      carry = d / 10;
    }
    if (carry != 0) {
      std::memmove(out.digits + 1, out.digits, static_cast<size_t>(out.count));
      out.digits[0] = static_cast<unsigned char>(carry);
      ++out.count;
      ++out.pointPos;
    }
  }
  for (; shift < 0; ++shift) {  // divide by two: one more fraction digit each time
    int remainder = 0;
    for (int i = 0; i < out.count; ++i) {
      int d = remainder * 10 + out.digits[i];
      out.digits[i] = static_cast<unsigned char>(d / 2);
      remainder = d % 2;
    }
    if (remainder != 0) out.digits[out.count++] = 5;
  }
}

// Rounds the digit string to keep `keep` digits; `halfEven` chooses ties to even, otherwise
// halves go away from zero. May grow the integer part by one digit ("9.99" -> "10.0").
void roundDigits(Decimal& d, int keep, bool halfEven) {
  if (keep >= d.count) return;
  if (keep < 0) {
    d.count = 0;
    return;
  }
  bool roundUp = false;
  int first = d.digits[keep];
  bool restNonZero = false;
  for (int i = keep + 1; i < d.count; ++i) restNonZero = restNonZero || d.digits[i] != 0;
  if (first > 5 || (first == 5 && restNonZero)) {
    roundUp = true;
  } else if (first == 5) {
    roundUp = halfEven ? (keep > 0 && (d.digits[keep - 1] % 2) == 1) : true;
  }
  d.count = keep;
  if (!roundUp) return;
  int i = keep - 1;
  while (i >= 0 && d.digits[i] == 9) d.digits[i--] = 0;
  if (i >= 0) {
    ++d.digits[i];
  } else {
    std::memmove(d.digits + 1, d.digits, static_cast<size_t>(d.count));
    d.digits[0] = 1;
    ++d.count;
    ++d.pointPos;
  }
}

}  // namespace

char decimalSeparator() { return regionalSeparator; }
void setDecimalSeparatorForTesting(char separator) { regionalSeparator = separator; }

void floatToFixedText(float value, char* text) {
  if (std::isnan(value)) {
    std::strcpy(text, "NAN");
    return;
  }
  if (std::isinf(value)) {
    std::strcpy(text, value < 0 ? "-INF" : "INF");
    return;
  }

  Decimal d;
  exactDecimal(std::fabs(value), d);
  // Drop leading zeros so that significant digits count from the first non-zero one.
  int lead = 0;
  while (lead < d.count - 1 && d.digits[lead] == 0) ++lead;
  if (lead > 0) {
    std::memmove(d.digits, d.digits + lead, static_cast<size_t>(d.count - lead));
    d.count -= lead;
    d.pointPos -= lead;
  }
  roundDigits(d, 18, true);
  roundDigits(d, d.pointPos + 2, false);

  // Render: integer part (at least one digit), separator, two decimals.
  auto digitAt = [&](int i) -> char {
    return (i >= 0 && i < d.count) ? static_cast<char>('0' + d.digits[i]) : '0';
  };
  char out[kFixedTextMax];
  int n = 0;
  bool allZero = true;
  for (int i = 0; i < d.count && i < d.pointPos + 2; ++i) allZero = allZero && d.digits[i] == 0;
  if (value < 0 && !allZero) out[n++] = '-';
  if (d.pointPos <= 0) {
    out[n++] = '0';
  } else {
    for (int i = 0; i < d.pointPos; ++i) out[n++] = digitAt(i);
  }
  out[n++] = regionalSeparator;
  out[n++] = digitAt(d.pointPos);
  out[n++] = digitAt(d.pointPos + 1);
  out[n] = '\0';
  std::memcpy(text, out, static_cast<size_t>(n) + 1);
}
