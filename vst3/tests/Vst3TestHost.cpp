#include "Vst3TestHost.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <tuple>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <poll.h>
#endif

namespace vst3host {

std::string bundleBinaryPath() {
#if defined(_WIN32)
  return "Z:" VELA_VST3_BINARY;  // the build tree through Wine's drive for the Unix root
#else
  return VELA_VST3_BINARY;
#endif
}

std::string narrow(const TChar* text) {
  std::string out;
  for (; text != nullptr && *text != 0; ++text) out.push_back(static_cast<char>(*text));
  return out;
}

// ---- Module ---------------------------------------------------------------------------------

Module::Module(const std::string& path) {
#if defined(_WIN32)
  handle_ = LoadLibraryA(path.c_str());
  if (handle_ == nullptr) {
    error_ = "cannot load " + path;
    return;
  }
  using Enter = bool (*)();
  if (auto init = reinterpret_cast<Enter>(symbol("InitDll")); init != nullptr && !init()) {
    error_ = "InitDll failed";
    return;
  }
#else
  handle_ = dlopen(path.c_str(), RTLD_LOCAL | RTLD_LAZY);  // as Ardour opens modules
  if (handle_ == nullptr) {
    error_ = dlerror();
    return;
  }
  using Enter = bool (*)(void*);
  auto enter = reinterpret_cast<Enter>(symbol("ModuleEntry"));
  if (enter == nullptr || symbol("ModuleExit") == nullptr) {
    error_ = "ModuleEntry or ModuleExit missing";
    return;
  }
  if (!enter(handle_)) {
    error_ = "ModuleEntry failed";
    return;
  }
#endif
  using GetFactory = IPluginFactory* (*)();
  auto get = reinterpret_cast<GetFactory>(symbol("GetPluginFactory"));
  factory_ = get != nullptr ? get() : nullptr;
  if (factory_ == nullptr) error_ = "no factory";
}

void* Module::symbol(const char* name) const {
#if defined(_WIN32)
  return handle_ != nullptr
             ? reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name))
             : nullptr;
#else
  return handle_ != nullptr ? dlsym(handle_, name) : nullptr;
#endif
}

Module::~Module() {
  if (factory_ != nullptr) factory_->release();
  if (handle_ == nullptr) return;
#if defined(_WIN32)
  using Exit = bool (*)();
  if (auto exit = reinterpret_cast<Exit>(symbol("ExitDll")); exit != nullptr) exit();
  FreeLibrary(static_cast<HMODULE>(handle_));
#else
  using Exit = bool (*)();
  if (auto exit = reinterpret_cast<Exit>(symbol("ModuleExit")); exit != nullptr) exit();
  dlclose(handle_);
#endif
}

Module& module() {
  static Module loaded;
  return loaded;
}

// ---- Streams, events, parameter queues ------------------------------------------------------

MemoryStream::MemoryStream(std::vector<uint8_t> bytes, size_t prefix)
    : bytes_(std::move(bytes)), prefix_(prefix), position_(prefix) {
  bytes_.insert(bytes_.begin(), prefix, uint8_t{0xEE});
}

tresult MemoryStream::read(void* buffer, int32_t bytes, int32_t* bytesRead) {
  if (buffer == nullptr || bytes < 0) return kInvalidArgument;
  const size_t n = std::min(static_cast<size_t>(bytes), bytes_.size() - position_);
  std::memcpy(buffer, bytes_.data() + position_, n);
  position_ += n;
  if (bytesRead != nullptr) *bytesRead = static_cast<int32_t>(n);
  return kResultOk;  // short reads answer 0 too, as Ardour's streams do
}

