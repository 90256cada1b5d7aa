// VelaEngine: the two-voice FM engine, free of any plug-in format. It owns the voices, the
// coefficients derived from the 14 parameters and a fixed queue of timed MIDI events, and renders
// blocks in which every event takes effect at its own sample, so a song gives the same bits at any
// block size. The engine is split over the Engine*.cpp files beside it: tables (EngineTables),
// parameter mapping (EngineParameters), MIDI events and voice allocation (EngineMidi), the
// per-sample voice (EngineVoice.h), the chunked fast path (EngineChunks) and the render entry
// points (EngineRender).
//
// Threads: one thread at a time calls everything here (the audio thread, or a host's thread while
// nothing renders); edits from other threads reach the engine through ProgramBank.
#pragma once

#include <cstdint>

#include "SineTable.h"
#include "VelaParameters.h"

// The voice arrays have 18 slots, but only slots 0 and 1 (maxVoice 1) ever play: each note-on
// takes the other slot and releases the previous note, so one note is held while the last one
// rings out. The idle slots keep their reset values; the size is kept so that the state, the
// allocation and the test model match the design slot for slot.
constexpr int32_t kNumVoiceSlots = 18;
constexpr int32_t kSineTableSize = 131072;  // one cycle; phases are in these steps
constexpr int32_t kSineTableMask = kSineTableSize - 1;
constexpr int32_t kNumNotes = 128;
constexpr int32_t kPitchBendSteps = 129;  // exponents -64/64 .. +64/64

// The record slot of parameter `index` (host numbering); out-of-range indices give the last.
constexpr int32_t parameterSlot(int32_t index) {
  return kParameters[static_cast<uint32_t>(index) < kNumParams ? index : kNumParams - 1].recordSlot;
}

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

struct TuningTable;

// One MIDI event the engine acts on, at a frame of the block it is queued for.
struct EngineEvent {
  enum Kind : uint8_t {
    NoteOn,               // note, velocity 1..127
    NoteOff,              // note
    PitchBend,            // step 0..128 (the high data byte, 127 counted as 128)
    AllSoundOff,          // controller 120: silence at once
    ResetAllControllers,  // controller 121: bend back to the centre
    AllNotesOff,          // controller 123: release every held voice
    MonoModeOn,           // controller 126: silence at once
    NoteChoke,            // note: its voices silent at once (exact zeros from this frame)
  };
  int32_t frame;
  Kind kind;
  uint8_t note;
  uint8_t value;  // velocity or bend step
  // A note-on's caller-chosen number for the voice it starts, given back in a VoiceEnd when that
  // voice falls silent or is taken; 0: no report wanted.
  int32_t tag = 0;
};

// A tagged voice that ended: silent from `frame` of the block (its release done, or silenced by
// 120, 126 or a choke), or taken by a later note-on at that frame.
struct VoiceEnd {
  int32_t frame;
  int32_t tag;
};

// The engine's event for three MIDI bytes (any channel; a note-on with velocity 0 is a note-off).
// False for messages the engine ignores.
bool engineEventFromMidi(int32_t frame, uint8_t status, uint8_t data1, uint8_t data2,
                         EngineEvent& event);

class VelaEngine {
 public:
  // Events one block can carry; further ones are dropped (queueEvent answers false).
  static constexpr int32_t kEventCapacity = 1024;
  // Every tagged note-on of a block and every voice sounding before it can end within it.
  static constexpr int32_t kVoiceEndCapacity = kEventCapacity + kNumVoiceSlots;

  // Starts at 44100 Hz with the values of a new program.
  VelaEngine();

  // Rates that are not positive finite numbers are ignored (false). Everything derived from the
  // rate follows it; sounding voices keep their pitch in hertz.
  bool setSampleRate(float rate);
  float getSampleRate() const { return sampleRate; }

  // Stores the value and maps it (applyParameter); indices outside 0..13 do nothing.
  void setParameter(int32_t index, float value);
  float getParameter(int32_t index) const;
  // Stores and maps without the retune that "FB1" and "FB2" bring; with retuneVoices, for a
  // caller that applies several edits as one.
  void mapParameter(int32_t index, float value);
  void retuneVoices();
  // Retunes with the modulator transpositions given instead of the current ones.
  void retuneVoices(int32_t mod1Transpose, int32_t mod2Transpose);
  // Plays every note from `table` from now on (null: the shared equal-tempered table) and
  // retunes the voices; a sounding voice whose key the table leaves unmapped keeps its pitch.
  // The table must stay unchanged while it is in use.
  void useTuning(const TuningTable* table);

  // Queues an event for the next render call. The call takes its events in order of frame and,
  // within a frame, in the order they were queued; a negative frame counts as 0, and one at or
  // past the block's end as its last sample.
  bool queueEvent(const EngineEvent& event);
  int32_t queuedEvents() const { return eventCount; }
  void clearEvents() { eventCount = 0; }

