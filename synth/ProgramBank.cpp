#include "ProgramBank.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "ByteForm.h"
#include "EngineNumbers.h"
#include "SpinTurn.h"
#include "VelaIdentity.h"

namespace {

constexpr uint32_t kAllParams = (1u << kNumParams) - 1;
constexpr uint32_t kRetuneRequested = 1u << 31;

bool isParamIndex(int32_t index) { return static_cast<uint32_t>(index) < kNumParams; }
bool isProgram(int32_t program) { return program >= 0 && program < kNumPrograms; }

// Program names are only ever touched by editing threads; they take turns here.
using NameGuard = SpinTurn;

// Copies a zero-terminated text into `size` bytes, cut to fit and always terminated.
void copyText(char* to, const char* from, size_t size) {
  if (to == nullptr || size == 0) return;
  size_t n = 0;
  if (from != nullptr)
    while (n + 1 < size && from[n] != '\0') ++n;
  std::memcpy(to, from, n);
  to[n] = '\0';
}

}  // namespace

VstXSynthProgram::VstXSynthProgram() : name("Basic") {
  for (const ParameterInfo& p : kParameters) values[p.recordSlot] = p.initial;
}

void VstXSynthProgram::copyFrom(const VstXSynthProgram& other) {
  for (int32_t i = 0; i < kNumParams; ++i) setSharedValue(i, other.sharedValue(i));
  std::memcpy(name, other.name, sizeof name);
}

ProgramBank::ProgramBank() {
  for (int32_t n = 1; n <= kNumPrograms; ++n)
    std::snprintf(programs[n - 1].name, sizeof programs[n - 1].name, "init%d", static_cast<int>(n));
  copyText(programs[1].name, "Eth Drm", kProgramNameBytes);
  for (const ParameterInfo& p : kParameters) programs[1].setSharedValue(p.index, p.ethDrm);
  markAllPending(0);
}

void ProgramBank::setParameter(int32_t index, float value) {
  if (!isParamIndex(index)) return;
  // The live values are those of the current program: the edit lands in the program current
  // now, and only there.
  const int32_t program = getProgram();
  programs[program].setSharedValue(index, value);
  if (index == kFB1 || index == kFB2)
    pendingRetune.store(retuneRequest(program), std::memory_order_release);
  pendingEdits.fetch_or(1u << index, std::memory_order_release);
}

float ProgramBank::getParameter(int32_t index) const {
  return isParamIndex(index) ? programs[getProgram()].sharedValue(index) : 0.0f;
}

void ProgramBank::setProgram(int32_t program) {
  if (!isProgram(program)) return;
  // Nothing is copied: the program's values become the live ones, and the audio thread applies
  // them all, in replay order, before its next block.
  current.store(program, std::memory_order_release);
  pendingRetune.store(retuneRequest(program), std::memory_order_release);
  pendingEdits.fetch_or(kAllParams, std::memory_order_release);
}

void ProgramBank::markAllPending(int32_t program) { setProgram(program); }

void ProgramBank::setProgramName(const char* name) {
  if (name == nullptr) return;
  NameGuard guard(nameLock);
  copyText(programs[getProgram()].name, name, kProgramNameBytes);
}

void ProgramBank::getProgramName(char* text, size_t size) const {
  getProgramNameIndexed(getProgram(), text, size);
}

bool ProgramBank::getProgramNameIndexed(int32_t program, char* text, size_t size) const {
  if (!isProgram(program) || text == nullptr) return false;
  NameGuard guard(nameLock);
  copyText(text, programs[program].name, size);
  return true;
}

bool ProgramBank::copyProgram(int32_t destination) {
  if (!isProgram(destination)) return false;
  const int32_t source = getProgram();
  if (destination == source) return true;
  NameGuard guard(nameLock);
  programs[destination].copyFrom(programs[source]);
  return true;
}

ProgramImage ProgramBank::programImage(int32_t program) const {
  ProgramImage image{};
  if (!isProgram(program)) return image;
  for (int32_t i = 0; i < kNumParams; ++i) image.values[i] = programs[program].sharedValue(i);
  NameGuard guard(nameLock);
  copyText(image.name, programs[program].name, kProgramNameBytes);
  return image;
}

BankImage ProgramBank::bankImage() const {
  BankImage image{};
  image.currentProgram = getProgram();
  for (int32_t n = 0; n < kNumPrograms; ++n) image.programs[n] = programImage(n);
  return image;
}

