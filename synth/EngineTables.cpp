// The shared tables (sine, note frequencies, pitch bend), built once per process from our own
// double-precision series: only +, -, *, / decide an entry, so no platform's maths library can
// change a bit. Checked against a 60-digit reference (tests/data/tables_reference.py).
#include "EngineNumbers.h"

using namespace engine;

namespace {

struct SynthTablesHolder {
  SynthTables tables;
  SynthTablesHolder() {
    tables.sine.build([](int32_t step) { return roundToInt(65536.0 * sineOfStep(step)); });
    double x = 6.875;
    for (int32_t i = 0; i < 3; ++i) x *= kPitchRatio;
    for (float& frequency : tables.noteFrequencyTable) {
      frequency = static_cast<float>(x);
      x *= kPitchRatio;
    }
    for (int32_t m = 0; m < kPitchBendSteps; ++m)
      tables.pitchBendTable[m] = static_cast<float>(pitchBendPower(m - 64));
  }
};

}  // namespace

double sineOfStep(int32_t step) {
  // Below pi/4 the sine series, above it the cosine of the complement: both converge fast.
  constexpr double kRadiansPerStep = 3.14159265358979323846 / 65536.0;
  const bool complement = step > 16384;
  const double x = static_cast<double>(complement ? 32768 - step : step) * kRadiansPerStep;
  const double x2 = x * x;
  double term = complement ? 1.0 : x;
  double sum = term;
  for (int32_t n = 1; n <= 12; ++n) {
    const int32_t a = complement ? 2 * n - 1 : 2 * n;
    term = -term * x2 / static_cast<double>(a * (a + 1));
    sum += term;
  }
  return sum;
}

double pitchBendPower(int32_t exponent64) {
  // ln(r) = 2 atanh((r - 1) / (r + 1)); then exp by its series (|x| <= 0.058).
  const double z = (kPitchRatio - 1.0) / (kPitchRatio + 1.0);
  const double z2 = z * z;
  double term = z;
  double sum = z;
  for (int32_t n = 1; n <= 12; ++n) {
    term *= z2;
    sum += term / static_cast<double>(2 * n + 1);
  }
  const double x = static_cast<double>(exponent64) / 64.0 * (2.0 * sum);
  double power = 1.0;
  double part = 1.0;
  for (int32_t n = 1; n <= 20; ++n) {
    part = part * x / static_cast<double>(n);
    power += part;
  }
  return power;
}

const SynthTables& synthTables() {
  // Built in place on first use; C++ guarantees one thread builds it while others wait.
  static const SynthTablesHolder holder;
  return holder.tables;
}
