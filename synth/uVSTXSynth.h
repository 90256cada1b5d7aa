// AVstXSynth: the two-voice FM synthesizer. Parameters, programs and identity live in
// uVSTXSynth.cpp; the engine in the Engine*.cpp files beside it: tables (EngineTables), parameter
// mapping (EngineParameters), MIDI intake (EngineMidi), the per-sample voice (EngineVoice.h), the
// chunked fast path (EngineChunks) and the render entry points with their load/store glue
// (EngineRender).
#pragma once

#include <atomic>
#include <cstdint>

#include "DAudioEffectX.h"
#include "SineTable.h"
#include "VelaParameters.h"

constexpr int32_t kNumPrograms = 32;
constexpr int32_t kNumVoiceSlots = 18;
constexpr int32_t kSineTableSize = 131072;  // one cycle; phases are in these steps
constexpr int32_t kSineTableMask = kSineTableSize - 1;
constexpr int32_t kNumNotes = 128;

// The record slot of parameter `index` (host numbering); out-of-range indices give the last.
constexpr int32_t parameterSlot(int32_t index) {
  return kParameters[static_cast<uint32_t>(index) < kNumParams ? index : kNumParams - 1].recordSlot;
}

// One stored program: the 14 values in record order (kParameters' recordSlot), then the name.
// Editing threads write the values while the audio thread reads them: every access after
// construction goes through sharedValue/setSharedValue.
class VstXSynthProgram {
 public:
  VstXSynthProgram();
  void copyFrom(const VstXSynthProgram& other);
  // index 0..13 as the host numbers parameters
  float sharedValue(int32_t index) const {
    return std::atomic_ref<float>(const_cast<float&>(values[parameterSlot(index)]))
        .load(std::memory_order_relaxed);
  }
  void setSharedValue(int32_t index, float value) {
    std::atomic_ref<float>(values[parameterSlot(index)]).store(value, std::memory_order_relaxed);
  }

  float values[kNumParams];
  char name[24];
};

constexpr int32_t kPitchBendSteps = 129;  // exponents -64/64 .. +64/64

// The shared tables: built once per process (thread-safe), read-only afterwards. Built with our
// own double-precision routines, so every platform and maths library gives the same bits.
struct SynthTables {
  SineTable sine;  // one cycle of kSineTableSize steps, amplitude 65536
  float noteFrequencyTable[kNumNotes];  // Hz per MIDI note
  float pitchBendTable[kPitchBendSteps];  // 1.059463094359^((m - 64) / 64), m = 0..128
};
const SynthTables& synthTables();

// Deterministic stand-ins for the maths library, exposed for the table tests.
double sineOfStep(int32_t step);          // sin(step * pi / 65536), step 0..32768
double pitchBendPower(int32_t exponent64);  // 1.059463094359^(exponent64 / 64)
// The per-sample filter coefficient f of a voice at envelope value e (0..0.785).
float cutoffCoefficient(float e, float env, float cutoffCoef, float keyTrack);

// Threads. The audio thread calls processEvents, process and processReplacing, never two at
// once; it alone writes the engine and voice state. Any other thread may, at the same time, set
// and read parameters, change and name programs, ask for texts and run the editor: those calls
// touch only the programs (atomically) and hand edits over, and the audio thread applies them at
// the start of its next call, a program change whole. effOpen, effClose, effMainsChanged,
// effSetSampleRate and effSetBlockSize(AndSampleRate) come while the host is not rendering.
class AVstXSynth : public AudioEffectX {
 public:
  explicit AVstXSynth(audioMasterCallback audioMaster);
  ~AVstXSynth() override;

  // [audio thread] No allocation, lock or system call.
  void process(float** inputs, float** outputs, int32_t sampleFrames) override;
  void processReplacing(float** inputs, float** outputs, int32_t sampleFrames) override;
  int32_t processEvents(VstEvents* events) override;

  // [host thread, not while rendering]
  void setSampleRate(float newSampleRate) override;
  void setBlockSize(int32_t newBlockSize) override;

  // [any thread]
  void setParameter(int32_t index, float value) override;
  float getParameter(int32_t index) override;
  void setProgram(int32_t program) override;
  int32_t getProgram() override;
  void setProgramName(char* name) override;
  void getProgramName(char* name) override;
  void getParameterLabel(int32_t index, char* label) override;
  void getParameterDisplay(int32_t index, char* text) override;
  void getParameterName(int32_t index, char* text) override;
  void resume() override;
  bool getProgramNameIndexed(int32_t category, int32_t index, char* text) override;
  bool copyProgram(int32_t destination) override;
  bool getOutputProperties(int32_t index, VstPinProperties* properties) override;
  bool getEffectName(char* text) override;
  bool getVendorString(char* text) override;
  bool getProductString(char* text) override;
  int32_t getVendorVersion() override;
  intptr_t canDo(char* text) override;