void ProgramBank::restoreProgram(const ProgramImage& image) {
  const int32_t program = getProgram();
  for (int32_t i = 0; i < kNumParams; ++i) programs[program].setSharedValue(i, image.values[i]);
  {
    NameGuard guard(nameLock);
    copyText(programs[program].name, image.name, kProgramNameBytes);
  }
  markAllPending(program);
}

void ProgramBank::restoreBank(const BankImage& image) {
  for (int32_t n = 0; n < kNumPrograms; ++n)
    for (int32_t i = 0; i < kNumParams; ++i)
      programs[n].setSharedValue(i, image.programs[n].values[i]);
  {
    NameGuard guard(nameLock);
    for (int32_t n = 0; n < kNumPrograms; ++n)
      copyText(programs[n].name, image.programs[n].name, kProgramNameBytes);
  }
  markAllPending(isProgram(image.currentProgram) ? image.currentProgram : 0);
}

uint32_t ProgramBank::retuneRequest(int32_t program) const {
  // A change of "FB1" or "FB2" (or of program) retunes the voices with the modulator
  // transpositions in force at that moment; later "Mod1"/"Mod2" edits wait for the next retune.
  const VstXSynthProgram& stored = programs[program];
  const auto offset = [&](int32_t index) {
    return static_cast<uint32_t>(engine::semitoneOffset(stored.sharedValue(index)) + 12);
  };
  return kRetuneRequested | static_cast<uint32_t>(program) << 16 | offset(kMod1) << 8 |
         offset(kMod2);
}

void ProgramBank::setModulation(int32_t index, float amount) {
  if (!isParamIndex(index)) return;
  if (!std::isfinite(amount)) amount = 0.0f;
  if (amount == modulations[index]) return;
  modulations[index] = amount;
  remodulated |= 1u << index;
}

float ProgramBank::modulation(int32_t index) const {
  return isParamIndex(index) ? modulations[index] : 0.0f;
}

namespace {

// The value the engine hears; without modulation exactly the stored one, whatever it holds.
float heardValue(float value, float amount) {
  if (amount == 0.0f) return value;
  const double sum = static_cast<double>(value) + static_cast<double>(amount);
  return static_cast<float>(!(sum > 0.0) ? 0.0 : (sum < 1.0 ? sum : 1.0));
}

}  // namespace

void ProgramBank::applyPending(VelaEngine& engine) {
  uint32_t edits = remodulated;
  remodulated = 0;
  if (pendingEdits.load(std::memory_order_relaxed) != 0)
    edits |= pendingEdits.exchange(0, std::memory_order_acquire);
  uint32_t retune = 0;
  if (pendingRetune.load(std::memory_order_relaxed) != 0)
    retune = pendingRetune.exchange(0, std::memory_order_acquire);
  const int32_t program = getProgram();
  bool retuneVoices = (edits & (1u << kFB1 | 1u << kFB2)) != 0 || retune != 0;
  if (program != appliedProgram) {
    appliedProgram = program;
    edits = kAllParams;
    retuneVoices = true;
  }
  if (edits == 0 && !retuneVoices) return;
  const VstXSynthProgram& stored = programs[program];
  for (int32_t index : kReplayOrder)
    if ((edits >> index & 1u) != 0)
      engine.mapParameter(index, heardValue(stored.sharedValue(index), modulations[index]));
  if (!retuneVoices) return;
  // A retune request carries the transpositions stored when it was made; under modulation of
  // "Mod1" or "Mod2" the ones heard now count instead.
  const bool transposeModulated = modulations[kMod1] != 0.0f || modulations[kMod2] != 0.0f;
  if (retune != 0 && static_cast<int32_t>(retune >> 16 & 0x7FFF) == program && !transposeModulated)
    engine.retuneVoices(static_cast<int32_t>(retune >> 8 & 0xFF) - 12,
                        static_cast<int32_t>(retune & 0xFF) - 12);
  else
    engine.retuneVoices();
}

// ---------------------------------------------------------------------------------------------
// Bytes

