// A small VST 3 host for the tests, on the same declarations as the plug-in: it opens the bundle's
// binary as Ardour 7.3 does (entry points, factory, classes) and instantiates the component and
// the controller in Ardour's order, with the host objects that calls pass: streams, event lists,
// parameter queues, messages and connection proxies, a component handler that is also the
// view's frame and (on Linux) its run loop.
//
// Host objects live on the heap with a reference count like any COM object; the test owns one
// reference. Nothing here allocates while the plug-in processes: lists are reserved up front.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "Vst3Com.h"
#include "Vst3Interfaces.h"

namespace vst3host {

using namespace vst3;

// The built bundle's binary.
std::string bundleBinaryPath();

// Implements FUnknown for a host object of interfaces Is...; the first names the object.
template <class Self, class... Is>
class HostObject : public Is... {
 public:
  tresult queryInterface(TUIDPtr interfaceId, void** obj) override {
    if (obj == nullptr) return kInvalidArgument;
    auto* self = static_cast<Self*>(this);
    using First = std::tuple_element_t<0, std::tuple<Is...>>;
    if (offer<FUnknown>(interfaceId, obj, static_cast<First*>(self)) || (offer<Is>(interfaceId, obj, self) || ...))
      return kResultOk;
    return noInterface(obj);
  }
  uint32_t addRef() override { return refs_.add(); }
  uint32_t release() override {
    const uint32_t left = refs_.drop();
    if (left == 0) delete static_cast<Self*>(this);
    return left;
  }
  virtual ~HostObject() = default;

 private:
  RefCount refs_;
};

// The test's own reference to a host or plug-in object, released at the end of its scope.
template <class T>
class Ref {
 public:
  Ref() = default;
  explicit Ref(T* adopted) : p_(adopted) {}
  ~Ref() { reset(); }
  Ref(Ref&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  Ref& operator=(Ref&& o) noexcept {
    if (this != &o) {
      reset();
      p_ = std::exchange(o.p_, nullptr);
    }
    return *this;
  }
  void reset() {
    if (p_ != nullptr) std::exchange(p_, nullptr)->release();
  }
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  T& operator*() const { return *p_; }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  T* p_ = nullptr;
};
template <class I>
Ref<I> query(FUnknown* object) {
  return Ref<I>(queryAs<I>(object));
}

// The module: loaded, entered, its factory; exited and unloaded at the end.
class Module {
 public:
  explicit Module(const std::string& path = bundleBinaryPath());
  ~Module();
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;
  bool ok() const { return factory_ != nullptr; }
  const std::string& error() const { return error_; }
  IPluginFactory* factory() const { return factory_; }
  void* symbol(const char* name) const;

 private:
  void* handle_ = nullptr;
  IPluginFactory* factory_ = nullptr;
  std::string error_;
};
// One module for the whole test program (hosts load a module once).
Module& module();

class MemoryStream final : public HostObject<MemoryStream, IBStream> {
 public:
  // `prefix` bytes stand before the plug-in's data, as in hosts that write several chunks into
  // one stream; reading starts behind them.
  explicit MemoryStream(std::vector<uint8_t> bytes = {}, size_t prefix = 0);
  tresult read(void* buffer, int32_t bytes, int32_t* bytesRead) override;
  tresult write(void* buffer, int32_t bytes, int32_t* bytesWritten) override;
  tresult seek(int64_t position, int32_t mode, int64_t* result) override;
  tresult tell(int64_t* position) override;
  // What was written behind the prefix.
  std::vector<uint8_t> data() const;
  size_t position() const { return position_; }

 private:
  std::vector<uint8_t> bytes_;
  size_t prefix_;
  size_t position_;
};

class EventList final : public HostObject<EventList, IEventList> {
 public:
  EventList() { events_.reserve(8192); }
  int32_t getEventCount() override { return static_cast<int32_t>(events_.size()); }
  tresult getEvent(int32_t index, Event* event) override;
  tresult addEvent(Event* event) override;
  void noteOn(int32_t offset, int16_t pitch, float velocity, int16_t channel = 0);
  void noteOff(int32_t offset, int16_t pitch, float velocity = 0.5f, int16_t channel = 0);
  void add(const Event& event) { events_.push_back(event); }
  void clear() { events_.clear(); }

 private:
  std::vector<Event> events_;
};

class ParamQueue final : public HostObject<ParamQueue, IParamValueQueue> {
 public:
  explicit ParamQueue(ParamID id = 0) : id_(id) { points_.reserve(512); }
  ParamID getParameterId() override { return id_; }
  int32_t getPointCount() override { return static_cast<int32_t>(points_.size()); }
  tresult getPoint(int32_t index, int32_t* sampleOffset, ParamValue* value) override;
  // Points in offset order; one at an offset already there replaces it (as Ardour does).
  tresult addPoint(int32_t sampleOffset, ParamValue value, int32_t* index) override;
  void reset(ParamID id) {
    id_ = id;
    points_.clear();
  }
  const std::vector<std::pair<int32_t, ParamValue>>& points() const { return points_; }

 private:
  ParamID id_;
  std::vector<std::pair<int32_t, ParamValue>> points_;
};

class ParameterChanges final : public HostObject<ParameterChanges, IParameterChanges> {
 public:
  ParameterChanges();
  ~ParameterChanges() override;
  int32_t getParameterCount() override { return count_; }
  IParamValueQueue* getParameterData(int32_t index) override;
  IParamValueQueue* addParameterData(const ParamID* id, int32_t* index) override;
  void add(ParamID id, int32_t offset, ParamValue value);
  void clear() { count_ = 0; }
  // The last point given for `id`, if any.
  bool last(ParamID id, ParamValue* value) const;

