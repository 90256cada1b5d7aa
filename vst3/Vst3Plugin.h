// The objects of VelaOrin.vst3: the component (audio processor) over the instrument core, the
// edit controller with its own copy of the bank, and the controller's view around the panel.
//
// Threads. The host's audio thread calls process() and nothing else of ours touches the engine.
// Every other call comes from the host's UI (main) thread, except those hosts also make from
// the audio thread, which are lock- and allocation-free: queryInterface, addRef and release,
// setProcessing and setActive, plainParamToNormalized and normalizedParamToPlain,
// getMidiControllerAssignment, getLatencySamples and getTailSamples.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "ParameterLink.h"
#include "VelaInstrument.h"
#include "VelaVst3.h"
#include "Vst3Com.h"

class PanelWindow;

namespace velavst3 {

// The component state: the bank's checked byte form, then the tuning's when there is one
// (VelaInstrument::saveState), read from where the host's stream stands (hosts put other data
// before it) and no further than the forms' headers say. readBank takes the bank alone (what the
// controller needs); readState the whole state, bytes for VelaInstrument::restoreState. False,
// with nothing taken, when the data is not a whole valid bank of ours.
bool readBank(vst3::IBStream* stream, BankImage& image);
bool readState(vst3::IBStream* stream, std::vector<uint8_t>& bytes);
bool writeBytes(vst3::IBStream* stream, const std::vector<uint8_t>& bytes);
// The program a normalized program-selector value selects, and back.
int32_t programOf(double normalized);
inline double normalizedProgram(int32_t program) { return program / static_cast<double>(kLastProgram); }

class Processor final : public vst3::IComponent,
                        public vst3::IAudioProcessor,
                        public vst3::IConnectionPoint {
 public:
  Processor() = default;

  // FUnknown [any thread]
  vst3::tresult queryInterface(vst3::TUIDPtr interfaceId, void** obj) override;
  uint32_t addRef() override { return refs.add(); }
  uint32_t release() override;

  // IPluginBase, IComponent [UI thread]
  vst3::tresult initialize(vst3::FUnknown* context) override;
  vst3::tresult terminate() override;
  vst3::tresult getControllerClassId(char* classId) override;
  vst3::tresult setIoMode(int32_t mode) override;
  int32_t getBusCount(int32_t type, int32_t direction) override;
  vst3::tresult getBusInfo(int32_t type, int32_t direction, int32_t index,
                           vst3::BusInfo* bus) override;
  vst3::tresult getRoutingInfo(vst3::RoutingInfo* in, vst3::RoutingInfo* out) override;
  vst3::tresult activateBus(int32_t type, int32_t direction, int32_t index,
                            vst3::TBool state) override;
  vst3::tresult setActive(vst3::TBool state) override;  // [any thread]
  vst3::tresult setState(vst3::IBStream* state) override;
  vst3::tresult getState(vst3::IBStream* state) override;

  // IAudioProcessor [UI thread, while inactive], process [audio thread]
  vst3::tresult setBusArrangements(vst3::SpeakerArrangement* inputs, int32_t numIns,
                                   vst3::SpeakerArrangement* outputs, int32_t numOuts) override;
  vst3::tresult getBusArrangement(int32_t direction, int32_t index,
                                  vst3::SpeakerArrangement* arrangement) override;
  vst3::tresult canProcessSampleSize(int32_t symbolicSampleSize) override;
  uint32_t getLatencySamples() override { return 0; }
  vst3::tresult setupProcessing(vst3::ProcessSetup* setup) override;
  vst3::tresult setProcessing(vst3::TBool state) override;  // [any thread]
  // No allocation, lock or system call.
  vst3::tresult process(vst3::ProcessData* data) override;
  uint32_t getTailSamples() override;  // [any thread]

  // IConnectionPoint [UI thread]
  vst3::tresult connect(vst3::IConnectionPoint* other) override;
  vst3::tresult disconnect(vst3::IConnectionPoint* other) override;
  vst3::tresult notify(vst3::IMessage* message) override;

 private:
  ~Processor() = default;
  bool readParameters(vst3::IParameterChanges* changes);  // true when the program changed
  void readEvents(vst3::IEventList* events);
  void reportProgram(vst3::IParameterChanges* out);
  void sendBank(const BankImage& image);

  vst3::RefCount refs;
  VelaInstrument instrument;
  vst3::HostRef<vst3::FUnknown> hostContext;
  vst3::HostRef<vst3::IConnectionPoint> peer;
};

class View;

class Controller final : public vst3::IEditController,
                         public vst3::IMidiMapping,
                         public vst3::IUnitInfo,
                         public vst3::IConnectionPoint {
 public:
  Controller();

  // FUnknown [any thread]
  vst3::tresult queryInterface(vst3::TUIDPtr interfaceId, void** obj) override;
  uint32_t addRef() override { return refs.add(); }
  uint32_t release() override;

  // IPluginBase, IEditController [UI thread]
  vst3::tresult initialize(vst3::FUnknown* context) override;
  vst3::tresult terminate() override;
  vst3::tresult setComponentState(vst3::IBStream* state) override;
  vst3::tresult setState(vst3::IBStream* state) override;
  vst3::tresult getState(vst3::IBStream* state) override;
  int32_t getParameterCount() override { return kParameterCount; }
  vst3::tresult getParameterInfo(int32_t index, vst3::ParameterInfo* info) override;
  vst3::tresult getParamStringByValue(vst3::ParamID id, vst3::ParamValue normalized,
                                      vst3::TChar* text) override;
  vst3::tresult getParamValueByString(vst3::ParamID id, vst3::TChar* text,
                                      vst3::ParamValue* normalized) override;
  // [any thread]
  vst3::ParamValue normalizedParamToPlain(vst3::ParamID id, vst3::ParamValue normalized) override;
  vst3::ParamValue plainParamToNormalized(vst3::ParamID id, vst3::ParamValue plain) override;
  vst3::ParamValue getParamNormalized(vst3::ParamID id) override;
  vst3::tresult setParamNormalized(vst3::ParamID id, vst3::ParamValue value) override;
  vst3::tresult setComponentHandler(vst3::IComponentHandler* handler) override;
  vst3::IPlugView* createView(vst3::FIDString name) override;

  // IMidiMapping [any thread]
  vst3::tresult getMidiControllerAssignment(int32_t busIndex, int16_t channel,
                                            vst3::CtrlNumber controller, vst3::ParamID* id) override;

  // IUnitInfo [UI thread]
  int32_t getUnitCount() override { return 1; }
  vst3::tresult getUnitInfo(int32_t index, vst3::UnitInfo* info) override;
  int32_t getProgramListCount() override { return 1; }
  vst3::tresult getProgramListInfo(int32_t index, vst3::ProgramListInfo* info) override;
  vst3::tresult getProgramName(vst3::ProgramListID list, int32_t program, vst3::TChar* name) override;
  vst3::tresult getProgramInfo(vst3::ProgramListID list, int32_t program, vst3::FIDString attribute,
                               vst3::TChar* value) override;
  vst3::tresult hasProgramPitchNames(vst3::ProgramListID list, int32_t program) override;
  vst3::tresult getProgramPitchName(vst3::ProgramListID list, int32_t program, int16_t pitch,
                                    vst3::TChar* name) override;
  vst3::UnitID getSelectedUnit() override { return vst3::kRootUnitId; }
  vst3::tresult selectUnit(vst3::UnitID unit) override;
  vst3::tresult getUnitByBus(int32_t type, int32_t direction, int32_t busIndex, int32_t channel,
                             vst3::UnitID* unit) override;
  vst3::tresult setUnitProgramData(int32_t listOrUnit, int32_t program, vst3::IBStream* data) override;

  // IConnectionPoint [UI thread]
  vst3::tresult connect(vst3::IConnectionPoint* other) override;
  vst3::tresult disconnect(vst3::IConnectionPoint* other) override;
  vst3::tresult notify(vst3::IMessage* message) override;

  // [UI thread] For the view: the panel's edits as whole gestures to the host, and the restart
  // a program change or restored state asks for, made from the view's timer: never from inside a
  // host's call (a host may hold a lock there that the restart takes again).
  ParameterLink& panelLink() { return link; }
  void flushRestart();

 private:
  class PanelLink final : public ParameterLink {
   public:
    explicit PanelLink(Controller& owner) : owner_(owner) {}
    float value(int32_t index) override;
    void automate(int32_t index, float value) override;
    void beginEdit(int32_t index) override;
    void endEdit(int32_t index) override;

   private:
    Controller& owner_;
  };

  ~Controller() = default;
  void restore(const BankImage& image);

  vst3::RefCount refs;
  ProgramBank bank;
  double midiValues[kMidiParameterCount] = {};
  vst3::HostRef<vst3::IComponentHandler> handler;
  vst3::HostRef<vst3::FUnknown> hostContext;
  vst3::HostRef<vst3::IConnectionPoint> peer;
  std::atomic<int32_t> pendingRestart{0};
  PanelLink link{*this};
};

// The view's platform: the panel in a window of the host, on the host's UI thread. On Linux the
// host's run loop brings the panel's X events (its connection's descriptor) and a timer.
class View final : public vst3::IPlugView,
                   public vst3::IPlugViewContentScaleSupport
#if !defined(_WIN32)
    ,
                   public vst3::IEventHandler,
                   public vst3::ITimerHandler
#endif
{
 public:
  static constexpr uint64_t kTimerMs = 16;
  explicit View(Controller* controller);

  // FUnknown [any thread]
  vst3::tresult queryInterface(vst3::TUIDPtr interfaceId, void** obj) override;
  uint32_t addRef() override { return refs.add(); }
  uint32_t release() override;

  // IPlugView, IPlugViewContentScaleSupport [UI thread]
  vst3::tresult isPlatformTypeSupported(vst3::FIDString type) override;
  vst3::tresult attached(void* parent, vst3::FIDString type) override;
  vst3::tresult removed() override;
  vst3::tresult onWheel(float) override { return vst3::kResultFalse; }
  vst3::tresult onKeyDown(vst3::TChar, int16_t, int16_t) override { return vst3::kResultFalse; }
  vst3::tresult onKeyUp(vst3::TChar, int16_t, int16_t) override { return vst3::kResultFalse; }
  vst3::tresult getSize(vst3::ViewRect* size) override;
  vst3::tresult onSize(vst3::ViewRect* size) override;
  vst3::tresult onFocus(vst3::TBool) override { return vst3::kResultOk; }
  vst3::tresult setFrame(vst3::IPlugFrame* frame) override;
  vst3::tresult canResize() override { return vst3::kResultFalse; }
  vst3::tresult checkSizeConstraint(vst3::ViewRect* rect) override;
  vst3::tresult setContentScaleFactor(float factor) override;

#if !defined(_WIN32)
  // IEventHandler, ITimerHandler [UI thread, from the host's run loop]
  void onFDIsSet(int fd) override;
  void onTimer() override;
#endif

  // The size the panel has or, before attached, will have: its scale comes from the user's
  // choice, the host's content scale factor or the screen (on Windows it is always 481 × 281).
  vst3::ViewRect size() const;

 private:
  ~View();
  void leaveRunLoop();

  vst3::RefCount refs;
  vst3::HostRef<Controller> controller;
  vst3::HostRef<vst3::IPlugFrame> frame;
  std::unique_ptr<PanelWindow> panel;
  double hostScale = 0.0;  // the host's content scale factor; 0: none
#if !defined(_WIN32)
  vst3::HostRef<vst3::IRunLoop> runLoop;
  bool handlerRegistered = false;
  bool timerRegistered = false;
#endif
};

}  // namespace velavst3
