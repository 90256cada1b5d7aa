// AVstXSynth: the VST 2 face of the instrument. Identity, texts, capabilities and pins are its
// own; parameters and programs go to the instrument's bank, MIDI and audio to the instrument.
// processEvents checks each event the host hands in and queues the ones the engine plays; the
// render calls take them at their frames. VST 2 gives parameter changes no time: they reach the
// bank at once and act from the next block. The panel is attached by the plug-in binary
// (VelaOrinPlugin.h), so this class links no window system.
#pragma once

#include <cstdint>

#include "DAudioEffectX.h"
#include "VelaInstrument.h"

// Threads. The audio thread calls processEvents, process and processReplacing, never two at
// once; it alone touches the engine. Any other thread may, at the same time, set and read
// parameters, change and name programs, ask for texts and run the editor: those calls touch only
// the bank, and the audio thread applies them at the start of its next block, a program change
// whole. effOpen, effClose, effMainsChanged, effSetSampleRate and effSetBlockSize(AndSampleRate)
// come while the host is not rendering.
class AVstXSynth : public AudioEffectX {
 public:
  explicit AVstXSynth(audioMasterCallback audioMaster);
  ~AVstXSynth() override;

  // [audio thread] No allocation, lock or system call. Events beyond the instrument's capacity
  // (VelaInstrument::kEventCapacity per block) are dropped.
  void process(float** inputs, float** outputs, int32_t sampleFrames) override;
  void processReplacing(float** inputs, float** outputs, int32_t sampleFrames) override;
  int32_t processEvents(VstEvents* events) override;

  // [any thread, not while rendering]
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

  // [any thread but the audio thread] Our tools' calls (VelaVendorCalls.h): the tuning.
  intptr_t vendorSpecific(int32_t index, intptr_t value, void* ptr, float opt) override;

 protected:
  VelaInstrument instrument;
};
