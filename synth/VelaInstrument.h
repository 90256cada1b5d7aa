// VelaInstrument: the instrument every plug-in format drives. It joins the program bank (what
// hosts, panels and files edit, from any thread) and the engine (what the audio thread renders)
// and takes a block's input as each format delivers it: MIDI bytes and parameter changes, each at
// its frame. A format's glue turns its own records into these calls and nothing more.
//
// A parameter change at frame f acts from f on: the block is rendered up to f, the change goes
// into the bank and is applied as an edit at the start of a block would be (the same mapping and
// retune rules), and the rest of the block follows. So a block with changes gives the bits of the
// same block split at their frames with the changes made between the parts; at one frame the
// parameter changes act before that frame's MIDI.
//
// Threads: the bank may be edited from any thread at any time, the tuning from any thread but
// the audio thread; everything else is the audio thread's (or, while nothing renders, the
// thread that creates, activates or configures).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "ProgramBank.h"
#include "Tuning.h"
#include "VelaEngine.h"

// The engine is a protected base so that test probes can look at its state; formats see only
// the operations below.
class VelaInstrument : protected VelaEngine {
 public:
  // Parameter changes one block can carry; further ones are dropped (queueParameter is false).
  static constexpr int32_t kParameterChangeCapacity = 1024;
  static constexpr int32_t kEventCapacity = VelaEngine::kEventCapacity;

  // Program 0 current, already applied: a new instance plays it from its first block.
  VelaInstrument();

  // [any thread] Parameters, programs, names and snapshots.
  ProgramBank& bank() { return programs; }
  const ProgramBank& bank() const { return programs; }

  // [not while rendering] Rates that are not positive finite numbers are ignored (false).
  bool setSampleRate(float rate) { return VelaEngine::setSampleRate(rate); }
  float getSampleRate() const { return VelaEngine::getSampleRate(); }

  // [any thread but the audio thread] The tuning every note plays in (Tuning.h): the table is
  // built here and taken by the audio thread at its next block, where the sounding voices move
  // to it. A refused tuning (false, why in `error`) changes nothing. Kept through reset().
  bool setTuning(const TuningFiles& files, std::string* error = nullptr) {
    return tunings.set(files, error);
  }
  TuningFiles tuning() const { return tunings.files(); }

  // [any thread but the audio thread] What hosts' state holds (CLAP, VST 3): the bank's checked
  // form (encodeBank), then the tuning's (encodeTuning) when there is one, so a state without a
  // tuning is the bank's bytes alone, as before tunings.
  std::vector<uint8_t> saveState() const;
  // Both restored, or neither: false (why in `error`) for bytes that are not such a state or a
  // tuning refused. A state without a tuning brings the instrument's own table back.
  bool restoreState(const uint8_t* data, size_t size, std::string* error = nullptr);
  // The largest state restoreState takes; a stream holding more is not ours.
  static size_t maxStateBytes();

  // [audio thread] Applies what other threads edited since the last block, and a new tuning.
  // The render calls do this first themselves; a format calls it when it needs the engine
  // current before that.
  void beginBlock();

  // [audio thread] Queue input for the next render call. Frames count from the block's first
  // sample; a negative frame counts as 0, one at or past the block's end as its last sample.
  // False when the message is not one the engine plays (queueMidi) or the queue is full.
  bool queueMidi(int32_t frame, uint8_t status, uint8_t data1, uint8_t data2);
  bool queueEvent(const EngineEvent& event) { return VelaEngine::queueEvent(event); }
  // Indices outside 0..13 are refused (false).
  bool queueParameter(int32_t frame, int32_t index, float value);
  // From its frame the engine hears value + amount (limited to 0..1) for that parameter, until
  // the next modulation of it; the bank's value stays (ProgramBank::setModulation). It takes
  // its turn among the parameter changes.
  bool queueModulation(int32_t frame, int32_t index, float amount);
  int32_t queuedEvents() const { return VelaEngine::queuedEvents(); }
  int32_t queuedParameters() const { return parameterCount; }
  // Forgets the queued MIDI and parameter changes.
  void clearEvents();

  // [audio thread] Renders `frames` samples: begins the block, then takes every queued event and
  // parameter change at its frame. processReplacing writes the buffers, process adds to them.
  // With no frames or a missing buffer nothing is rendered and the MIDI stays queued; the
  // parameter changes are made at once, as between two blocks. No allocation, lock or system
  // call.
  void processReplacing(float* left, float* right, int32_t frames);
  void process(float* left, float* right, int32_t frames);

  // [audio thread] The voices of tagged note-ons (EngineEvent::tag) that ended in the last render
  // call, in frame order; none after a call that rendered nothing.
  int32_t voiceEndCount() const { return VelaEngine::voiceEndCount(); }
  const VoiceEnd* voiceEnds() const { return VelaEngine::voiceEnds(); }

  // [audio thread, or while nothing renders] Every voice silent at once, pitch bend centred,
  // the queues emptied; parameters, programs and modulation stay. Ends no voice with a report.
  void reset();

 protected:
  struct ParameterChange {
    int32_t frame;
    int32_t index;
    float value;  // the value, or a modulation amount
    bool modulation;
  };
  void render(float* left, float* right, int32_t frames, bool replace);
  void orderParameters(int32_t frames);
  void applyParameters(int32_t first, int32_t end);

  ProgramBank programs;
  TuningExchange tunings;
  ParameterChange parameters[kParameterChangeCapacity] = {};
  ParameterChange parameterScratch[kParameterChangeCapacity] = {};  // for putting them in order
  int32_t parameterCount = 0;
};
