// Scala scale (.scl) and keyboard mapping (.kbm) files: our own reader, checking every value.
// A refusal names the file, the line and what is wrong, as "NAME:LINE: why" ("NAME: why" when
// no line is to blame).
//
// Threads: any; nothing here is shared.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace scala {

inline constexpr size_t kMaxFileBytes = 1 << 20;  // 1 MiB
inline constexpr int32_t kMaxPitches = 1024;
inline constexpr int32_t kMaxMapSize = 1024;
inline constexpr int32_t kUnmapped = -1;  // a map entry "x": the key does not sound

struct Scale {
  std::string description;
  // Degrees 1..n as octaves above degree 0 (log2 of the ratio); the last is the period.
  std::vector<double> pitches;
};

struct KeyboardMapping {
  int32_t mapSize = 0;  // 0: every key on the next degree
  int32_t firstNote = 0, lastNote = 127;
  int32_t middleNote = 60;     // where degree 0 lies
  int32_t referenceNote = 60;  // sounds at referenceHz
  double referenceHz = 261.6256;
  int32_t octaveDegree = 12;  // the degree the pattern moves by from one map size to the next
  std::vector<int32_t> map;   // one degree per key of the pattern, or kUnmapped
  // Lines, for refusals that need the scale to find (a map degree past it, an unmapped
  // reference): of each map entry, and of the reference note.
  std::vector<int32_t> mapLines;
  int32_t referenceLine = 0;
};

// `name` is how refusals name the file. False with `error` set when the text is refused.
bool readScale(std::string_view text, const std::string& name, Scale& scale, std::string& error);
bool readKeyboardMapping(std::string_view text, const std::string& name, KeyboardMapping& mapping,
                         std::string& error);

// Without a .kbm: degree 0 at note 60, sounding at 261.6256 Hz (equal-tempered middle C), every
// key on the next degree.
KeyboardMapping standardMapping();
// Without a .scl: twelve equal steps to the octave.
Scale twelveToneEqualScale();

// log2 and 2^x from +, -, *, / and exact scaling by powers of two, so every platform computes
// the same bits. log2Of wants a positive finite number.
double log2Of(double x);
double exp2Of(double x);

}  // namespace scala
