// The component: buses, processing set-up, state, and process() turning VST 3's events and
// parameter queues into the instrument core's input at their sample offsets.
#include <cmath>
#include <cstring>

#include "Vst3Plugin.h"

using namespace vst3;

namespace velavst3 {
namespace {

constexpr size_t kStateLimit = 1 << 20;  // far above any bank form; more is not ours

bool isAudioOut(int32_t type, int32_t direction, int32_t index) {
  return type == kAudio && direction == kOutput && index == 0;
}
bool isEventIn(int32_t type, int32_t direction, int32_t index) {
  return type == kEvent && direction == kInput && index == 0;
}

// A normalized value as a MIDI data value of `steps` (127 or 16383), ties to even.
int32_t midiValue(double normalized, int32_t steps) {
  const double v = std::nearbyint(normalized * steps);
  return v > 0.0 ? (v < steps ? static_cast<int32_t>(v) : steps) : 0;
}

bool readAll(IBStream* stream, uint8_t* to, int32_t bytes) {
  while (bytes > 0) {
    int32_t got = 0;
    if (stream->read(to, bytes, &got) != kResultOk || got <= 0 || got > bytes) return false;
    to += got;
    bytes -= got;
  }
  return true;
}

}  // namespace

int32_t programOf(double normalized) { return midiValue(normalized, kLastProgram); }

namespace {

constexpr size_t kHeader = 16;  // every checked form: magic, version, identifier, whole length

// Appends one checked form whose header `bytes` already ends with, reading the rest its header
// declares (at most `limit` in all).
bool readRestOfForm(IBStream* stream, std::vector<uint8_t>& bytes, size_t limit) {
  const uint8_t* header = bytes.data() + bytes.size() - kHeader;
  const uint32_t total = header[12] | header[13] << 8 | header[14] << 16 |
                         static_cast<uint32_t>(header[15]) << 24;
  if (total < kHeader || total > limit) return false;
  const size_t start = bytes.size();
  bytes.resize(start + total - kHeader);
  return readAll(stream, bytes.data() + start, static_cast<int32_t>(total - kHeader));
}

bool readBankBytes(IBStream* stream, std::vector<uint8_t>& bytes) {
  bytes.resize(kHeader);
  return stream != nullptr && readAll(stream, bytes.data(), kHeader) &&
         readRestOfForm(stream, bytes, kStateLimit);
}

}  // namespace

bool readBank(IBStream* stream, BankImage& image) {
  std::vector<uint8_t> bytes;
  return readBankBytes(stream, bytes) && decodeBank(bytes.data(), bytes.size(), image);
}

bool readState(IBStream* stream, std::vector<uint8_t>& bytes) {
  if (!readBankBytes(stream, bytes)) return false;
  // A tuning follows when the next form is one; the stream may also simply end, or go on with
  // the host's own data, which is left where it was.
  uint8_t next[kHeader];
  int32_t got = 0;
  while (got < static_cast<int32_t>(kHeader)) {
    int32_t n = 0;
    if (stream->read(next + got, static_cast<int32_t>(kHeader) - got, &n) != kResultOk || n <= 0 ||
        n > static_cast<int32_t>(kHeader) - got)
      break;
    got += n;
  }
  if (got == static_cast<int32_t>(kHeader) && std::memcmp(next, "VOTN", 4) == 0) {
    bytes.insert(bytes.end(), next, next + kHeader);
    return readRestOfForm(stream, bytes, kStateLimit);
  }
  if (got > 0) stream->seek(-got, kIBSeekCur, nullptr);
  return true;
}

bool writeBytes(IBStream* stream, const std::vector<uint8_t>& bytes) {
  if (stream == nullptr) return false;
  const uint8_t* at = bytes.data();
  auto left = static_cast<int32_t>(bytes.size());
  while (left > 0) {
    int32_t written = 0;
    if (stream->write(const_cast<uint8_t*>(at), left, &written) != kResultOk || written <= 0 ||
        written > left)
      return false;
    at += written;
    left -= written;
  }
  return true;
}

tresult Processor::queryInterface(TUIDPtr interfaceId, void** obj) {
  if (obj == nullptr) return kInvalidArgument;
  auto* component = static_cast<IComponent*>(this);
  if (offer<FUnknown>(interfaceId, obj, component) || offer<IPluginBase>(interfaceId, obj, component) ||
      offer<IComponent>(interfaceId, obj, component) ||
      offer<IAudioProcessor>(interfaceId, obj, static_cast<IAudioProcessor*>(this)) ||
      offer<IConnectionPoint>(interfaceId, obj, static_cast<IConnectionPoint*>(this)))
    return kResultOk;
  return noInterface(obj);
}

uint32_t Processor::release() {
  const uint32_t left = refs.drop();
  if (left == 0) delete this;
  return left;
}

tresult Processor::initialize(FUnknown* context) {
  hostContext.reset(context);
  return kResultOk;
}

tresult Processor::terminate() {
  peer.reset();
  hostContext.reset();
  return kResultOk;
}

tresult Processor::getControllerClassId(char* classId) {
  if (classId == nullptr) return kInvalidArgument;
  std::memcpy(classId, kControllerCid.bytes, sizeof kControllerCid.bytes);
  return kResultOk;
}

tresult Processor::setIoMode(int32_t) { return kResultOk; }

int32_t Processor::getBusCount(int32_t type, int32_t direction) {
  return isAudioOut(type, direction, 0) || isEventIn(type, direction, 0) ? 1 : 0;
}

tresult Processor::getBusInfo(int32_t type, int32_t direction, int32_t index, BusInfo* bus) {
  if (bus == nullptr) return kInvalidArgument;
  if (isAudioOut(type, direction, index)) {
    *bus = {kAudio, kOutput, 2, {}, kMain, kDefaultActive};
    copyText16(bus->name, "Output", std::size(bus->name));
  } else if (isEventIn(type, direction, index)) {
    *bus = {kEvent, kInput, 16, {}, kMain, kDefaultActive};  // the 16 MIDI channels
    copyText16(bus->name, "MIDI In", std::size(bus->name));
  } else {
    return kInvalidArgument;
  }
  return kResultOk;
}

tresult Processor::getRoutingInfo(RoutingInfo*, RoutingInfo*) { return kNotImplemented; }

tresult Processor::activateBus(int32_t type, int32_t direction, int32_t index, TBool) {
  // Both buses are always live; deactivating one changes nothing we render.
  return isAudioOut(type, direction, index) || isEventIn(type, direction, index) ? kResultOk
                                                                                  : kInvalidArgument;
}

tresult Processor::setActive(TBool) { return kResultOk; }

tresult Processor::setState(IBStream* state) {
  // The bank and the tuning together or neither; a state saved without a tuning brings back the
  // instrument's own.
  std::vector<uint8_t> bytes;
  if (!readState(state, bytes) || !instrument.restoreState(bytes.data(), bytes.size()))
    return kResultFalse;
  sendBank(instrument.bank().bankImage());
  return kResultOk;
}

tresult Processor::getState(IBStream* state) {
  return writeBytes(state, instrument.saveState()) ? kResultOk : kResultFalse;
}

void Processor::sendBank(const BankImage& image) {
  IHostApplication* host = queryAs<IHostApplication>(hostContext.get());
  if (host == nullptr || !peer) {
    if (host != nullptr) host->release();
    return;
  }
  Uid messageIid = IMessage::iid;
  void* created = nullptr;
  if (host->createInstance(messageIid.bytes, messageIid.bytes, &created) == kResultOk &&
      created != nullptr) {
    auto* message = static_cast<IMessage*>(created);
    message->setMessageID(kBankMessage);
    const std::vector<uint8_t> bytes = encodeBank(image);
    if (IAttributeList* attributes = message->getAttributes(); attributes != nullptr) {
      attributes->setBinary(kBankAttribute, bytes.data(), static_cast<uint32_t>(bytes.size()));
      peer->notify(message);
    }
    message->release();
  }
  host->release();
}

tresult Processor::setBusArrangements(SpeakerArrangement*, int32_t numIns,
                                      SpeakerArrangement* outputs, int32_t numOuts) {
  // Stereo out and nothing in, the one shape there is.
  return numIns == 0 && numOuts == 1 && outputs != nullptr && outputs[0] == kStereo ? kResultOk
                                                                                    : kResultFalse;
}

tresult Processor::getBusArrangement(int32_t direction, int32_t index,
                                     SpeakerArrangement* arrangement) {
  if (arrangement == nullptr || direction != kOutput || index != 0) return kInvalidArgument;
  *arrangement = kStereo;
  return kResultOk;
}

tresult Processor::canProcessSampleSize(int32_t symbolicSampleSize) {
  return symbolicSampleSize == kSample32 ? kResultOk : kResultFalse;
}

tresult Processor::setupProcessing(ProcessSetup* setup) {
  if (setup == nullptr) return kInvalidArgument;
  if (setup->symbolicSampleSize != kSample32) return kResultFalse;
  return instrument.setSampleRate(static_cast<float>(setup->sampleRate)) ? kResultOk : kResultFalse;
}

tresult Processor::setProcessing(TBool) { return kResultOk; }

uint32_t Processor::getTailSamples() {
  // The longest release a note-off starts: "R" as the engine maps it, round(R^2 * rate) + 10.
  const double r = instrument.bank().getParameter(kR);
  return static_cast<uint32_t>(std::nearbyint(r * r * instrument.getSampleRate())) + 10;
}

bool Processor::readParameters(IParameterChanges* changes) {
  if (changes == nullptr) return false;
  bool programChanged = false;
  const int32_t count = changes->getParameterCount();
  for (int32_t q = 0; q < count; ++q) {
    IParamValueQueue* queue = changes->getParameterData(q);
    if (queue == nullptr) continue;
    const ParamID id = queue->getParameterId();
    const int32_t points = queue->getPointCount();
    for (int32_t p = 0; p < points; ++p) {
      int32_t offset = 0;
      ParamValue value = 0.0;
      if (queue->getPoint(p, &offset, &value) != kResultOk) continue;
      if (id < static_cast<ParamID>(kNumParams)) {
        instrument.queueParameter(offset, static_cast<int32_t>(id), static_cast<float>(value));
      } else if (id == kProgramId) {
        // A program change acts from the block's start, before the block's other changes.
        if (p + 1 < points) continue;
        const int32_t program = programOf(value);
        programChanged = programChanged || program != instrument.bank().getProgram();
        instrument.bank().setProgram(program);
      } else if (id == kPitchBendId) {
        const int32_t bend = midiValue(value, 16383);
        instrument.queueMidi(offset, 0xE0, static_cast<uint8_t>(bend & 0x7F),
                             static_cast<uint8_t>(bend >> 7));
      } else {
        for (const MidiParameter& m : kMidiParameters)
          if (m.id == id)
            instrument.queueMidi(offset, 0xB0, static_cast<uint8_t>(m.controller),
                                 static_cast<uint8_t>(midiValue(value, 127)));
      }
    }
  }
  return programChanged;
}

void Processor::readEvents(IEventList* events) {
  if (events == nullptr) return;
  const int32_t count = events->getEventCount();
  for (int32_t i = 0; i < count; ++i) {
    Event e{};
    if (events->getEvent(i, &e) != kResultOk || e.busIndex != 0) continue;
    if (e.type == kNoteOnEvent) {
      if (e.noteOn.pitch < 0 || e.noteOn.pitch > 127) continue;
      const auto pitch = static_cast<uint8_t>(e.noteOn.pitch);
      const double velocity = e.noteOn.velocity;
      // Velocity 0 is a note-off (hosts pass MIDI's velocity 0 through); any other plays at
      // v × 127 rounded, at least 1.
      if (!(velocity > 0.0)) {
        instrument.queueMidi(e.sampleOffset, 0x80, pitch, 0);
      } else {
        const int32_t v = midiValue(velocity, 127);
        instrument.queueMidi(e.sampleOffset, 0x90, pitch, static_cast<uint8_t>(v < 1 ? 1 : v));
      }
    } else if (e.type == kNoteOffEvent) {
      if (e.noteOff.pitch < 0 || e.noteOff.pitch > 127) continue;
      instrument.queueMidi(e.sampleOffset, 0x80, static_cast<uint8_t>(e.noteOff.pitch), 0);
    }
  }
}

void Processor::reportProgram(IParameterChanges* out) {
  // The host learns the new program's values as changes made by the plug-in.
  if (out == nullptr) return;
  const auto report = [out](ParamID id, double value) {
    int32_t index = 0;
    if (IParamValueQueue* queue = out->addParameterData(&id, &index); queue != nullptr)
      queue->addPoint(0, value, &index);
  };
  const ProgramBank& bank = instrument.bank();
  report(kProgramId, normalizedProgram(bank.getProgram()));
  for (int32_t i = 0; i < kNumParams; ++i)
    report(static_cast<ParamID>(i), static_cast<double>(bank.getParameter(i)));
}

tresult Processor::process(ProcessData* data) {
  if (data == nullptr) return kInvalidArgument;
  if (data->symbolicSampleSize != kSample32) return kResultFalse;
  const bool programChanged = readParameters(data->inputParameterChanges);
  readEvents(data->inputEvents);
  float* left = nullptr;
  float* right = nullptr;
  if (data->numOutputs > 0 && data->outputs != nullptr) {
    AudioBusBuffers& bus = data->outputs[0];
    if (bus.numChannels >= 2 && bus.channelBuffers32 != nullptr) {
      left = bus.channelBuffers32[0];
      right = bus.channelBuffers32[1];
    }
    bus.silenceFlags = 0;
  }
  const int32_t frames = data->numSamples;
  // No frames (a flush of parameters): the changes are made and the notes wait for the next
  // block. Frames without buffers: the changes are made and the notes dropped.
  instrument.processReplacing(left, right, frames);
  if (frames > 0 && (left == nullptr || right == nullptr)) instrument.clearEvents();
  if (programChanged) reportProgram(data->outputParameterChanges);
  return kResultOk;
}

tresult Processor::connect(IConnectionPoint* other) {
  if (other == nullptr) return kInvalidArgument;
  peer.reset(other);
  return kResultOk;
}

tresult Processor::disconnect(IConnectionPoint* other) {
  if (other == nullptr || other != peer.get()) return kInvalidArgument;
  peer.reset();
  return kResultOk;
}

tresult Processor::notify(IMessage*) { return kResultFalse; }

}  // namespace velavst3
