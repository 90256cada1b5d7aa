// AudioEffect: the root of every plug-in instance, owner of the descriptor the host holds.
// AEffEditor: the editor base the effect consults for the editor opcodes.
#pragma once

#include "DAEffect.h"

struct VstKeyCode;
class AudioEffect;

class AEffEditor {
 public:
  explicit AEffEditor(AudioEffect* effect);
  virtual ~AEffEditor();

  virtual int32_t getRect(ERect** rect);
  virtual int32_t open(void* ptr);
  virtual void close();
  virtual void idle();
  virtual void update();
  virtual void postUpdate();
  virtual int32_t onKeyDown(VstKeyCode& keyCode);
  virtual int32_t onKeyUp(VstKeyCode& keyCode);
  virtual int32_t setKnobMode(int32_t mode);
  virtual bool onWheel(float distance);

 protected:
  AudioEffect* effect;         // not owned: the effect owns the editor
  void* systemWindow = nullptr;  // parent given by the last base open
  int32_t updateFlag = 0;      // raised by postUpdate, lowered by idle
};

class AudioEffect {
 public:
  AudioEffect(audioMasterCallback audioMaster, int32_t numPrograms, int32_t numParams);
  virtual ~AudioEffect();

  AEffect* getAeffect() { return &cEffect; }
  void setEditor(AEffEditor* newEditor);
  AEffEditor* getEditor() const { return editor; }

  // [any thread, not while rendering] Reached through effSetSampleRate / effSetBlockSize.
  virtual void setSampleRate(float newSampleRate);
  virtual void setBlockSize(int32_t newBlockSize);
  // [any thread] Hosts set and read parameters from their GUI and automation threads while the
  // audio thread renders.
  virtual void setParameter(int32_t index, float value);
  virtual float getParameter(int32_t index);
  virtual void setParameterAutomated(int32_t index, float value);
  // [audio thread]
  virtual void process(float** inputs, float** outputs, int32_t sampleFrames) = 0;
  virtual void processReplacing(float** inputs, float** outputs, int32_t sampleFrames);
  // [the thread of the opcode: effProcessEvents on the audio thread, the rest on any other]
  virtual intptr_t dispatcher(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt);
  virtual void open();
  virtual void close();
  virtual int32_t getProgram();
  virtual void setProgram(int32_t program);
  virtual void setProgramName(char* name);
  virtual void getProgramName(char* name);
  virtual void getParameterLabel(int32_t index, char* label);
  virtual void getParameterDisplay(int32_t index, char* text);
  virtual void getParameterName(int32_t index, char* text);
  virtual float getVu();
  virtual int32_t getChunk(void** data, bool isPreset);
  virtual int32_t setChunk(void* data, int32_t byteSize, bool isPreset);
  virtual void suspend();
  virtual void resume();
  virtual void setUniqueID(int32_t id);
  virtual void setNumInputs(int32_t inputs);
  virtual void setNumOutputs(int32_t outputs);
  virtual void hasVu(bool state);
  virtual void hasClip(bool state);
  virtual void canMono(bool state);
  virtual void canProcessReplacing(bool state);
  virtual void programsAreChunks(bool state);
  virtual void setRealtimeQualities(int32_t qualities);
  virtual void setOfflineQualities(int32_t qualities);
  virtual void setInitialDelay(int32_t delay);
  virtual int32_t getMasterVersion();
  virtual int32_t getCurrentUniqueId();
  virtual void masterIdle();
  virtual bool isInputConnected(int32_t input);
  virtual bool isOutputConnected(int32_t output);

  float getSampleRate() const { return sampleRate; }
  int32_t getBlockSize() const { return blockSize; }

 protected:
  // Sends one request to the host; answers `noHost` when there is no callback.
  intptr_t callHost(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt,
                    intptr_t noHost = 0);
  void setFlag(int32_t bit, bool state);

  AEffect cEffect;
  float sampleRate = 44100.0f;
  AEffEditor* editor = nullptr;  // owned
  int32_t numPrograms;
  int32_t numParams;
  int32_t curProgram = 0;
  int32_t blockSize = 1024;
  audioMasterCallback audioMaster;
};

// Copies `text` into a host buffer of `size` bytes, cutting it to fit and always terminating.
void copyHostText(char* buffer, const char* text, size_t size);