tresult MemoryStream::write(void* buffer, int32_t bytes, int32_t* bytesWritten) {
  if (buffer == nullptr || bytes < 0) return kInvalidArgument;
  const auto* from = static_cast<const uint8_t*>(buffer);
  if (bytes_.size() < position_ + static_cast<size_t>(bytes)) bytes_.resize(position_ + static_cast<size_t>(bytes));
  std::copy(from, from + bytes, bytes_.begin() + static_cast<std::ptrdiff_t>(position_));
  position_ += static_cast<size_t>(bytes);
  if (bytesWritten != nullptr) *bytesWritten = bytes;
  return kResultOk;
}

tresult MemoryStream::seek(int64_t position, int32_t mode, int64_t* result) {
  int64_t base = mode == kIBSeekSet ? 0 : mode == kIBSeekCur ? static_cast<int64_t>(position_)
                                                             : static_cast<int64_t>(bytes_.size());
  const int64_t to = base + position;
  if (to < 0 || to > static_cast<int64_t>(bytes_.size())) return kInvalidArgument;
  position_ = static_cast<size_t>(to);
  if (result != nullptr) *result = to;
  return kResultOk;
}

tresult MemoryStream::tell(int64_t* position) {
  if (position == nullptr) return kInvalidArgument;
  *position = static_cast<int64_t>(position_);
  return kResultOk;
}

std::vector<uint8_t> MemoryStream::data() const {
  return {bytes_.begin() + static_cast<std::ptrdiff_t>(prefix_), bytes_.end()};
}

tresult EventList::getEvent(int32_t index, Event* event) {
  if (event == nullptr || index < 0 || index >= getEventCount()) return kInvalidArgument;
  *event = events_[static_cast<size_t>(index)];
  return kResultOk;
}

tresult EventList::addEvent(Event* event) {
  if (event == nullptr) return kInvalidArgument;
  events_.push_back(*event);
  return kResultOk;
}

void EventList::noteOn(int32_t offset, int16_t pitch, float velocity, int16_t channel) {
  Event e{};
  e.sampleOffset = offset;
  e.type = kNoteOnEvent;
  e.noteOn = {channel, pitch, 0.0f, velocity, 0, -1};
  events_.push_back(e);
}

void EventList::noteOff(int32_t offset, int16_t pitch, float velocity, int16_t channel) {
  Event e{};
  e.sampleOffset = offset;
  e.type = kNoteOffEvent;
  e.noteOff = {channel, pitch, velocity, -1, 0.0f};
  events_.push_back(e);
}

tresult ParamQueue::getPoint(int32_t index, int32_t* sampleOffset, ParamValue* value) {
  if (sampleOffset == nullptr || value == nullptr || index < 0 || index >= getPointCount())
    return kInvalidArgument;
  std::tie(*sampleOffset, *value) = points_[static_cast<size_t>(index)];
  return kResultOk;
}

tresult ParamQueue::addPoint(int32_t sampleOffset, ParamValue value, int32_t* index) {
  auto at = std::lower_bound(points_.begin(), points_.end(), sampleOffset,
                             [](const auto& p, int32_t offset) { return p.first < offset; });
  if (at != points_.end() && at->first == sampleOffset)
    at->second = value;
  else
    at = points_.insert(at, {sampleOffset, value});
  if (index != nullptr) *index = static_cast<int32_t>(at - points_.begin());
  return kResultOk;
}

ParameterChanges::ParameterChanges() {
  for (int i = 0; i < 64; ++i) queues_.push_back(new ParamQueue);
}

ParameterChanges::~ParameterChanges() {
  for (ParamQueue* q : queues_) q->release();
}

IParamValueQueue* ParameterChanges::getParameterData(int32_t index) {
  return index >= 0 && index < count_ ? queues_[static_cast<size_t>(index)] : nullptr;
}

IParamValueQueue* ParameterChanges::addParameterData(const ParamID* id, int32_t* index) {
  if (id == nullptr) return nullptr;
  for (int32_t i = 0; i < count_; ++i)
    if (queues_[static_cast<size_t>(i)]->getParameterId() == *id) {
      if (index != nullptr) *index = i;
      return queues_[static_cast<size_t>(i)];
    }
  if (count_ == static_cast<int32_t>(queues_.size())) return nullptr;
  queues_[static_cast<size_t>(count_)]->reset(*id);
  if (index != nullptr) *index = count_;
  return queues_[static_cast<size_t>(count_++)];
}