 protected:
  void loadFactoryProgram();

  // [any thread] The program number editing calls store into.
  int32_t currentProgram() const {
    return std::atomic_ref<int32_t>(const_cast<int32_t&>(curProgram)).load(std::memory_order_acquire);
  }
  uint32_t retuneRequest(int32_t program) const;

  // Engine: [audio thread], and at construction.
  void resetEngine();
  void applyPendingEdits();
  void applyParameter(int32_t index);  // maps, and retunes for "FB1"/"FB2"
  void mapParameter(int32_t index);
  void updateVoicePitch(int32_t voice);
  void noteOn(int32_t voice, int32_t note, int32_t velocity, int32_t delta);
  void releaseAt(int32_t voice, int32_t delta);
  void bendTo(float bend);
  void renderVoice(int32_t voice, float* left, float* right);
  int32_t filterVoice(int32_t voice, int32_t input, float cutoff);
  template <bool kReplace>
  void renderBlock(float** outputs, int32_t sampleFrames);
  // One voice's state and the engine coefficients as locals for a block (EngineRender.cpp only).
  template <class Run>
  void loadVoice(int32_t voice, Run& run) const;
  template <class Run>
  void storeVoice(int32_t voice, const Run& run);
  template <class Coefs>
  void loadCoefs(Coefs& coefs) const;

  // Edits handed to the audio thread: a bit per parameter index, and a retune request
  // (retuneRequest) from the last change of "FB1", "FB2" or program.
  std::atomic<uint32_t> pendingEdits{0};
  std::atomic<uint32_t> pendingRetune{0};
  std::atomic_flag nameLock = ATOMIC_FLAG_INIT;  // program names, between editing threads only

  // [audio thread] The parameter values the engine runs on, in program record order, and the
  // program they came from.
  float appliedValues[kNumParams] = {};
  float& appliedValue(int32_t index) { return appliedValues[parameterSlot(index)]; }
  int32_t appliedProgram = -1;

  // Engine state; `voice` arrays have one entry per slot.
  float mod1Phase[kNumVoiceSlots] = {};
  float mod2Phase[kNumVoiceSlots] = {};
  float carrierPhase[kNumVoiceSlots] = {};
  float phaseRateFactor = 0;  // table steps per sample per hertz: 131072 / sampleRate
  VstXSynthProgram* programs[kNumPrograms] = {};
  int32_t voiceNote[kNumVoiceSlots] = {};
  int32_t voiceVelocity[kNumVoiceSlots] = {};
  int32_t startDelay[kNumVoiceSlots] = {};
  int32_t mod1Out[kNumVoiceSlots] = {};
  int32_t mod2Out[kNumVoiceSlots] = {};
  int32_t filterBand[kNumVoiceSlots][2] = {};
  int32_t filterLow[kNumVoiceSlots][2] = {};
  int32_t mod1Offset = 0;  // semitones, -12..12
  int32_t mod2Offset = 0;
  float fb1Amount = 0;
  float fb2Amount = 0;
  int32_t attackSamples = 0;
  int32_t decaySamples = 0;
  int32_t releaseSamples = 0;  // at least 10
  int32_t attackCounter[kNumVoiceSlots] = {};
  int32_t decayCounter[kNumVoiceSlots] = {};
  int32_t releaseCounter[kNumVoiceSlots] = {};
  int32_t envState[kNumVoiceSlots] = {};  // 0 idle, 1 attack, 2 decay, 3 sustain, 4 release
  float envLevel[kNumVoiceSlots] = {};
  float cutoffCoef = 0;
  float dampingCoef = 0;
  int32_t filterType = 0;  // 0 low-pass, 1 band-pass, 2 high-pass
  float pitchBend = 0;
  int32_t maxVoice = 0;
  int32_t nextVoice = 0;
  float keyTrack[kNumVoiceSlots] = {};
  float mod1Inc[kNumVoiceSlots] = {};
  float mod2Inc[kNumVoiceSlots] = {};
  float carrierInc[kNumVoiceSlots] = {};
  float voiceGain[kNumVoiceSlots] = {};
  int32_t noteOffCountdown[kNumVoiceSlots] = {};
  bool mod1Sync = false;
  bool mod2Sync = false;
  // "S" and "Env" as the renderer reads them: the applied values limited to 0..1 (NaN as 0).
  float sustainLevel = 0;
  float envAmount = 0;
  const SynthTables* tables = &synthTables();
};
