#include "ScalaFiles.h"

#include <charconv>
#include <cmath>

namespace scala {

namespace {

constexpr double kLn2 = 0.693147180559945309417232121458176568;

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// The file's lines, numbered from 1, without their line ends ("\n" or "\r\n") or leading blanks.
class Lines {
 public:
  explicit Lines(std::string_view text) : text_(text) {}

  bool next(std::string_view& line) {
    if (at_ >= text_.size()) return false;
    size_t end = text_.find('\n', at_);
    if (end == std::string_view::npos) end = text_.size();
    line = text_.substr(at_, end - at_);
    at_ = end + 1;
    ++number_;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    while (!line.empty() && isBlank(line.front())) line.remove_prefix(1);
    return true;
  }
  int32_t number() const { return number_; }

 private:
  std::string_view text_;
  size_t at_ = 0;
  int32_t number_ = 0;
};

bool isComment(std::string_view line) { return !line.empty() && line.front() == '!'; }

// The value of a line: its text up to the first blank; what follows is ignored.
std::string_view firstWord(std::string_view line) {
  size_t end = 0;
  while (end < line.size() && !isBlank(line[end])) ++end;
  return line.substr(0, end);
}

std::string quoted(std::string_view word) {
  std::string text = "'";
  text.append(word);
  text.push_back('\'');
  return text;
}

bool wholeNumber(std::string_view word, int64_t& value) {
  const char* end = word.data() + word.size();
  const auto [stop, failure] = std::from_chars(word.data(), end, value);
  return !word.empty() && failure == std::errc() && stop == end;
}

// A decimal number, a sign allowed; no exponent, no infinity.
bool decimalNumber(std::string_view word, double& value) {
  if (!word.empty() && word.front() == '+') word.remove_prefix(1);
  if (word.empty() || word.front() == '+') return false;
  const char* end = word.data() + word.size();
  const auto [stop, failure] = std::from_chars(word.data(), end, value, std::chars_format::fixed);
  return failure == std::errc() && stop == end && std::isfinite(value);
}

// Digits with an optional sign, as a double (exact up to 2^53, rounded beyond).
bool integerPart(std::string_view word, double& value) {
  std::string_view digits = word;
  if (!digits.empty() && (digits.front() == '-' || digits.front() == '+')) digits.remove_prefix(1);
  if (digits.empty() || digits.find_first_not_of("0123456789") != std::string_view::npos)
    return false;
  return decimalNumber(word, value);
}

class Refusal {
 public:
  Refusal(const std::string& name, std::string& error) : name_(name), error_(error) {}
  bool at(int32_t line, const std::string& why) const {
    error_ = name_ + ":" + std::to_string(line) + ": " + why;
    return false;
  }
  bool whole(const std::string& why) const {
    error_ = name_ + ": " + why;
    return false;
  }

