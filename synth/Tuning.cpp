#include "Tuning.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "ByteForm.h"
#include "ScalaFiles.h"
#include "SpinTurn.h"
#include "VelaIdentity.h"

namespace {

// Floor division, for keys and degrees below the middle note and degree 0.
int64_t floorDiv(int64_t a, int64_t b) {
  const int64_t q = a / b;
  return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

// The scale degree of `key`, or false for a key the pattern leaves unmapped ("x", or left out).
bool degreeOf(const scala::KeyboardMapping& m, int32_t key, int64_t& degree) {
  const int64_t fromMiddle = key - m.middleNote;
  if (m.mapSize == 0) {
    degree = fromMiddle;
    return true;
  }
  const int64_t round = floorDiv(fromMiddle, m.mapSize);
  const int32_t entry = m.map[static_cast<size_t>(fromMiddle - round * m.mapSize)];
  if (entry == scala::kUnmapped) return false;
  degree = round * m.octaveDegree + entry;
  return true;
}

// Octaves above degree 0.
double octavesOf(const scala::Scale& scale, int64_t degree) {
  const auto count = static_cast<int64_t>(scale.pitches.size());
  const int64_t periods = floorDiv(degree, count);
  const int64_t step = degree - periods * count;
  return static_cast<double>(periods) * scale.pitches.back() +
         (step == 0 ? 0.0 : scale.pitches[static_cast<size_t>(step - 1)]);
}

std::string at(const std::string& name, int32_t line) {
  return name + ":" + std::to_string(line) + ": ";
}

}  // namespace

bool buildTuning(const TuningFiles& files, TuningTable& table, std::string& error) {
  TuningTable built;
  if (files.isDefault()) {
    table = built;
    return true;
  }
  scala::Scale scale = scala::twelveToneEqualScale();
  if (files.scale && !scala::readScale(files.scale->text, files.scale->name, scale, error))
    return false;
  scala::KeyboardMapping mapping = scala::standardMapping();
  if (files.keyboardMapping &&
      !scala::readKeyboardMapping(files.keyboardMapping->text, files.keyboardMapping->name, mapping,
                                  error))
    return false;
  const std::string mappingName = files.keyboardMapping ? files.keyboardMapping->name : "";
  const auto count = static_cast<int32_t>(scale.pitches.size());
  for (size_t i = 0; i < mapping.map.size(); ++i)
    if (mapping.map[i] >= count) {
      error = at(mappingName, mapping.mapLines[i]) + "the map degree " +
              std::to_string(mapping.map[i]) + " is past the scale's " + std::to_string(count) +
              " pitches (degrees 0.." + std::to_string(count - 1) + ")";
      return false;
    }
  int64_t referenceDegree = 0;
  if (!degreeOf(mapping, mapping.referenceNote, referenceDegree)) {
    error = at(mappingName, mapping.referenceLine) + "the reference note " +
            std::to_string(mapping.referenceNote) + " falls on an unmapped key";
    return false;
  }
  const double reference = octavesOf(scale, referenceDegree);
  const std::string& blamed = files.scale ? files.scale->name : mappingName;
  for (int32_t key = 0; key < kNumNotes; ++key) {
    int64_t degree = 0;
    if (key < mapping.firstNote || key > mapping.lastNote || !degreeOf(mapping, key, degree))
      continue;
    const double hz = mapping.referenceHz * scala::exp2Of(octavesOf(scale, degree) - reference);
    if (!(hz > 0.0 && hz <= 1e300)) {
      error =
          blamed + ": note " + std::to_string(key) + " would sound at no positive finite frequency";
      return false;
    }
    const double position = 69.0 + 12.0 * scala::log2Of(hz / 440.0);
    built.mapped[key] = true;
    built.frequency[key] = hz;
    built.keyPosition[key] = position < 0.0 ? 0.0 : position > 127.0 ? 127.0 : position;
  }
  for (int32_t s = -12; s <= 12; ++s) built.semitoneRatio[s + 12] = scala::exp2Of(s / 12.0);
  built.active = true;
  table = built;
  return true;
}

bool readScalaFile(const std::string& path, ScalaText& file, std::string& error) {
  const size_t slash = path.find_last_of("/\\");
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  std::FILE* stream = std::fopen(path.c_str(), "rb");
  if (stream == nullptr) {
    error = "cannot open '" + path + "': " + std::strerror(errno);
    return false;
  }
  std::string text;
  char buffer[16384];
  size_t got = 0;
  while (text.size() <= scala::kMaxFileBytes &&
         (got = std::fread(buffer, 1, sizeof buffer, stream)) > 0)
    text.append(buffer, got);
  const bool failed = std::ferror(stream) != 0;
  std::fclose(stream);
  if (failed) {
    error = "cannot read '" + path + "'";
    return false;
  }
  if (text.size() > scala::kMaxFileBytes) {
    error = name + ": larger than 1 MiB";
    return false;
  }
  file = ScalaText{name, std::move(text)};
  return true;
}

// ---------------------------------------------------------------------------------------------
// Bytes

namespace {

constexpr uint32_t kTuningVersion = 1;
constexpr size_t kHeaderBytes = 16;  // magic, version, identifier, size

class TuningReader : public vela::bytes::Reader {
 public:
  using vela::bytes::Reader::Reader;
  bool text(std::string& out, size_t limit, const char* what) {
    const size_t field = at_;
    uint32_t length = 0;
    if (!u32(length)) return false;
    if (length > limit) return failAt(field, std::string(what) + " is too long");
    if (size_ - at_ < length) return failAt(field, "the data ends early");
    out.assign(reinterpret_cast<const char*>(data_ + at_), length);
    at_ += length;
    return true;
  }
  bool file(std::optional<ScalaText>& file, const char* what) {
    const size_t field = at_;
    uint32_t present = 0;
    if (!u32(present)) return false;
    if (present > 1)
      return failAt(field, std::string("the presence of the ") + what + " is not 0 or 1");
    ScalaText read;
    if (!text(read.name, kMaxTuningNameBytes, "a file name") ||
        !text(read.text, scala::kMaxFileBytes, "a file"))
      return false;
    if (present == 0 && !(read.name.empty() && read.text.empty()))
      return failAt(field, std::string("an absent ") + what + " has contents");
    if (present == 1) file = std::move(read);
    return true;
  }
};

}  // namespace

size_t maxTuningBytes() {
  return kHeaderBytes + 2 * (12 + kMaxTuningNameBytes + scala::kMaxFileBytes);
}

std::vector<uint8_t> encodeTuning(const TuningFiles& files) {
  vela::bytes::Writer w;
  w.tag("VOTN");
  w.u32(kTuningVersion);
  w.tag(vela::identity::kIdentifier);
  w.u32(0);  // the size, once known
  const auto text = [&w](const std::string& t) {
    w.u32(static_cast<uint32_t>(t.size()));
    w.raw(t.data(), t.size());
  };
  for (const std::optional<ScalaText>* file : {&files.scale, &files.keyboardMapping}) {
    w.u32(file->has_value() ? 1 : 0);
    text(file->has_value() ? (*file)->name : std::string());
    text(file->has_value() ? (*file)->text : std::string());
  }
  w.u32At(12, static_cast<uint32_t>(w.size()));
  return w.take();
}

bool decodeTuning(const uint8_t* data, size_t size, TuningFiles& files, std::string* error) {
  TuningReader r(data, size, error);
  if (!r.tag("VOTN", "wrong magic: not a VelaOrin tuning")) return false;
  uint32_t version = 0;
  if (!r.u32(version)) return false;
  if (version != kTuningVersion) return r.failAt(4, "unknown version");
  if (!r.tag(vela::identity::kIdentifier, "the data belongs to another plug-in")) return false;
  uint32_t declared = 0;
  if (!r.u32(declared)) return false;
  if (declared != r.size())
    return r.failAt(12, "the size is wrong: the data says " + std::to_string(declared) +
                            " bytes and holds " + std::to_string(r.size()));
  TuningFiles read;
  if (!r.file(read.scale, "scale") || !r.file(read.keyboardMapping, "keyboard mapping"))
    return false;
  if (r.at() != r.size()) return r.failAt(r.at(), "bytes after the end");
  files = std::move(read);
  return true;
}

// ---------------------------------------------------------------------------------------------
// Hand-over

bool TuningExchange::set(const TuningFiles& files, std::string* error) {
  TuningTable table;
  std::string why;
  if (!buildTuning(files, table, why)) {
    if (error != nullptr) *error = why;
    return false;
  }
  TuningFiles kept = files;
  SpinTurn turn(turn_);
  tables_[writing_] = table;
  writing_ = waiting_.exchange(writing_ | kFresh, std::memory_order_acq_rel) & kIndexMask;
  files_ = std::move(kept);
  return true;
}

TuningFiles TuningExchange::files() const {
  SpinTurn turn(turn_);
  return files_;
}

bool TuningExchange::take(const TuningTable*& table) {
  if ((waiting_.load(std::memory_order_relaxed) & kFresh) == 0) return false;
  playing_ = waiting_.exchange(playing_, std::memory_order_acq_rel) & kIndexMask;
  table = &tables_[playing_];
  return true;
}
