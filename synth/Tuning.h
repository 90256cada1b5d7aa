// Microtuning: a Scala scale and keyboard mapping turned into the frequency of every MIDI note,
// the byte form that hosts' state keeps them in, and the lock-free hand-over of a new table to
// the audio thread (held by each instance, never by the shared tables).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "VelaEngine.h"

// A Scala file as it was given: its name (in messages and for display) and its bytes.
struct ScalaText {
  std::string name;
  std::string text;
  bool operator==(const ScalaText&) const = default;
};

// What a tuning is made of, and what a state saves of it: the files' contents, so it survives
// the files being moved. No scale: 12-tone equal temperament; no mapping: the standard one
// (degree 0 on note 60 at 261.6256 Hz, every key on the next degree); neither: no tuning, the
// engine plays its own equal-tempered table, bit for bit.
struct TuningFiles {
  std::optional<ScalaText> scale;
  std::optional<ScalaText> keyboardMapping;
  bool isDefault() const { return !scale && !keyboardMapping; }
  bool operator==(const TuningFiles&) const = default;
};

// [any thread but the audio thread] Reads a Scala file whole, named by the last part of its
// path; false with `error` set when it cannot be read or is larger than 1 MiB. Its contents are
// checked by buildTuning.
bool readScalaFile(const std::string& path, ScalaText& file, std::string& error);

// The table the engine plays from, computed in double precision.
struct TuningTable {
  bool active = false;               // false: the engine's own table
  bool mapped[kNumNotes] = {};       // an unmapped key's note-on is ignored
  double frequency[kNumNotes] = {};  // Hz, for mapped keys
  // The pitch as a note number of 12-tone equal temperament (A 440 Hz at 69), limited to
  // 0..127: what the filter's key tracking follows.
  double keyPosition[kNumNotes] = {};
  // Equal-tempered intervals of -12..12 semitones: each modulator keeps the interval to the
  // carrier that the sound gives it in equal temperament.
  double semitoneRatio[25] = {};
};

// [any thread] Reads both files and computes the table. False with `error` ("NAME:LINE: why")
// when a file is refused, or when a note would sound at no positive finite frequency.
bool buildTuning(const TuningFiles& files, TuningTable& table, std::string& error);

// The tuning as bytes, for hosts' state (CLAP, VST 3, LV2) and our tools: the magic "VOTN", a
// version, the plug-in's identifier "VelV", the total size, then the scale and the mapping, each
// as a presence flag, its name and its bytes (lengths before each), every number a little-endian
// uint32. Decoding checks every field and length and fills `files` only when all holds; it does
// not read the files themselves (buildTuning does).
std::vector<uint8_t> encodeTuning(const TuningFiles& files);
bool decodeTuning(const uint8_t* data, size_t size, TuningFiles& files,
                  std::string* error = nullptr);
inline constexpr size_t kMaxTuningNameBytes = 4096;
// The largest byte form decodeTuning takes.
size_t maxTuningBytes();

// One instance's tuning on its way to the audio thread: three tables, one being written, one
// waiting, one played, exchanged by an atomic index. Editing threads take turns under a small
// spin flag the audio thread never touches.
class TuningExchange {
 public:
  TuningExchange() = default;
  TuningExchange(const TuningExchange&) = delete;
  TuningExchange& operator=(const TuningExchange&) = delete;

  // [any thread but the audio thread] Builds the table (parsing, allocating) and hands it over.
  // A refused tuning changes nothing.
  bool set(const TuningFiles& files, std::string* error);
  TuningFiles files() const;

  // [audio thread] The newest table when one came since the last call (true); else false and
  // `table` untouched.
  bool take(const TuningTable*& table);

 private:
  static constexpr uint32_t kFresh = 4;
  static constexpr uint32_t kIndexMask = 3;
  TuningTable tables_[3];
  std::atomic<uint32_t> waiting_{1};  // index, and kFresh when not yet taken
  uint32_t writing_ = 2;              // [editing threads, in turn]
  uint32_t playing_ = 0;              // [audio thread]
  TuningFiles files_;                 // [editing threads, in turn]
  mutable std::atomic_flag turn_ = ATOMIC_FLAG_INIT;
};
