// One plug-in instance driven only through its binary interface: the entry point, the
// descriptor's dispatcher and its process, setParameter and getParameter functions.
//
// Threads. The UI thread opens and closes the plug-in and makes every dispatcher call but
// effProcessEvents: the player's window thread, the renderer's only thread. The audio thread
// calls processEvents and render: JACK's process callback in the player, the renderer's only
// thread again while it renders. Parameter values are set and read from any thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "DAEffectX.h"
#include "PluginLibrary.h"
#include "Tuning.h"

// What a host reads of one parameter through the interface.
struct HostParameter {
  int32_t index = 0;
  std::string name;
  std::string label;
  std::string display;
  float value = 0.0f;
};

// How the host presents itself: the renderer runs offline, the player in real time.
struct HostIdentity {
  const char* product = "velaorin-render";
  bool realtime = false;
};

class PluginHost {
 public:
  // Version answered to audioMasterVersion.
  static constexpr intptr_t kHostVersion = 2400;

  // [UI thread] Opens the binary, calls its entry point and sends effOpen, the sample rate and
  // the block size. Throws ToolError naming the problem. One instance per process: the host
  // callback carries no user pointer.
  PluginHost(const std::string& path, int32_t sampleRate, int32_t blockSize,
             HostIdentity identity = {});
  ~PluginHost();  // [UI thread] effMainsChanged 0 if running, then effClose
  PluginHost(const PluginHost&) = delete;
  PluginHost& operator=(const PluginHost&) = delete;

  // [any thread] What the descriptor says.
  int32_t uniqueId() const { return effect_->uniqueID; }
  int32_t numPrograms() const { return effect_->numPrograms; }
  int32_t numParameters() const { return effect_->numParams; }
  int32_t numInputs() const { return effect_->numInputs; }
  int32_t numOutputs() const { return effect_->numOutputs; }

  // [UI thread]
  int32_t sampleRate() const { return sampleRate_; }
  int32_t blockSize() const { return blockSize_; }
  std::string effectName() const;
  std::string vendorString() const;
  std::string productString() const;

  int32_t currentProgram() const;
  std::string programName(int32_t program) const;
  HostParameter parameter(int32_t index) const;
  // Exact name first, then a unique match ignoring letter case; -1 when none.
  int32_t findParameter(const std::string& name) const;

  // Throws ToolError for a program the plug-in does not have.
  void selectProgram(int32_t program);
  // [any thread]
  void setParameter(int32_t index, float value);
  float parameterValue(int32_t index) const;

  // [UI thread]
  void setProgramName(int32_t program, const std::string& name);  // selects `program` first

  // [UI thread] Hands the plug-in a tuning through our own effVendorSpecific call
  // (VelaVendorCalls.h); the default files bring back its own. Throws ToolError when the
  // plug-in refuses it (saying why) or does not know the call.
  void setTuning(const TuningFiles& files);

  // [UI thread] While suspended (effMainsChanged 0); in the player also from JACK's notification
  // thread, with the audio thread held out.
  void setSampleRate(int32_t sampleRate);
  void setBlockSize(int32_t blockSize);

  // [UI thread] effMainsChanged 1 / 0; in the player also as above.
  void resume();
  void suspend();
  bool running() const { return running_; }

  // [UI thread] Editor opcodes. openEditor answers false when the plug-in has no editor
  // or refuses the parent.
  bool hasEditor() const { return (effect_->flags & effFlagsHasEditor) != 0; }
  bool editorSize(int32_t& width, int32_t& height) const;
  bool openEditor(void* parent);
  void idleEditor();
  void closeEditor();
  // The editor's size requests (audioMasterSizeWindow), answered by `handler`: true when the
  // host's window took the new size. None (the default): every request is refused.
  void onEditorResize(std::function<bool(int32_t width, int32_t height)> handler);
  // The scale the editor must take, for a window that cannot follow another size (its answer to
  // kHostScaleQuestion); 0 (the default): no word.
  void setEditorScale(double scale);

  // [audio thread] Between resume and suspend.
  void processEvents(VstEvents* events);
  // Replacing processing where the plug-in has it; otherwise process into cleared buffers.
  void render(float** inputs, float** outputs, int32_t frames);

  // [audio thread] Last answer to effProcessEvents; hosts ignore it, tests look at it.
  intptr_t lastEventsAnswer() const { return lastEventsAnswer_; }

 private:
  intptr_t dispatch(int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr,
                    float opt = 0.0f) const;
  std::string text(int32_t opcode, int32_t index, size_t size) const;

  std::unique_ptr<PluginLibrary> library_;
  AEffect* effect_ = nullptr;
  int32_t sampleRate_;
  int32_t blockSize_;
  bool running_ = false;
  bool editorOpen_ = false;
  intptr_t lastEventsAnswer_ = 0;
};
