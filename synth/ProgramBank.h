// ProgramBank: the 32 programs with their names and the current program, free of any plug-in
// format, and the hand-over of edits to the engine.
//
// Threads: any thread (a host's GUI or automation thread, the editor's) may set and read values,
// change, name, copy, save and restore programs, all at the same time as the audio thread
// renders. Those calls touch only the programs (values atomically, names under a small spin flag
// taken by editing threads only) and raise pending bits; the audio thread calls applyPending at
// the start of each block, which brings the engine up to date, a program change whole.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "VelaEngine.h"

constexpr int32_t kNumPrograms = 32;
constexpr int32_t kProgramNameBytes = 24;  // 23 characters and the terminator

// One stored program: the 14 values in record order (kParameters' recordSlot), then the name.
// Editing threads write the values while the audio thread reads them: every access after
// construction goes through sharedValue/setSharedValue.
class VstXSynthProgram {
 public:
  VstXSynthProgram();
  void copyFrom(const VstXSynthProgram& other);
  // index 0..13 as hosts number parameters
  float sharedValue(int32_t index) const {
    return std::atomic_ref<float>(const_cast<float&>(values[parameterSlot(index)]))
        .load(std::memory_order_relaxed);
  }
  void setSharedValue(int32_t index, float value) {
    std::atomic_ref<float>(values[parameterSlot(index)]).store(value, std::memory_order_relaxed);
  }

  float values[kNumParams];
  char name[kProgramNameBytes];
};

// A copy of one program or of the whole bank, values by parameter index: what files and hosts'
// state hold.
struct ProgramImage {
  float values[kNumParams];
  char name[kProgramNameBytes];  // zero-terminated
};
struct BankImage {
  ProgramImage programs[kNumPrograms];
  int32_t currentProgram;
};

class ProgramBank {
 public:
  // Programs "init1" ... "init32" with a new program's values, "Eth Drm" in program 1, program 0
  // current and pending for the engine.
  ProgramBank();
  ProgramBank(const ProgramBank&) = delete;
  ProgramBank& operator=(const ProgramBank&) = delete;

  // [any thread] Indices outside 0..13 and programs outside 0..31 are ignored (0.0, false).
  void setParameter(int32_t index, float value);  // into the program current now
  float getParameter(int32_t index) const;
  void setProgram(int32_t program);
  int32_t getProgram() const { return current.load(std::memory_order_acquire); }
  void setProgramName(const char* name);  // longer names are cut to 23 characters
  void getProgramName(char* text, size_t size) const;
  bool getProgramNameIndexed(int32_t program, char* text, size_t size) const;
  bool copyProgram(int32_t destination);  // the current program over another one

  // [any thread] Snapshots and restores; a restore replaces values and names and is handed to
  // the engine like a program change.
  BankImage bankImage() const;
  ProgramImage programImage(int32_t program) const;
  void restoreBank(const BankImage& image);
  void restoreProgram(const ProgramImage& image);  // into the current program

  // [audio thread] Applies what other threads changed since the last call.
  void applyPending(VelaEngine& engine);

  // [audio thread] Modulation: the engine hears value + amount, limited to 0..1, from the next
  // applyPending until the next modulation of that parameter; the programs keep their values.
  // A changed amount acts as an edit of the value heard would (also the retune of "FB1"/"FB2").
  // Indices outside 0..13 are ignored; an amount that is not a finite number counts as 0.
  void setModulation(int32_t index, float amount);
  float modulation(int32_t index) const;

 private:
  uint32_t retuneRequest(int32_t program) const;
  void markAllPending(int32_t program);

  VstXSynthProgram programs[kNumPrograms];
  std::atomic<int32_t> current{0};
  // A bit per parameter index, and a retune request from the last change of "FB1", "FB2" or
  // program (retuneRequest).
  std::atomic<uint32_t> pendingEdits{0};
  std::atomic<uint32_t> pendingRetune{0};
  mutable std::atomic_flag nameLock = ATOMIC_FLAG_INIT;
  int32_t appliedProgram = -1;  // [audio thread]
  float modulations[kNumParams] = {};  // [audio thread] by parameter index
  uint32_t remodulated = 0;  // [audio thread] a bit per index whose amount changed
};

// The bank and a single program as bytes, for hosts' state and our own files: a magic ("VOBK" or
// "VOPG"), a version, the plug-in's identifier "VelV", the total size, counts, then each program as
// its name (24 bytes, zero-terminated) and its 14 values by parameter index, every field
// little-endian. Decoding checks every field and every length against the size given and fills
// `image` only when everything holds; otherwise it answers false with the reason in `error`.
std::vector<uint8_t> encodeBank(const BankImage& image);
std::vector<uint8_t> encodeProgram(const ProgramImage& image);
bool decodeBank(const uint8_t* data, size_t size, BankImage& image, std::string* error = nullptr);
bool decodeProgram(const uint8_t* data, size_t size, ProgramImage& image,
                   std::string* error = nullptr);
