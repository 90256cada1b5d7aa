// The edit controller: the parameters and their texts, the program list, the MIDI mapping, its
// copy of the bank (from the component's state), and the panel's edits to the host.
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "DVstUtils.h"
#include "Vst3Plugin.h"

using namespace vst3;

namespace velavst3 {
namespace {

bool isInstrumentParameter(ParamID id) { return id < static_cast<ParamID>(kNumParams); }

const MidiParameter* midiParameter(ParamID id) {
  for (const MidiParameter& m : kMidiParameters)
    if (m.id == id) return &m;
  return nullptr;
}

std::string narrow(const TChar* text) {
  std::string out;
  for (; text != nullptr && *text != 0 && out.size() < 128; ++text)
    out.push_back(*text < 128 ? static_cast<char>(*text) : '?');
  return out;
}

}  // namespace

Controller::Controller() = default;

tresult Controller::queryInterface(TUIDPtr interfaceId, void** obj) {
  if (obj == nullptr) return kInvalidArgument;
  auto* editController = static_cast<IEditController*>(this);
  if (offer<FUnknown>(interfaceId, obj, editController) || offer<IPluginBase>(interfaceId, obj, editController) ||
      offer<IEditController>(interfaceId, obj, editController) ||
      offer<IMidiMapping>(interfaceId, obj, static_cast<IMidiMapping*>(this)) ||
      offer<IUnitInfo>(interfaceId, obj, static_cast<IUnitInfo*>(this)) ||
      offer<IConnectionPoint>(interfaceId, obj, static_cast<IConnectionPoint*>(this)))
    return kResultOk;
  return noInterface(obj);
}

uint32_t Controller::release() {
  const uint32_t left = refs.drop();
  if (left == 0) delete this;
  return left;
}

tresult Controller::initialize(FUnknown* context) {
  hostContext.reset(context);
  return kResultOk;
}

tresult Controller::terminate() {
  handler.reset();
  peer.reset();
  hostContext.reset();
  return kResultOk;
}

void Controller::restore(const BankImage& image) {
  bank.restoreBank(image);
  pendingRestart.fetch_or(kParamValuesChanged, std::memory_order_relaxed);
}

tresult Controller::setComponentState(IBStream* state) {
  BankImage image{};
  if (!readBank(state, image)) return kResultFalse;
  restore(image);
  return kResultOk;
}

// The controller keeps nothing of its own: everything is in the component's state.
tresult Controller::setState(IBStream*) { return kResultOk; }
tresult Controller::getState(IBStream*) { return kResultOk; }

tresult Controller::getParameterInfo(int32_t index, vst3::ParameterInfo* info) {
  if (info == nullptr || index < 0 || index >= kParameterCount) return kInvalidArgument;
  *info = vst3::ParameterInfo{};
  info->unitId = kRootUnitId;
  if (index < kNumParams) {
    const ::ParameterInfo& p = kParameters[index];
    info->id = static_cast<ParamID>(index);
    copyText16(info->title, p.name, std::size(info->title));
    copyText16(info->shortTitle, p.name, std::size(info->shortTitle));
    copyText16(info->units, kParameterLabel, std::size(info->units));
    info->defaultNormalizedValue = p.initial;
    info->flags = kCanAutomate;
  } else if (index == kNumParams) {
    info->id = kProgramId;
    copyText16(info->title, "Program", std::size(info->title));
    copyText16(info->shortTitle, "Program", std::size(info->shortTitle));
    info->stepCount = kLastProgram;
    info->flags = kIsProgramChange | kIsList;
  } else {
    const MidiParameter& m = kMidiParameters[index - kNumParams - 1];
    info->id = m.id;
    copyText16(info->title, m.title, std::size(info->title));
    copyText16(info->shortTitle, m.title, std::size(info->shortTitle));
    info->stepCount = m.stepCount;
    info->defaultNormalizedValue = m.defaultValue;
    info->flags = kIsHidden;
  }
  return kResultOk;
}

tresult Controller::getParamStringByValue(ParamID id, ParamValue normalized, TChar* text) {
  if (text == nullptr) return kInvalidArgument;
  char out[kFixedTextMax] = {};
  if (isInstrumentParameter(id)) {
    floatToFixedText(static_cast<float>(normalized), out);  // as VST 2 shows the value
  } else if (id == kProgramId) {
    if (!bank.getProgramNameIndexed(programOf(normalized), out, sizeof out)) return kResultFalse;
  } else if (const MidiParameter* m = midiParameter(id)) {
    std::snprintf(out, sizeof out, "%d",
                  static_cast<int>(std::nearbyint(normalizedParamToPlain(m->id, normalized))));
  } else {
    return kInvalidArgument;
  }
  copyText16(text, out, 128);
  return kResultOk;
}

tresult Controller::getParamValueByString(ParamID id, TChar* text, ParamValue* normalized) {
  if (text == nullptr || normalized == nullptr) return kInvalidArgument;
  std::string s = narrow(text);
  if (id == kProgramId) {
    char name[kProgramNameBytes];
    for (int32_t n = 0; n <= kLastProgram; ++n)
      if (bank.getProgramNameIndexed(n, name, sizeof name) && s == name) {
        *normalized = normalizedProgram(n);
        return kResultOk;
      }
  }
  // A number, with a point or the regional separator.
  for (char& c : s)
    if (c == decimalSeparator()) c = '.';
  const size_t start = s.find_first_not_of(' ');
  if (start == std::string::npos) return kResultFalse;
  double plain = 0.0;
  const auto [end, error] = std::from_chars(s.data() + start, s.data() + s.size(), plain);
  if (error != std::errc() || !std::isfinite(plain)) return kResultFalse;
  (void)end;
  if (!isInstrumentParameter(id) && id != kProgramId && midiParameter(id) == nullptr)
    return kInvalidArgument;
  *normalized = plainParamToNormalized(id, plain);
  return kResultOk;
}

ParamValue Controller::normalizedParamToPlain(ParamID id, ParamValue normalized) {
  if (id == kProgramId) return programOf(normalized);
  if (const MidiParameter* m = midiParameter(id)) return normalized * m->stepCount;
  return normalized;
}

ParamValue Controller::plainParamToNormalized(ParamID id, ParamValue plain) {
  if (id == kProgramId) return plain / kLastProgram;
  if (const MidiParameter* m = midiParameter(id)) return plain / m->stepCount;
  return plain;
}

ParamValue Controller::getParamNormalized(ParamID id) {
  if (isInstrumentParameter(id)) return bank.getParameter(static_cast<int32_t>(id));
  if (id == kProgramId) return normalizedProgram(bank.getProgram());
  if (const MidiParameter* m = midiParameter(id)) return midiValues[m - kMidiParameters];
  return 0.0;
}

tresult Controller::setParamNormalized(ParamID id, ParamValue value) {
  if (isInstrumentParameter(id)) {
    bank.setParameter(static_cast<int32_t>(id), static_cast<float>(value));
  } else if (id == kProgramId) {
    const int32_t program = programOf(value);
    if (program == bank.getProgram()) return kResultOk;
    bank.setProgram(program);
    pendingRestart.fetch_or(kParamValuesChanged, std::memory_order_relaxed);
  } else if (const MidiParameter* m = midiParameter(id)) {
    midiValues[m - kMidiParameters] = value;
  } else {
    return kInvalidArgument;
  }
  return kResultOk;
}

tresult Controller::setComponentHandler(IComponentHandler* newHandler) {
  handler.reset(newHandler);
  return kResultOk;
}

IPlugView* Controller::createView(FIDString name) {
  // Hosts may ask with no name at all.
  if (name == nullptr || std::strcmp(name, "editor") != 0) return nullptr;
  return new View(this);
}

void Controller::flushRestart() {
  const int32_t flags = pendingRestart.exchange(0, std::memory_order_relaxed);
  if (flags != 0 && handler) handler->restartComponent(flags);
}

tresult Controller::getMidiControllerAssignment(int32_t busIndex, int16_t channel,
                                                CtrlNumber controller, ParamID* id) {
  if (id == nullptr || busIndex != 0 || channel < 0 || channel > 15) return kResultFalse;
  for (const MidiParameter& m : kMidiParameters)
    if (m.controller == controller) {
      *id = m.id;
      return kResultOk;
    }
  return kResultFalse;
}

tresult Controller::getUnitInfo(int32_t index, UnitInfo* info) {
  if (info == nullptr || index != 0) return kInvalidArgument;
  *info = {kRootUnitId, kNoParentUnitId, {}, kProgramListId};
  copyText16(info->name, "Root", std::size(info->name));
  return kResultOk;
}

tresult Controller::getProgramListInfo(int32_t index, ProgramListInfo* info) {
  if (info == nullptr || index != 0) return kInvalidArgument;
  *info = {kProgramListId, {}, kNumPrograms};
  copyText16(info->name, "Programs", std::size(info->name));
  return kResultOk;
}

tresult Controller::getProgramName(ProgramListID list, int32_t program, TChar* name) {
  char text[kProgramNameBytes];
  if (list != kProgramListId || name == nullptr ||
      !bank.getProgramNameIndexed(program, text, sizeof text))
    return kInvalidArgument;
  copyText16(name, text, 128);
  return kResultOk;
}

tresult Controller::getProgramInfo(ProgramListID, int32_t, FIDString, TChar*) { return kResultFalse; }
tresult Controller::hasProgramPitchNames(ProgramListID, int32_t) { return kResultFalse; }
tresult Controller::getProgramPitchName(ProgramListID, int32_t, int16_t, TChar*) { return kResultFalse; }
tresult Controller::selectUnit(UnitID unit) { return unit == kRootUnitId ? kResultOk : kResultFalse; }

tresult Controller::getUnitByBus(int32_t, int32_t, int32_t, int32_t, UnitID* unit) {
  if (unit == nullptr) return kInvalidArgument;
  *unit = kRootUnitId;
  return kResultOk;
}

tresult Controller::setUnitProgramData(int32_t, int32_t, IBStream*) { return kNotImplemented; }

tresult Controller::connect(IConnectionPoint* other) {
  if (other == nullptr) return kInvalidArgument;
  peer.reset(other);
  return kResultOk;
}

tresult Controller::disconnect(IConnectionPoint* other) {
  if (other == nullptr || other != peer.get()) return kInvalidArgument;
  peer.reset();
  return kResultOk;
}

tresult Controller::notify(IMessage* message) {
  if (message == nullptr || message->getMessageID() == nullptr ||
      std::strcmp(message->getMessageID(), kBankMessage) != 0)
    return kResultFalse;
  IAttributeList* attributes = message->getAttributes();
  const void* data = nullptr;
  uint32_t size = 0;
  BankImage image{};
  if (attributes == nullptr || attributes->getBinary(kBankAttribute, &data, &size) != kResultOk ||
      !decodeBank(static_cast<const uint8_t*>(data), size, image))
    return kResultFalse;
  restore(image);
  return kResultOk;
}

float Controller::PanelLink::value(int32_t index) { return owner_.bank.getParameter(index); }

void Controller::PanelLink::automate(int32_t index, float value) {
  owner_.bank.setParameter(index, value);
  if (owner_.handler) owner_.handler->performEdit(static_cast<ParamID>(index), value);
}

void Controller::PanelLink::beginEdit(int32_t index) {
  if (owner_.handler) owner_.handler->beginEdit(static_cast<ParamID>(index));
}

void Controller::PanelLink::endEdit(int32_t index) {
  if (owner_.handler) owner_.handler->endEdit(static_cast<ParamID>(index));
}

}  // namespace velavst3