void ParameterChanges::add(ParamID id, int32_t offset, ParamValue value) {
  if (IParamValueQueue* q = addParameterData(&id, nullptr)) q->addPoint(offset, value, nullptr);
}

bool ParameterChanges::last(ParamID id, ParamValue* value) const {
  for (int32_t i = 0; i < count_; ++i) {
    const ParamQueue* q = queues_[static_cast<size_t>(i)];
    if (q->points().empty() || const_cast<ParamQueue*>(q)->getParameterId() != id) continue;
    *value = q->points().back().second;
    return true;
  }
  return false;
}

// ---- Messages -------------------------------------------------------------------------------

tresult AttributeList::setBinary(FIDString id, const void* data, uint32_t bytes) {
  if (id == nullptr || (data == nullptr && bytes > 0)) return kInvalidArgument;
  const auto* from = static_cast<const uint8_t*>(data);
  binaries_.emplace_back(id, std::vector<uint8_t>(from, from + bytes));
  return kResultOk;
}

tresult AttributeList::getBinary(FIDString id, const void** data, uint32_t* bytes) {
  if (id == nullptr || data == nullptr || bytes == nullptr) return kInvalidArgument;
  for (auto it = binaries_.rbegin(); it != binaries_.rend(); ++it)
    if (it->first == id) {
      *data = it->second.data();
      *bytes = static_cast<uint32_t>(it->second.size());
      return kResultOk;
    }
  return kResultFalse;
}

tresult HostApplication::getName(TChar* name) {
  copyText16(name, "VelaOrin test host", 128);
  return kResultOk;
}

tresult HostApplication::createInstance(char* cid, char* interfaceId, void** obj) {
  if (obj == nullptr) return kInvalidArgument;
  *obj = nullptr;
  FUnknown* made = nullptr;
  if (sameUid(cid, IMessage::iid)) {
    made = static_cast<IMessage*>(new Message);
    ++messagesCreated;
  } else if (sameUid(cid, IAttributeList::iid)) {
    made = static_cast<IAttributeList*>(new AttributeList);
  } else {
    return kResultFalse;  // Ardour's answer to what it does not make
  }
  const tresult result = made->queryInterface(interfaceId, obj);
  made->release();
  return result;
}

tresult ConnectionProxy::notify(IMessage* message) {
  ++forwarded;
  return target_->notify(message);
}

// ---- Component handler, frame, run loop -----------------------------------------------------

namespace {
std::string number(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.9g", v);
  return text;
}
#if !defined(_WIN32)
int64_t nowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}
#endif
}  // namespace

tresult ComponentHandler::beginEdit(ParamID id) {
  edits += "begin " + std::to_string(id) + "; ";
  return kResultOk;
}
tresult ComponentHandler::performEdit(ParamID id, ParamValue value) {
  edits += "perform " + std::to_string(id) + " " + number(value) + "; ";
  return kResultOk;
}
tresult ComponentHandler::endEdit(ParamID id) {
  edits += "end " + std::to_string(id) + "; ";
  return kResultOk;
}
tresult ComponentHandler::restartComponent(int32_t flags) {
  restarts.push_back(flags);
  return kResultOk;
}
tresult ComponentHandler::resizeView(IPlugView* view, ViewRect* size) {
  ++resizes;
  return view != nullptr ? view->onSize(size) : kInvalidArgument;
}