 private:
  const std::string& name_;
  std::string& error_;
};

// A pitch in octaves: cents when the word has a '.', else a ratio a/b or a whole number a.
bool readPitch(std::string_view word, double& octaves, std::string& why) {
  if (word.find('.') != std::string_view::npos) {
    double cents = 0.0;
    if (!decimalNumber(word, cents)) {
      why = quoted(word) + " is not a number of cents";
      return false;
    }
    octaves = cents / 1200.0;
    return true;
  }
  const size_t slash = word.find('/');
  double numerator = 0.0, denominator = 1.0;
  if (!integerPart(word.substr(0, slash), numerator) ||
      (slash != std::string_view::npos && !integerPart(word.substr(slash + 1), denominator))) {
    why = quoted(word) + " is not a pitch (cents with a '.', a ratio a/b or a whole number)";
    return false;
  }
  if (denominator == 0.0) {
    why = "the ratio " + quoted(word) + " divides by zero";
    return false;
  }
  const double ratio = numerator / denominator;
  if (!(ratio > 0.0) || !std::isfinite(ratio)) {
    why = "the ratio " + quoted(word) + " is not above zero";
    return false;
  }
  octaves = log2Of(ratio);
  return true;
}

}  // namespace

bool readScale(std::string_view text, const std::string& name, Scale& scale, std::string& error) {
  const Refusal refuse(name, error);
  if (text.size() > kMaxFileBytes) return refuse.whole("larger than 1 MiB");
  Scale read;
  Lines lines(text);
  std::string_view line;
  bool haveDescription = false;
  int32_t countLine = 0;
  int64_t count = 0;
  int64_t given = 0;
  while (lines.next(line)) {
    if (isComment(line)) continue;
    if (!haveDescription) {
      // The description may be blank; trailing blanks are not part of it.
      while (!line.empty() && isBlank(line.back())) line.remove_suffix(1);
      read.description = std::string(line);
      haveDescription = true;
      continue;
    }
    if (line.empty()) continue;
    const std::string_view word = firstWord(line);
    if (countLine == 0) {
      countLine = lines.number();
      if (!wholeNumber(word, count) || count < 0)
        return refuse.at(countLine,
                         "the number of pitches " + quoted(word) + " is not a whole number");
      if (count > kMaxPitches)
        return refuse.at(countLine, std::to_string(count) + " pitches, more than " +
                                        std::to_string(kMaxPitches));
      if (count == 0) return refuse.at(countLine, "a scale needs at least one pitch");
      continue;
    }
    ++given;
    if (given > count) continue;  // counted, to say how many there are
    double octaves = 0.0;
    std::string why;
    if (!readPitch(word, octaves, why)) return refuse.at(lines.number(), why);
    read.pitches.push_back(octaves);
  }
  if (countLine == 0) return refuse.whole("no number of pitches");
  if (given != count)
    return refuse.at(countLine, std::to_string(count) + " pitches announced, " +
                                    std::to_string(given) + " given");
  scale = std::move(read);
  return true;
}

bool readKeyboardMapping(std::string_view text, const std::string& name, KeyboardMapping& mapping,
                         std::string& error) {
  const Refusal refuse(name, error);
  if (text.size() > kMaxFileBytes) return refuse.whole("larger than 1 MiB");
  static constexpr const char* kFields[] = {"map size",     "first note",     "last note",
                                            "middle note",  "reference note", "reference frequency",
                                            "octave degree"};
  constexpr int32_t kFieldCount = 7;
  KeyboardMapping read;
  int32_t* const notes[] = {&read.firstNote, &read.lastNote, &read.middleNote, &read.referenceNote};
  Lines lines(text);
  std::string_view line;
  int32_t field = 0;
  int32_t mapSizeLine = 0;
  int64_t entries = 0;
  while (lines.next(line)) {
    if (isComment(line) || line.empty()) continue;
    const std::string_view word = firstWord(line);
    const int32_t number = lines.number();
    if (field == 5) {
      double hz = 0.0;
      if (!decimalNumber(word, hz) || !(hz > 0.0))
        return refuse.at(
            number, "the reference frequency " + quoted(word) + " is not a positive finite number");
      read.referenceHz = hz;
      ++field;
      continue;
    }
    if (field < kFieldCount) {
      int64_t value = 0;
      if (!wholeNumber(word, value) || value < 0)
        return refuse.at(number, std::string("the ") + kFields[field] + " " + quoted(word) +
                                     " is not a whole number");
      if (field == 0) {
        if (value > kMaxMapSize)
          return refuse.at(number, "a map size of " + std::to_string(value) + ", more than " +
                                       std::to_string(kMaxMapSize));
        read.mapSize = static_cast<int32_t>(value);
        mapSizeLine = number;
      } else if (field <= 4) {
        if (value > 127)
          return refuse.at(number, std::string("the ") + kFields[field] + " " +
                                       std::to_string(value) + " is outside 0..127");
        *notes[field - 1] = static_cast<int32_t>(value);
        if (field == 2 && read.lastNote < read.firstNote)
          return refuse.at(number, "the last note " + std::to_string(read.lastNote) +
                                       " is below the first " + std::to_string(read.firstNote));
        if (field == 4) read.referenceLine = number;
      } else {
        if (value > kMaxPitches)
          return refuse.at(number, "the octave degree " + std::to_string(value) +
                                       " is past any scale's pitches");
        read.octaveDegree = static_cast<int32_t>(value);
      }
      ++field;
      continue;
    }
    ++entries;
    if (entries > read.mapSize) continue;  // counted, to say how many there are
    int64_t degree = kUnmapped;
    if (word != "x" && word != "X" &&
        (!wholeNumber(word, degree) || degree < 0 || degree > INT32_MAX))
      return refuse.at(number, "the map entry " + quoted(word) + " is neither a degree nor 'x'");
    read.map.push_back(static_cast<int32_t>(degree));
    read.mapLines.push_back(number);
  }
  if (field < kFieldCount) return refuse.whole(std::string("no ") + kFields[field]);
  if (entries > read.mapSize)
    return refuse.at(mapSizeLine, "a map size of " + std::to_string(read.mapSize) + ", " +
                                      std::to_string(entries) + " entries given");
  // Keys left out at the end of the pattern do not sound.
  read.map.resize(static_cast<size_t>(read.mapSize), kUnmapped);
  read.mapLines.resize(static_cast<size_t>(read.mapSize), 0);
  mapping = std::move(read);
  return true;
}

KeyboardMapping standardMapping() { return KeyboardMapping{}; }

Scale twelveToneEqualScale() {
  Scale scale{"12-tone equal temperament", {}};
  for (int32_t step = 1; step <= 12; ++step) scale.pitches.push_back(step / 12.0);
  return scale;
}

double log2Of(double x) {
  // x = m 2^e with m in [sqrt(1/2), sqrt(2)); ln m = 2 atanh((m - 1) / (m + 1)), |z| < 0.172.
  int exponent = 0;
  double m = std::frexp(x, &exponent);
  if (m < 0.70710678118654752440) {
    m *= 2.0;
    --exponent;
  }
  const double z = (m - 1.0) / (m + 1.0);
  const double z2 = z * z;
  double term = z;
  double sum = z;
  for (int32_t n = 1; n <= 20; ++n) {
    term *= z2;
    sum += term / static_cast<double>(2 * n + 1);
  }
  return static_cast<double>(exponent) + 2.0 * sum / kLn2;
}

double exp2Of(double x) {
  if (!(x > -2000.0)) return 0.0;
  if (!(x < 2000.0)) return HUGE_VAL;
  // 2^x = 2^n e^(f ln 2), f in [0, 1): the series converges fast there.
  const double whole = std::floor(x);
  const double y = (x - whole) * kLn2;
  double term = 1.0;
  double sum = 1.0;
  for (int32_t n = 1; n <= 24; ++n) {
    term = term * y / static_cast<double>(n);
    sum += term;
  }
  return std::ldexp(sum, static_cast<int>(whole));
}

}  // namespace scala