 private:
  std::vector<ParamQueue*> queues_;
  int32_t count_ = 0;
};

class AttributeList final : public HostObject<AttributeList, IAttributeList> {
 public:
  tresult setInt(FIDString, int64_t) override { return kResultFalse; }
  tresult getInt(FIDString, int64_t*) override { return kResultFalse; }
  tresult setFloat(FIDString, double) override { return kResultFalse; }
  tresult getFloat(FIDString, double*) override { return kResultFalse; }
  tresult setString(FIDString, const TChar*) override { return kResultFalse; }
  tresult getString(FIDString, TChar*, uint32_t) override { return kResultFalse; }
  tresult setBinary(FIDString id, const void* data, uint32_t bytes) override;
  tresult getBinary(FIDString id, const void** data, uint32_t* bytes) override;

 private:
  std::vector<std::pair<std::string, std::vector<uint8_t>>> binaries_;
};

class Message final : public HostObject<Message, IMessage> {
 public:
  Message() : attributes_(new AttributeList) {}
  FIDString getMessageID() override { return id_.c_str(); }
  void setMessageID(FIDString id) override { id_ = id != nullptr ? id : ""; }
  IAttributeList* getAttributes() override { return attributes_.get(); }

 private:
  std::string id_;
  Ref<AttributeList> attributes_;
};

// The host context handed to initialize: names the host and makes messages.
class HostApplication final : public HostObject<HostApplication, IHostApplication> {
 public:
  tresult getName(TChar* name) override;
  tresult createInstance(char* cid, char* interfaceId, void** obj) override;
  int32_t messagesCreated = 0;
};

// What the host puts between the two connection points: each side talks to a proxy that
// forwards messages to the other side.
class ConnectionProxy final : public HostObject<ConnectionProxy, IConnectionPoint> {
 public:
  explicit ConnectionProxy(IConnectionPoint* target) : target_(target) {}
  tresult connect(IConnectionPoint*) override { return kResultOk; }
  tresult disconnect(IConnectionPoint*) override { return kResultOk; }
  tresult notify(IMessage* message) override;
  int32_t forwarded = 0;

 private:
  IConnectionPoint* target_;
};

// The component handler, which is also the view's frame and, on Linux, offers the run loop.
class ComponentHandler final
    : public HostObject<ComponentHandler, IComponentHandler, IPlugFrame
#if !defined(_WIN32)
                        , IRunLoop
#endif
                        > {
 public:
  tresult beginEdit(ParamID id) override;
  tresult performEdit(ParamID id, ParamValue value) override;
  tresult endEdit(ParamID id) override;
  tresult restartComponent(int32_t flags) override;
  tresult resizeView(IPlugView* view, ViewRect* size) override;
#if !defined(_WIN32)
  tresult registerEventHandler(IEventHandler* handler, int fd) override;
  tresult unregisterEventHandler(IEventHandler* handler) override;
  tresult registerTimer(ITimerHandler* handler, uint64_t milliseconds) override;
  tresult unregisterTimer(ITimerHandler* handler) override;
  // [UI thread] Waits up to `ms` for a registered descriptor, calls the handlers of the
  // readable ones, then every timer whose interval has passed since it last ran.
  void pump(int ms);
  size_t handlers() const { return fds_.size(); }
  size_t timers() const { return timers_.size(); }
#endif
  // "begin 2; perform 2 0.05; end 2; " for the edits since the last clear.
  std::string edits;
  std::vector<int32_t> restarts;
  int32_t resizes = 0;

 private:
#if !defined(_WIN32)
  std::vector<std::pair<IEventHandler*, int>> fds_;
  struct Timer {
    ITimerHandler* handler;
    uint64_t ms;
    int64_t lastRun;
  };
  std::vector<Timer> timers_;
#endif
};

// An instance of VelaOrin as Ardour 7.3 makes one: component and controller, connected through
// proxies, the controller synchronised from the component's state, buses activated, set up and
// processing. Then blocks are rendered with the events and parameter points the test put in.
class Synth {
 public:
  explicit Synth(double rate = 44100.0, int32_t maxBlock = 4096, Module& from = module());
  ~Synth();
  Synth(const Synth&) = delete;
  Synth& operator=(const Synth&) = delete;
  bool ok() const { return ok_; }
  const std::string& error() const { return error_; }

  // Renders `frames` into left and right with what events() and parameters() hold, then clears
  // them; output() holds what the plug-in reported.
  tresult render(float* left, float* right, int32_t frames);
  EventList& events() { return *events_; }
  ParameterChanges& parameters() { return *input_; }
  ParameterChanges& output() { return *output_; }

  IComponent* component() const { return component_.get(); }
  IAudioProcessor* processor() const { return processor_.get(); }
  IEditController* controller() const { return controller_.get(); }
  ComponentHandler& handler() { return *handler_; }
  HostApplication& host() { return *host_; }
  std::vector<uint8_t> componentState();
  tresult setComponentState(const std::vector<uint8_t>& bytes);  // component, then controller
  // Ardour's preset selection: the program parameter to the processor's next block and to the
  // controller.
  void selectProgram(int32_t program);

 private:
  bool fail(const std::string& what);
  void teardown();

  bool ok_ = false;
  std::string error_;
  Ref<HostApplication> host_{new HostApplication};
  Ref<ComponentHandler> handler_{new ComponentHandler};
  Ref<IComponent> component_;
  Ref<IAudioProcessor> processor_;
  Ref<IEditController> controller_;
  Ref<ConnectionProxy> toController_, toComponent_;
  Ref<EventList> events_{new EventList};
  Ref<ParameterChanges> input_{new ParameterChanges}, output_{new ParameterChanges};
  bool active_ = false;
};

// UTF-16 host text as std::string (ASCII).
std::string narrow(const TChar* text);

}  // namespace vst3host