#if !defined(_WIN32)
tresult ComponentHandler::registerEventHandler(IEventHandler* handler, int fd) {
  // Ardour's rule: one handler per descriptor, over all instances.
  if (handler == nullptr || fd < 0) return kInvalidArgument;
  for (const auto& entry : fds_)
    if (entry.second == fd) return kInvalidArgument;
  fds_.emplace_back(handler, fd);
  return kResultOk;
}
tresult ComponentHandler::unregisterEventHandler(IEventHandler* handler) {
  const size_t before = fds_.size();
  std::erase_if(fds_, [&](const auto& entry) { return entry.first == handler; });
  return fds_.size() < before ? kResultOk : kInvalidArgument;
}
tresult ComponentHandler::registerTimer(ITimerHandler* handler, uint64_t milliseconds) {
  if (handler == nullptr || milliseconds == 0) return kInvalidArgument;
  timers_.push_back({handler, milliseconds, nowMs()});
  return kResultOk;
}
tresult ComponentHandler::unregisterTimer(ITimerHandler* handler) {
  const size_t before = timers_.size();
  std::erase_if(timers_, [&](const Timer& t) { return t.handler == handler; });
  return timers_.size() < before ? kResultOk : kInvalidArgument;
}
void ComponentHandler::pump(int ms) {
  std::vector<pollfd> polled;
  for (const auto& entry : fds_) polled.push_back({entry.second, POLLIN, 0});
  if (poll(polled.data(), polled.size(), ms) > 0)
    for (size_t i = 0; i < polled.size(); ++i)
      // A handler may unregister itself or another: look it up again.
      if ((polled[i].revents & POLLIN) != 0)
        for (const auto& entry : std::vector(fds_))
          if (entry.second == polled[i].fd) entry.first->onFDIsSet(entry.second);
  const int64_t now = nowMs();
  for (const Timer& t : std::vector(timers_))
    if (now - t.lastRun >= static_cast<int64_t>(t.ms)) {
      for (Timer& live : timers_)
        if (live.handler == t.handler) live.lastRun = now;
      t.handler->onTimer();
    }
}
#endif

// ---- Synth ----------------------------------------------------------------------------------

bool Synth::fail(const std::string& what) {
  error_ = what;
  return false;
}

Synth::Synth(double rate, int32_t maxBlock, Module& from) {
  ok_ = [&] {
    if (!from.ok()) return fail("module: " + from.error());
    IPluginFactory* factory = from.factory();
    // The component: the first class of the audio module category.
    PClassInfo info{};
    int32_t n = 0;
    for (; n < factory->countClasses(); ++n)
      if (factory->getClassInfo(n, &info) == kResultOk &&
          std::strcmp(info.category, kAudioEffectClass) == 0)
        break;
    if (n == factory->countClasses()) return fail("no audio module class");
    void* made = nullptr;
    if (factory->createInstance(info.cid, IComponent::iid.bytes, &made) != kResultOk)
      return fail("createInstance(component)");
    component_ = Ref<IComponent>(static_cast<IComponent*>(made));
    if (component_->initialize(static_cast<IHostApplication*>(host_.get())) != kResultOk)
      return fail("component initialize");
    // A controller on the component itself, or the class it names.
    controller_ = query<IEditController>(component_.get());
    if (!controller_) {
      char cid[16] = {};
      if (component_->getControllerClassId(cid) != kResultOk) return fail("getControllerClassId");
      if (factory->createInstance(cid, IEditController::iid.bytes, &made) != kResultOk)
        return fail("createInstance(controller)");
      controller_ = Ref<IEditController>(static_cast<IEditController*>(made));
    }
    if (controller_->initialize(static_cast<IHostApplication*>(host_.get())) != kResultOk)
      return fail("controller initialize");
    if (controller_->setComponentHandler(static_cast<IComponentHandler*>(handler_.get())) != kResultOk)
      return fail("setComponentHandler");
    processor_ = query<IAudioProcessor>(component_.get());
    if (!processor_) return fail("no IAudioProcessor");
    Ref<IConnectionPoint> a = query<IConnectionPoint>(component_.get());
    Ref<IConnectionPoint> b = query<IConnectionPoint>(controller_.get());
    if (a && b) {
      toController_ = Ref<ConnectionProxy>(new ConnectionProxy(b.get()));
      toComponent_ = Ref<ConnectionProxy>(new ConnectionProxy(a.get()));
      if (a->connect(toController_.get()) != kResultOk || b->connect(toComponent_.get()) != kResultOk)
        return fail("connect");
    }
    Ref<MemoryStream> state(new MemoryStream({}, 48));
    if (component_->getState(state.get()) != kResultOk) return fail("getState");
    Ref<MemoryStream> copy(new MemoryStream(state->data(), 64));
    if (controller_->setComponentState(copy.get()) != kResultOk) return fail("setComponentState");
    if (component_->activateBus(kEvent, kInput, 0, 1) != kResultOk) return fail("activateBus(event)");
    ProcessSetup setup{kRealtime, kSample32, maxBlock, rate};
    if (processor_->setupProcessing(&setup) != kResultOk) return fail("setupProcessing");
    if (component_->activateBus(kAudio, kOutput, 0, 1) != kResultOk) return fail("activateBus(audio)");
    SpeakerArrangement none = 0, stereo = kStereo;
    if (processor_->setBusArrangements(&none, 0, &stereo, 1) != kResultOk)
      return fail("setBusArrangements");
    if (component_->setActive(1) != kResultOk || processor_->setProcessing(1) != kResultOk)
      return fail("setActive/setProcessing");
    active_ = true;
    return true;
  }();
}

