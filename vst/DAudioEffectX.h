// AudioEffectX: the VST 2 additions (opcodes 25 to 68), host requests and flag setters.
#pragma once

#include "DAEffectX.h"
#include "DAudioEffect.h"

class AEffEditorX : public AEffEditor {
 public:
  using AEffEditor::AEffEditor;
};

class AudioEffectX : public AudioEffect {
 public:
  AudioEffectX(audioMasterCallback audioMaster, int32_t numPrograms, int32_t numParams);
  ~AudioEffectX() override;

  intptr_t dispatcher(int32_t opcode, int32_t index, intptr_t value, void* ptr,
                      float opt) override;

  virtual void* getTimeInfo(int32_t filter);
  virtual int32_t tempoAt(int32_t position);
  virtual int32_t processEvents(VstEvents* events);
  virtual int32_t getNumAutomatableParameters();
  virtual int32_t getParameterQuantization();
  virtual bool canParameterBeAutomated(int32_t index);
  virtual bool string2parameter(int32_t index, char* text);
  virtual float getChannelParameter(int32_t channel, int32_t index);
  virtual int32_t getNumCategories();
  virtual bool getProgramNameIndexed(int32_t category, int32_t index, char* text);
  virtual bool copyProgram(int32_t destination);
  virtual bool ioChanged();
  virtual bool needIdle();
  virtual bool sizeWindow(int32_t width, int32_t height);
  virtual double updateSampleRate();
  virtual int32_t updateBlockSize();
  virtual int32_t getInputLatency();
  virtual int32_t getOutputLatency();
  virtual AEffect* getPreviousPlug();
  virtual AEffect* getNextPlug();
  virtual void inputConnected(int32_t index, bool state);
  virtual void outputConnected(int32_t index, bool state);
  virtual bool getInputProperties(int32_t index, VstPinProperties* properties);
  virtual bool getOutputProperties(int32_t index, VstPinProperties* properties);
  virtual int32_t getPlugCategory();
  virtual int32_t willProcessReplacing();
  virtual int32_t getCurrentProcessLevel();
  virtual int32_t getAutomationState();
  virtual void wantAsyncOperation(bool state);
  virtual void hasExternalBuffer(bool state);
  virtual int32_t reportCurrentPosition();
  virtual float* reportDestinationBuffer();
  virtual bool offlineRead(void* task, int32_t option, bool readSource);
  virtual bool offlineWrite(void* task, int32_t option);
  virtual bool offlineStart(void* audioFiles, int32_t numAudioFiles, int32_t numNewAudioFiles);
  virtual int32_t offlineGetCurrentPass();
  virtual int32_t offlineGetCurrentMetaPass();
  virtual bool offlineNotify(void* audioFiles, int32_t count, bool start);
  virtual bool offlinePrepare(void* task, int32_t count);
  virtual bool offlineRun(void* task, int32_t count);
  virtual int32_t offlineGetNumPasses();
  virtual int32_t offlineGetNumMetaPasses();
  virtual void setOutputSamplerate(float rate);
  virtual bool getSpeakerArrangement(void* input, void* output);
  virtual bool getHostVendorString(char* text);
  virtual bool getHostProductString(char* text);
  virtual int32_t getHostVendorVersion();
  virtual int32_t hostVendorSpecific(int32_t a, int32_t b, void* p, float f);
  virtual int32_t canHostDo(char* text);
  virtual void isSynth(bool state);
  virtual void noTail(bool state);
  virtual int32_t getHostLanguage();
  virtual void* openWindow(void* window);
  virtual bool closeWindow(void* window);
  virtual void* getDirectory();
  virtual bool updateDisplay();
  virtual bool processVariableIo(void* varIo);
  virtual bool setSpeakerArrangement(void* input, void* output);
  virtual void setBlockSizeAndSampleRate(int32_t newBlockSize, float newSampleRate);
  virtual bool setBypass(bool on);
  virtual bool getEffectName(char* text);
  virtual bool getErrorText(char* text);
  virtual bool getVendorString(char* text);
  virtual bool getProductString(char* text);
  virtual int32_t getVendorVersion();
  virtual intptr_t vendorSpecific(int32_t index, intptr_t value, void* ptr, float opt);
  virtual intptr_t canDo(char* text);
  virtual void* getIcon();
  virtual bool setViewPosition(int32_t x, int32_t y);
  virtual int32_t getGetTailSize();
  virtual int32_t fxIdle();
  virtual bool getParameterProperties(int32_t index, void* properties);
  virtual bool keysRequired();
  virtual int32_t getVstVersion();
  virtual int32_t getMidiProgramName(int32_t channel, void* name);
  virtual int32_t getCurrentMidiProgram(int32_t channel, void* name);
  virtual int32_t getMidiProgramCategory(int32_t channel, void* category);
  virtual bool hasMidiProgramsChanged(int32_t channel);
  virtual bool getMidiKeyName(int32_t channel, void* keyName);
  virtual bool beginSetProgram();
  virtual bool endSetProgram();
  virtual bool beginEdit(int32_t index);
  virtual bool endEdit(int32_t index);
  virtual bool openFileSelector(void* selector);

  void wantEvents(int32_t filter = 1);
};