namespace {

constexpr uint32_t kFormatVersion = 1;
constexpr size_t kHeaderBytes = 16;  // magic, version, identifier, size
constexpr size_t kProgramBytes = kProgramNameBytes + 4 * kNumParams;
constexpr size_t kBankBytes = kHeaderBytes + 12 + kNumPrograms * kProgramBytes;
constexpr size_t kSingleBytes = kHeaderBytes + 4 + kProgramBytes;

class Writer : public vela::bytes::Writer {
 public:
  using vela::bytes::Writer::Writer;
  void program(const ProgramImage& p) {
    char name[kProgramNameBytes] = {};
    copyText(name, p.name, sizeof name);
    raw(name, sizeof name);
    for (float v : p.values) {
      uint32_t bits;
      std::memcpy(&bits, &v, 4);
      u32(bits);
    }
  }
};

class Reader : public vela::bytes::Reader {
 public:
  using vela::bytes::Reader::Reader;
  bool expect(uint32_t wanted, const char* what) {
    const size_t field = at_;
    uint32_t v = 0;
    if (!u32(v)) return false;
    return v == wanted || failAt(field, what);
  }
  bool program(ProgramImage& p) {
    if (size_ - at_ < kProgramBytes) return fail("the data ends early");
    if (std::memchr(data_ + at_, '\0', kProgramNameBytes) == nullptr)
      return fail("a program name has no terminator");
    std::memcpy(p.name, data_ + at_, kProgramNameBytes);
    at_ += kProgramNameBytes;
    for (float& v : p.values) {
      const size_t field = at_;
      uint32_t bits = 0;
      u32(bits);
      std::memcpy(&v, &bits, 4);
      if (!std::isfinite(v)) return failAt(field, "a value is not a finite number");
      if (!(v >= 0.0f && v <= 1.0f)) return failAt(field, "a value lies outside 0 to 1");
    }
    return true;
  }
  // The header every form shares; `total` is the size this form must have.
  bool header(const char* magic, size_t total) {
    if (!tag(magic, "wrong magic: not VelaOrin data of this kind")) return false;
    if (!expect(kFormatVersion, "unknown version")) return false;
    if (!tag(vela::identity::kIdentifier, "the data belongs to another plug-in")) return false;
    const size_t field = at_;
    uint32_t declared = 0;
    if (!u32(declared)) return false;
    if (declared == total && size_ == total) return true;
    return failAt(field, "the size is wrong: " + std::to_string(total) +
                             " bytes expected, the data says " + std::to_string(declared) +
                             " and holds " + std::to_string(size_));
  }
};

}  // namespace

std::vector<uint8_t> encodeBank(const BankImage& image) {
  Writer w(kBankBytes);
  w.tag("VOBK");
  w.u32(kFormatVersion);
  w.tag(vela::identity::kIdentifier);
  w.u32(kBankBytes);
  w.u32(kNumPrograms);
  w.u32(kNumParams);
  w.u32(static_cast<uint32_t>(image.currentProgram));
  for (const ProgramImage& p : image.programs) w.program(p);
  return w.take();
}

std::vector<uint8_t> encodeProgram(const ProgramImage& image) {
  Writer w(kSingleBytes);
  w.tag("VOPG");
  w.u32(kFormatVersion);
  w.tag(vela::identity::kIdentifier);
  w.u32(kSingleBytes);
  w.u32(kNumParams);
  w.program(image);
  return w.take();
}

bool decodeBank(const uint8_t* data, size_t size, BankImage& image, std::string* error) {
  Reader r(data, size, error);
  if (!r.header("VOBK", kBankBytes)) return false;
  if (!r.expect(kNumPrograms, "wrong number of programs")) return false;
  if (!r.expect(kNumParams, "wrong number of parameters")) return false;
  const size_t field = r.at();
  uint32_t currentProgram = 0;
  if (!r.u32(currentProgram)) return false;
  BankImage read{};
  if (currentProgram >= static_cast<uint32_t>(kNumPrograms))
    return r.failAt(field, "the current program is out of range");
  read.currentProgram = static_cast<int32_t>(currentProgram);
  for (ProgramImage& p : read.programs)
    if (!r.program(p)) return false;
  image = read;
  return true;
}

bool decodeProgram(const uint8_t* data, size_t size, ProgramImage& image, std::string* error) {
  Reader r(data, size, error);
  if (!r.header("VOPG", kSingleBytes)) return false;
  if (!r.expect(kNumParams, "wrong number of parameters")) return false;
  ProgramImage read{};
  if (!r.program(read)) return false;
  image = read;
  return true;
}