void Synth::teardown() {
  if (active_) {
    component_->activateBus(kEvent, kInput, 0, 0);
    processor_->setProcessing(0);
    component_->setActive(0);
    active_ = false;
  }
  if (toController_) {
    Ref<IConnectionPoint> a = query<IConnectionPoint>(component_.get());
    Ref<IConnectionPoint> b = query<IConnectionPoint>(controller_.get());
    a->disconnect(toController_.get());
    b->disconnect(toComponent_.get());
  }
  if (controller_) {
    controller_->setComponentHandler(nullptr);
    controller_->terminate();
  }
  if (component_) component_->terminate();
  processor_.reset();
  controller_.reset();
  component_.reset();
}

Synth::~Synth() { teardown(); }

tresult Synth::render(float* left, float* right, int32_t frames) {
  float* channels[2] = {left, right};
  AudioBusBuffers out{};
  out.numChannels = 2;
  out.channelBuffers32 = channels;
  output_->clear();
  ProcessContext context{};
  context.sampleRate = 44100.0;
  ProcessData data{kRealtime, kSample32, frames, 0, 1, nullptr, &out, input_.get(), output_.get(),
                   events_.get(), nullptr, &context};
  const tresult result = processor_->process(&data);
  events_->clear();
  input_->clear();
  return result;
}

std::vector<uint8_t> Synth::componentState() {
  Ref<MemoryStream> stream(new MemoryStream({}, 48));
  if (component_->getState(stream.get()) != kResultOk) return {};
  return stream->data();
}

tresult Synth::setComponentState(const std::vector<uint8_t>& bytes) {
  Ref<MemoryStream> forComponent(new MemoryStream(bytes, 48));
  const tresult result = component_->setState(forComponent.get());
  Ref<MemoryStream> forController(new MemoryStream(bytes, 48));
  const tresult controllerResult = controller_->setComponentState(forController.get());
  return result != kResultOk ? result : controllerResult;
}

void Synth::selectProgram(int32_t program) {
  // The parameter flagged as the program change, program i at i / stepCount.
  for (int32_t i = 0; i < controller_->getParameterCount(); ++i) {
    ParameterInfo info{};
    if (controller_->getParameterInfo(i, &info) != kResultOk || (info.flags & kIsProgramChange) == 0)
      continue;
    const double value = program / static_cast<double>(info.stepCount);
    input_->add(info.id, 0, value);
    controller_->setParamNormalized(info.id, value);
    return;
  }
}

}  // namespace vst3host