  // Renders `frames` samples into left and right, taking each queued event at its frame, then
  // empties the queue. processReplacing writes the buffers, process adds to them. A call with no
  // frames or a missing buffer renders nothing and keeps the queue. No allocation, lock or
  // system call.
  void processReplacing(float* left, float* right, int32_t frames);
  void process(float* left, float* right, int32_t frames);

  // A block rendered in parts, for a caller that changes coefficients between them:
  // beginParts orders the queue for a block of `frames`; each renderPart renders frames
  // [from, to) of the block at left/right (parts in order, from where the last one ended),
  // taking the queued events whose frames fall there; endParts empties the queue. The parts
  // together give the bits of one render call over the block.
  void beginParts(int32_t frames);
  void renderPart(float* left, float* right, int32_t from, int32_t to, bool replace);
  void endParts() { eventCount = 0; }

  // The tagged voices that ended in the last render call (or set of parts), in frame order.
  int32_t voiceEndCount() const { return voiceEndTotal; }
  const VoiceEnd* voiceEnds() const { return voiceEndList; }

 protected:
  void resetEngine();
  void applyParameter(int32_t index);  // maps, and retunes for "FB1"/"FB2"
  void mapParameter(int32_t index);
  void updateVoicePitch(int32_t voice);
  void noteOn(int32_t voice, int32_t note, int32_t velocity);
  void tunedPitch(int32_t voice);
  void releaseAt(int32_t voice);
  void bendTo(float bend);
  void applyEvent(const EngineEvent& event);
  void silenceVoice(int32_t voice, int32_t frame);
  // Where a sounding voice falls silent if no event comes first, from its state at `frame`.
  int32_t silentFrom(int32_t voice, int32_t frame) const;
  void reportVoiceEnd(int32_t voice, int32_t frame);
  void reportTagEnd(int32_t tag, int32_t frame);
  void orderEvents(int32_t frames);
  void renderVoice(int32_t voice, float* left, float* right);
  int32_t filterVoice(int32_t voice, int32_t input, float cutoff);
  template <bool kReplace>
  void renderBlock(float* left, float* right, int32_t frames);
  template <bool kReplace>
  void renderEvents(float* left, float* right, int32_t from, int32_t to);
  template <bool kReplace, class Coefs>
  void renderStretch(float* left, float* right, int32_t frames, const Coefs& coefs);
  // renderStretch over frames [from, to) of the block, reporting the tagged voices that end.
  template <bool kReplace, class Coefs>
  void renderTracked(float* left, float* right, int32_t from, int32_t to, const Coefs& coefs);
  // One voice's state and the engine coefficients as locals (EngineRender.cpp only).
  template <class Run>
  void loadVoice(int32_t voice, Run& run) const;
  template <class Run>
  void storeVoice(int32_t voice, const Run& run);
  template <class Coefs>
  void loadCoefs(Coefs& coefs) const;

  float sampleRate = 44100.0f;
  // The parameter values the engine runs on, in program record order.
  float appliedValues[kNumParams] = {};
  float& appliedValue(int32_t index) { return appliedValues[parameterSlot(index)]; }

  // Engine state; `voice` arrays have one entry per slot.
  float mod1Phase[kNumVoiceSlots] = {};
  float mod2Phase[kNumVoiceSlots] = {};
  float carrierPhase[kNumVoiceSlots] = {};
  float phaseRateFactor = 0;  // table steps per sample per hertz: 131072 / sampleRate
  int32_t voiceNote[kNumVoiceSlots] = {};
  int32_t voiceVelocity[kNumVoiceSlots] = {};
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
  // 0: the voice's next rendered sample is the last before its release; -1: none pending.
  int32_t noteOffCountdown[kNumVoiceSlots] = {};
  bool mod1Sync = false;
  bool mod2Sync = false;
  // "S" and "Env" as the renderer reads them: the applied values limited to 0..1 (NaN as 0).
  float sustainLevel = 0;
  float envAmount = 0;
  const SynthTables* tables = &synthTables();
  const TuningTable* tuning = nullptr;  // null: tables->noteFrequencyTable
  double voiceHz[kNumVoiceSlots] = {};  // the carrier's frequency before the bend

  // Queued events, in the order they came.
  EngineEvent events[kEventCapacity] = {};
  EngineEvent eventScratch[kEventCapacity] = {};  // for putting them in order
  int32_t eventCount = 0;
  int32_t nextEvent = 0;  // the first event a block's next part takes

  int32_t voiceTag[kNumVoiceSlots] = {};  // the tag of the note each slot plays; 0 none
  VoiceEnd voiceEndList[kVoiceEndCapacity] = {};
  int32_t voiceEndTotal = 0;
};
