// Our own declarations of the VST 3 interfaces VelaOrin and its test host use: scalar types,
// result codes, interface identifiers, records and the abstract classes whose vtables hosts call.
// Written from the interface facts we collected (types, slot orders, record layouts, identifier
// words); nothing here is copied from another declaration set.
//
// The rules that keep these binary-compatible: slots 0..2 of every interface are queryInterface,
// addRef and release; further methods follow in declaration order, derived interfaces append; no
// virtual destructors (they would add slots) and no overloaded virtual names. Records have their
// natural alignment, which gives the same offsets on x86-64 Linux and 64-bit Windows: every size
// and offset is checked below.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace vst3 {

using TBool = uint8_t;
using tresult = int32_t;
using ParamID = uint32_t;
using ParamValue = double;
using TSamples = int64_t;
using SpeakerArrangement = uint64_t;
using UnitID = int32_t;
using ProgramListID = int32_t;
using CtrlNumber = int16_t;
using TChar = char16_t;
using String128 = TChar[128];
using FIDString = const char*;
// A class or interface identifier: 16 bytes, passed by pointer.
using TUIDPtr = const char*;

#if defined(_WIN32)
// COM's values on Windows.
inline constexpr tresult kNoInterface = static_cast<tresult>(0x80004002u);
inline constexpr tresult kInvalidArgument = static_cast<tresult>(0x80070057u);
inline constexpr tresult kNotImplemented = static_cast<tresult>(0x80004001u);
inline constexpr tresult kInternalError = static_cast<tresult>(0x80004005u);
inline constexpr tresult kNotInitialized = static_cast<tresult>(0x8000FFFFu);
inline constexpr tresult kOutOfMemory = static_cast<tresult>(0x8007000Eu);
#else
inline constexpr tresult kNoInterface = -1;
inline constexpr tresult kInvalidArgument = 2;
inline constexpr tresult kNotImplemented = 3;
inline constexpr tresult kInternalError = 4;
inline constexpr tresult kNotInitialized = 5;
inline constexpr tresult kOutOfMemory = 6;
#endif
inline constexpr tresult kResultOk = 0;
inline constexpr tresult kResultTrue = 0;
inline constexpr tresult kResultFalse = 1;

// An identifier as its four 32-bit words, laid out as the platform expects: each word big-endian
// on Linux; on Windows the layout of a GUID {l1, l2 >> 16, l2 & 0xFFFF, l3 l4} in memory.
// The text form (the words in hex) is the same everywhere; sessions store that.
struct Uid {
  char bytes[16];
};
constexpr Uid makeUid(uint32_t l1, uint32_t l2, uint32_t l3, uint32_t l4) {
  Uid uid{};
  const auto put = [&uid](int at, uint32_t word, int shift) {
    uid.bytes[at] = static_cast<char>(static_cast<uint8_t>(word >> shift));
  };
  const uint32_t words[4] = {l1, l2, l3, l4};
  for (int w = 0; w < 4; ++w)
    for (int b = 0; b < 4; ++b) put(4 * w + b, words[w], 24 - 8 * b);
#if defined(_WIN32)
  for (int b = 0; b < 4; ++b) put(b, l1, 8 * b);
  put(4, l2, 16);
  put(5, l2, 24);
  put(6, l2, 0);
  put(7, l2, 8);
#endif
  return uid;
}
inline bool sameUid(TUIDPtr a, const Uid& b) {
  return a != nullptr && std::memcmp(a, b.bytes, sizeof b.bytes) == 0;
}

// ---- Enumerations -------------------------------------------------------------------------

enum MediaType : int32_t { kAudio = 0, kEvent = 1 };
enum BusDirection : int32_t { kInput = 0, kOutput = 1 };
enum BusType : int32_t { kMain = 0, kAux = 1 };
enum BusFlags : uint32_t { kDefaultActive = 1, kIsControlVoltage = 2 };
enum SymbolicSampleSize : int32_t { kSample32 = 0, kSample64 = 1 };
enum ProcessMode : int32_t { kRealtime = 0, kPrefetch = 1, kOffline = 2 };
inline constexpr SpeakerArrangement kSpeakerL = 1, kSpeakerR = 2, kStereo = 3, kMono = 0x80000;
enum EventType : uint16_t {
  kNoteOnEvent = 0,
  kNoteOffEvent = 1,
  kDataEvent = 2,
  kPolyPressureEvent = 3,
  kLegacyMIDICCOutEvent = 65535,
};
enum ParameterFlags : int32_t {
  kCanAutomate = 1,
  kIsReadOnly = 2,
  kIsWrapAround = 4,
  kIsList = 8,
  kIsHidden = 16,
  kIsProgramChange = 1 << 15,
  kIsBypass = 1 << 16,
};
enum RestartFlags : int32_t {
  kReloadComponent = 1,
  kIoChanged = 2,
  kParamValuesChanged = 4,
  kLatencyChanged = 8,
  kParamTitlesChanged = 16,
  kMidiCCAssignmentChanged = 32,
};
enum ControllerNumber : int16_t {
  kCtrlAllSoundsOff = 120,
  kCtrlResetAllCtrlers = 121,
  kCtrlAllNotesOff = 123,
  kCtrlMonoModeOn = 126,
  kAfterTouch = 128,
  kPitchBend = 129,
};
enum FactoryFlags : int32_t { kClassesDiscardable = 1, kComponentNonDiscardable = 8, kUnicode = 16 };
enum ComponentFlags : uint32_t { kDistributable = 1, kSimpleModeSupported = 2 };
inline constexpr int32_t kManyInstances = 0x7FFFFFFF;
inline constexpr ParamID kNoParamId = 0xFFFFFFFFu;
inline constexpr UnitID kRootUnitId = 0;
inline constexpr UnitID kNoParentUnitId = -1;
inline constexpr ProgramListID kNoProgramListId = -1;
enum SeekMode : int32_t { kIBSeekSet = 0, kIBSeekCur = 1, kIBSeekEnd = 2 };
inline constexpr char kPlatformTypeX11EmbedWindowID[] = "X11EmbedWindowID";
inline constexpr char kPlatformTypeHWND[] = "HWND";
inline constexpr char kAudioEffectClass[] = "Audio Module Class";
inline constexpr char kComponentControllerClass[] = "Component Controller Class";

// ---- Records ------------------------------------------------------------------------------

struct PFactoryInfo {
  char vendor[64];
  char url[256];
  char email[128];
  int32_t flags;
};
struct PClassInfo {
  char cid[16];
  int32_t cardinality;
  char category[32];
  char name[64];
};
struct PClassInfo2 {
  char cid[16];
  int32_t cardinality;
  char category[32];
  char name[64];
  uint32_t classFlags;
  char subCategories[128];
  char vendor[64];
  char version[64];
  char sdkVersion[64];
};
struct BusInfo {
  int32_t mediaType;
  int32_t direction;
  int32_t channelCount;
  String128 name;
  int32_t busType;
  uint32_t flags;
};
struct RoutingInfo {
  int32_t mediaType;
  int32_t busIndex;
  int32_t channel;
};
struct ProcessSetup {
  int32_t processMode;
  int32_t symbolicSampleSize;
  int32_t maxSamplesPerBlock;
  double sampleRate;
};
struct AudioBusBuffers {
  int32_t numChannels;
  uint64_t silenceFlags;
  union {
    float** channelBuffers32;
    double** channelBuffers64;
  };
};
struct Chord {
  uint8_t keyNote;
  uint8_t rootNote;
  int16_t chordMask;
};
struct FrameRate {
  uint32_t framesPerSecond;
  uint32_t flags;
};
struct ProcessContext {
  uint32_t state;
  double sampleRate;
  TSamples projectTimeSamples;
  int64_t systemTime;
  TSamples continousTimeSamples;
  double projectTimeMusic;
  double barPositionMusic;
  double cycleStartMusic;
  double cycleEndMusic;
  double tempo;
  int32_t timeSigNumerator;
  int32_t timeSigDenominator;
  Chord chord;
  int32_t smpteOffsetSubframes;
  FrameRate frameRate;
  int32_t samplesToNextClock;
};
class IParameterChanges;
class IEventList;
struct ProcessData {
  int32_t processMode;
  int32_t symbolicSampleSize;
  int32_t numSamples;
  int32_t numInputs;
  int32_t numOutputs;
  AudioBusBuffers* inputs;
  AudioBusBuffers* outputs;
  IParameterChanges* inputParameterChanges;
  IParameterChanges* outputParameterChanges;
  IEventList* inputEvents;
  IEventList* outputEvents;
  ProcessContext* processContext;
};
struct NoteOnEvent {
  int16_t channel;
  int16_t pitch;
  float tuning;
  float velocity;
  int32_t length;
  int32_t noteId;
};
struct NoteOffEvent {  // velocity is its third field, not its fourth as in a note-on
  int16_t channel;
  int16_t pitch;
  float velocity;
  int32_t noteId;
  float tuning;
};
struct DataEvent {
  uint32_t size;
  uint32_t type;
  const uint8_t* bytes;
};
struct PolyPressureEvent {
  int16_t channel;
  int16_t pitch;
  float pressure;
  int32_t noteId;
};
struct LegacyMIDICCOutEvent {
  uint8_t controlNumber;
  int8_t channel;
  int8_t value;
  int8_t value2;
};
struct Event {
  int32_t busIndex;
  int32_t sampleOffset;
  double ppqPosition;
  uint16_t flags;
  uint16_t type;
  union {
    NoteOnEvent noteOn;
    NoteOffEvent noteOff;
    DataEvent data;
    PolyPressureEvent polyPressure;
    LegacyMIDICCOutEvent midiCCOut;
    uint8_t space[24];  // the largest kind we do not read (a note expression value)
  };
};
struct ParameterInfo {
  ParamID id;
  String128 title;
  String128 shortTitle;
  String128 units;
  int32_t stepCount;
  ParamValue defaultNormalizedValue;
  UnitID unitId;
  int32_t flags;
};
struct UnitInfo {
  UnitID id;
  UnitID parentUnitId;
  String128 name;
  ProgramListID programListId;
};
struct ProgramListInfo {
  ProgramListID id;
  String128 name;
  int32_t programCount;
};
struct ViewRect {
  int32_t left;
  int32_t top;
  int32_t right;
  int32_t bottom;
};

#define VELA_VST3_LAYOUT(Record, size) static_assert(sizeof(Record) == (size), #Record " size")
#define VELA_VST3_AT(Record, field, at) \
  static_assert(offsetof(Record, field) == (at), #Record "." #field " offset")
VELA_VST3_LAYOUT(PFactoryInfo, 452);
VELA_VST3_AT(PFactoryInfo, url, 64);
VELA_VST3_AT(PFactoryInfo, email, 320);
VELA_VST3_AT(PFactoryInfo, flags, 448);
VELA_VST3_LAYOUT(PClassInfo, 116);
VELA_VST3_AT(PClassInfo, cardinality, 16);
VELA_VST3_AT(PClassInfo, category, 20);
VELA_VST3_AT(PClassInfo, name, 52);
VELA_VST3_LAYOUT(PClassInfo2, 440);
VELA_VST3_AT(PClassInfo2, cardinality, 16);
VELA_VST3_AT(PClassInfo2, category, 20);
VELA_VST3_AT(PClassInfo2, name, 52);
VELA_VST3_AT(PClassInfo2, classFlags, 116);
VELA_VST3_AT(PClassInfo2, subCategories, 120);
VELA_VST3_AT(PClassInfo2, vendor, 248);
VELA_VST3_AT(PClassInfo2, version, 312);
VELA_VST3_AT(PClassInfo2, sdkVersion, 376);
VELA_VST3_LAYOUT(BusInfo, 276);
VELA_VST3_AT(BusInfo, direction, 4);
VELA_VST3_AT(BusInfo, channelCount, 8);
VELA_VST3_AT(BusInfo, name, 12);
VELA_VST3_AT(BusInfo, busType, 268);
VELA_VST3_AT(BusInfo, flags, 272);
VELA_VST3_LAYOUT(RoutingInfo, 12);
VELA_VST3_AT(RoutingInfo, busIndex, 4);
VELA_VST3_AT(RoutingInfo, channel, 8);
VELA_VST3_LAYOUT(ProcessSetup, 24);
VELA_VST3_AT(ProcessSetup, symbolicSampleSize, 4);
VELA_VST3_AT(ProcessSetup, maxSamplesPerBlock, 8);
VELA_VST3_AT(ProcessSetup, sampleRate, 16);
VELA_VST3_LAYOUT(AudioBusBuffers, 24);
VELA_VST3_AT(AudioBusBuffers, silenceFlags, 8);
VELA_VST3_AT(AudioBusBuffers, channelBuffers32, 16);
VELA_VST3_AT(AudioBusBuffers, channelBuffers64, 16);
VELA_VST3_LAYOUT(ProcessData, 80);
VELA_VST3_AT(ProcessData, symbolicSampleSize, 4);
VELA_VST3_AT(ProcessData, numSamples, 8);
VELA_VST3_AT(ProcessData, numInputs, 12);
VELA_VST3_AT(ProcessData, numOutputs, 16);
VELA_VST3_AT(ProcessData, inputs, 24);
VELA_VST3_AT(ProcessData, outputs, 32);
VELA_VST3_AT(ProcessData, inputParameterChanges, 40);
VELA_VST3_AT(ProcessData, outputParameterChanges, 48);
VELA_VST3_AT(ProcessData, inputEvents, 56);
VELA_VST3_AT(ProcessData, outputEvents, 64);
VELA_VST3_AT(ProcessData, processContext, 72);
VELA_VST3_LAYOUT(ProcessContext, 112);
VELA_VST3_AT(ProcessContext, sampleRate, 8);
VELA_VST3_AT(ProcessContext, projectTimeSamples, 16);
VELA_VST3_AT(ProcessContext, systemTime, 24);
VELA_VST3_AT(ProcessContext, continousTimeSamples, 32);
VELA_VST3_AT(ProcessContext, projectTimeMusic, 40);
VELA_VST3_AT(ProcessContext, barPositionMusic, 48);
VELA_VST3_AT(ProcessContext, cycleStartMusic, 56);
VELA_VST3_AT(ProcessContext, cycleEndMusic, 64);
VELA_VST3_AT(ProcessContext, tempo, 72);
VELA_VST3_AT(ProcessContext, timeSigNumerator, 80);
VELA_VST3_AT(ProcessContext, timeSigDenominator, 84);
VELA_VST3_AT(ProcessContext, chord, 88);
VELA_VST3_AT(ProcessContext, smpteOffsetSubframes, 92);
VELA_VST3_AT(ProcessContext, frameRate, 96);
VELA_VST3_AT(ProcessContext, samplesToNextClock, 104);
VELA_VST3_LAYOUT(Event, 48);
VELA_VST3_AT(Event, sampleOffset, 4);
VELA_VST3_AT(Event, ppqPosition, 8);
VELA_VST3_AT(Event, flags, 16);
VELA_VST3_AT(Event, type, 18);
VELA_VST3_AT(Event, noteOn, 24);
VELA_VST3_LAYOUT(NoteOnEvent, 20);
VELA_VST3_AT(NoteOnEvent, pitch, 2);
VELA_VST3_AT(NoteOnEvent, tuning, 4);
VELA_VST3_AT(NoteOnEvent, velocity, 8);
VELA_VST3_AT(NoteOnEvent, length, 12);
VELA_VST3_AT(NoteOnEvent, noteId, 16);
VELA_VST3_LAYOUT(NoteOffEvent, 16);
VELA_VST3_AT(NoteOffEvent, pitch, 2);
VELA_VST3_AT(NoteOffEvent, velocity, 4);
VELA_VST3_AT(NoteOffEvent, noteId, 8);
VELA_VST3_AT(NoteOffEvent, tuning, 12);
VELA_VST3_LAYOUT(DataEvent, 16);
VELA_VST3_AT(DataEvent, type, 4);
VELA_VST3_AT(DataEvent, bytes, 8);
VELA_VST3_LAYOUT(PolyPressureEvent, 12);
VELA_VST3_AT(PolyPressureEvent, pressure, 4);
VELA_VST3_AT(PolyPressureEvent, noteId, 8);
VELA_VST3_LAYOUT(LegacyMIDICCOutEvent, 4);
VELA_VST3_AT(LegacyMIDICCOutEvent, channel, 1);
VELA_VST3_AT(LegacyMIDICCOutEvent, value, 2);
VELA_VST3_AT(LegacyMIDICCOutEvent, value2, 3);
VELA_VST3_LAYOUT(ParameterInfo, 792);
VELA_VST3_AT(ParameterInfo, title, 4);
VELA_VST3_AT(ParameterInfo, shortTitle, 260);
VELA_VST3_AT(ParameterInfo, units, 516);
VELA_VST3_AT(ParameterInfo, stepCount, 772);
VELA_VST3_AT(ParameterInfo, defaultNormalizedValue, 776);
VELA_VST3_AT(ParameterInfo, unitId, 784);
VELA_VST3_AT(ParameterInfo, flags, 788);
VELA_VST3_LAYOUT(UnitInfo, 268);
VELA_VST3_AT(UnitInfo, parentUnitId, 4);
VELA_VST3_AT(UnitInfo, name, 8);
VELA_VST3_AT(UnitInfo, programListId, 264);
VELA_VST3_LAYOUT(ProgramListInfo, 264);
VELA_VST3_AT(ProgramListInfo, name, 4);
VELA_VST3_AT(ProgramListInfo, programCount, 260);
VELA_VST3_LAYOUT(ViewRect, 16);
VELA_VST3_AT(ViewRect, top, 4);
VELA_VST3_AT(ViewRect, right, 8);
VELA_VST3_AT(ViewRect, bottom, 12);
#undef VELA_VST3_LAYOUT
#undef VELA_VST3_AT

// ---- Interfaces ---------------------------------------------------------------------------

class FUnknown {
 public:
  static constexpr Uid iid = makeUid(0x00000000, 0x00000000, 0xC0000000, 0x00000046);
  virtual tresult queryInterface(TUIDPtr interfaceId, void** obj) = 0;
  virtual uint32_t addRef() = 0;
  virtual uint32_t release() = 0;
};

class IPluginBase : public FUnknown {
 public:
  static constexpr Uid iid = makeUid(0x22888DDB, 0x156E45AE, 0x8358B348, 0x08190625);
  virtual tresult initialize(FUnknown* context) = 0;
  virtual tresult terminate() = 0;
};

class IPluginFactory : public FUnknown {
 public:
  static constexpr Uid iid = makeUid(0x7A4D811C, 0x52114A1F, 0xAED9D2EE, 0x0B43BF9F);
  virtual tresult getFactoryInfo(PFactoryInfo* info) = 0;
  virtual int32_t countClasses() = 0;
  virtual tresult getClassInfo(int32_t index, PClassInfo* info) = 0;
  virtual tresult createInstance(FIDString cid, FIDString interfaceId, void** obj) = 0;
};

class IPluginFactory2 : public IPluginFactory {
 public:
  static constexpr Uid iid = makeUid(0x0007B650, 0xF24B4C0B, 0xA464EDB9, 0xF00B2ABB);
  virtual tresult getClassInfo2(int32_t index, PClassInfo2* info) = 0;
};

class IBStream : public FUnknown {
 public:
  static constexpr Uid iid = makeUid(0xC3BF6EA2, 0x30994752, 0x9B6BF990, 0x1EE33E9B);
  virtual tresult read(void* buffer, int32_t bytes, int32_t* bytesRead) = 0;
  virtual tresult write(void* buffer, int32_t bytes, int32_t* bytesWritten) = 0;
  virtual tresult seek(int64_t position, int32_t mode, int64_t* result) = 0;
  virtual tresult tell(int64_t* position) = 0;
};

class IComponent : public IPluginBase {
 public:
  static constexpr Uid iid = makeUid(0xE831FF31, 0xF2D54301, 0x928EBBEE, 0x25697802);
  virtual tresult getControllerClassId(char* classId) = 0;
  virtual tresult setIoMode(int32_t mode) = 0;
  virtual int32_t getBusCount(int32_t type, int32_t direction) = 0;
  virtual tresult getBusInfo(int32_t type, int32_t direction, int32_t index, BusInfo* bus) = 0;
  virtual tresult getRoutingInfo(RoutingInfo* in, RoutingInfo* out) = 0;
  virtual tresult activateBus(int32_t type, int32_t direction, int32_t index, TBool state) = 0;
  virtual tresult setActive(TBool state) = 0;
  virtual tresult setState(IBStream* state) = 0;
  virtual tresult getState(IBStream* state) = 0;
};

class IAudioProcessor : public FUnknown {
 public:
  static constexpr Uid iid = makeUid(0x42043F99, 0xB7DA453C, 0xA569E79D, 0x9AAEC33D);
  virtual tresult setBusArrangements(SpeakerArrangement* inputs, int32_t numIns,
                                     SpeakerArrangement* outputs, int32_t numOuts) = 0;
  virtual tresult getBusArrangement(int32_t direction, int32_t index,
                                    SpeakerArrangement* arrangement) = 0;
  virtual tresult canProcessSampleSize(int32_t symbolicSampleSize) = 0;
  virtual uint32_t getLatencySamples() = 0;
  virtual tresult setupProcessing(ProcessSetup* setup) = 0;
  virtual tresult setProcessing(TBool state) = 0;
  virtual tresult process(ProcessData* data) = 0;
  virtual uint32_t getTailSamples() = 0;
};

class IParamValueQueue : public FUnknown {
 public:
  static constexpr Uid iid = makeUid(0x01263A18, 0xED074F6F, 0x98C9D356, 0x4686F9BA);
  virtual ParamID getParameterId() = 0;
  virtual int32_t getPointCount() = 0;
  virtual tresult getPoint(int32_t index, int32_t* sampleOffset, ParamValue* value) = 0;
  virtual tresult addPoint(int32_t sampleOffset, ParamValue value, int32_t* index) = 0;
};

class IParameterChanges : public FUnknown {
 public:
  static constexpr Uid iid = makeUid(0xA4779663, 0x0BB64A56, 0xB44384A8, 0x466FEB9D);
  virtual int32_t getParameterCount() = 0;
  virtual IParamValueQueue* getParameterData(int32_t index) = 0;
  virtual IParamValueQueue* addParameterData(const ParamID* id, int32_t* index) = 0;
};

class IEventList : public FUnknown {
 public:
  static constexpr Uid iid = makeUid(0x3A2C4214, 0x346349FE, 0xB2C4F397, 0xB9695A44);
  virtual int32_t getEventCount() = 0;
  virtual tresult getEvent(int32_t index, Event* event) = 0;
  virtual tresult addEvent(Event* event) = 0;
};

class IComponentHandler : public FUnknown {
 public:
  static constexpr Uid iid = makeUid(0x93A0BEA3, 0x0BD045DB, 0x8E890B0C, 0xC1E46AC6);
  virtual tresult beginEdit(ParamID id) = 0;
  virtual tresult performEdit(ParamID id, ParamValue value) = 0;
  virtual tresult endEdit(ParamID id) = 0;
  virtual tresult restartComponent(int32_t flags) = 0;
};

class IUnitHandler : public FUnknown {
 public:
  static constexpr Uid iid = makeUid(0x4B5147F8, 0x4654486B, 0x8DAB30BA, 0x163A3C56);
  virtual tresult notifyUnitSelection(UnitID unit) = 0;
  virtual tresult notifyProgramListChange(ProgramListID list, int32_t programIndex) = 0;
};

class IPlugView;

class IEditController : public IPluginBase {
 public:
  static constexpr Uid iid = makeUid(0xDCD7BBE3, 0x7742448D, 0xA874AACC, 0x979C759E);
  virtual tresult setComponentState(IBStream* state) = 0;
  virtual tresult setState(IBStream* state) = 0;
  virtual tresult getState(IBStream* state) = 0;
  virtual int32_t getParameterCount() = 0;
  virtual tresult getParameterInfo(int32_t index, ParameterInfo* info) = 0;
  virtual tresult getParamStringByValue(ParamID id, ParamValue normalized, TChar* text) = 0;
  virtual tresult getParamValueByString(ParamID id, TChar* text, ParamValue* normalized) = 0;
  virtual ParamValue normalizedParamToPlain(ParamID id, ParamValue normalized) = 0;
  virtual ParamValue plainParamToNormalized(ParamID id, ParamValue plain) = 0;
  virtual ParamValue getParamNormalized(ParamID id) = 0;
  virtual tresult setParamNormalized(ParamID id, ParamValue value) = 0;
  virtual tresult setComponentHandler(IComponentHandler* handler) = 0;
  virtual IPlugView* createView(FIDString name) = 0;
};

class IMidiMapping : public FUnknown {
 public:
  static constexpr Uid iid = makeUid(0xDF0FF9F7, 0x49B74669, 0xB63AB732, 0x7ADBF5E5);
  virtual tresult getMidiControllerAssignment(int32_t busIndex, int16_t channel,
                                              CtrlNumber controller, ParamID* id) = 0;
};

class IUnitInfo : public FUnknown {
 public:
  static constexpr Uid iid = makeUid(0x3D4BD6B5, 0x913A4FD2, 0xA886E768, 0xA5EB92C1);
  virtual int32_t getUnitCount() = 0;
  virtual tresult getUnitInfo(int32_t index, UnitInfo* info) = 0;
  virtual int32_t getProgramListCount() = 0;
  virtual tresult getProgramListInfo(int32_t index, ProgramListInfo* info) = 0;
  virtual tresult getProgramName(ProgramListID list, int32_t program, TChar* name) = 0;
  virtual tresult getProgramInfo(ProgramListID list, int32_t program, FIDString attribute,
                                 TChar* value) = 0;
  virtual tresult hasProgramPitchNames(ProgramListID list, int32_t program) = 0;
  virtual tresult getProgramPitchName(ProgramListID list, int32_t program, int16_t pitch,
                                      TChar* name) = 0;
  virtual UnitID getSelectedUnit() = 0;
  virtual tresult selectUnit(UnitID unit) = 0;
  virtual tresult getUnitByBus(int32_t type, int32_t direction, int32_t busIndex,
                               int32_t channel, UnitID* unit) = 0;
  virtual tresult setUnitProgramData(int32_t listOrUnit, int32_t program, IBStream* data) = 0;
};

class IAttributeList : public FUnknown {
 public:
  static constexpr Uid iid = makeUid(0x1E5F0AEB, 0xCC7F4533, 0xA2544011, 0x38AD5EE4);
  virtual tresult setInt(FIDString id, int64_t value) = 0;
  virtual tresult getInt(FIDString id, int64_t* value) = 0;
  virtual tresult setFloat(FIDString id, double value) = 0;
  virtual tresult getFloat(FIDString id, double* value) = 0;
  virtual tresult setString(FIDString id, const TChar* text) = 0;
  virtual tresult getString(FIDString id, TChar* text, uint32_t sizeInBytes) = 0;
  virtual tresult setBinary(FIDString id, const void* data, uint32_t bytes) = 0;
  virtual tresult getBinary(FIDString id, const void** data, uint32_t* bytes) = 0;
};

class IMessage : public FUnknown {
 public:
  static constexpr Uid iid = makeUid(0x936F033B, 0xC6C047DB, 0xBB0882F8, 0x13C1E613);
  virtual FIDString getMessageID() = 0;
  virtual void setMessageID(FIDString id) = 0;
  virtual IAttributeList* getAttributes() = 0;
};

class IConnectionPoint : public FUnknown {
 public:
  static constexpr Uid iid = makeUid(0x70A4156F, 0x6E6E4026, 0x989148BF, 0xAA60D8D1);
  virtual tresult connect(IConnectionPoint* other) = 0;
  virtual tresult disconnect(IConnectionPoint* other) = 0;
  virtual tresult notify(IMessage* message) = 0;
};

class IHostApplication : public FUnknown {
 public:
  static constexpr Uid iid = makeUid(0x58E595CC, 0xDB2D4969, 0x8B6AAF8C, 0x36A664E5);
  virtual tresult getName(TChar* name) = 0;
  virtual tresult createInstance(char* cid, char* interfaceId, void** obj) = 0;
};

class IPlugFrame;

class IPlugView : public FUnknown {
 public:
  static constexpr Uid iid = makeUid(0x5BC32507, 0xD06049EA, 0xA6151B52, 0x2B755B29);
  virtual tresult isPlatformTypeSupported(FIDString type) = 0;
  virtual tresult attached(void* parent, FIDString type) = 0;
  virtual tresult removed() = 0;
  virtual tresult onWheel(float distance) = 0;
  virtual tresult onKeyDown(TChar key, int16_t keyCode, int16_t modifiers) = 0;
  virtual tresult onKeyUp(TChar key, int16_t keyCode, int16_t modifiers) = 0;
  virtual tresult getSize(ViewRect* size) = 0;
  virtual tresult onSize(ViewRect* size) = 0;
  virtual tresult onFocus(TBool state) = 0;
  virtual tresult setFrame(IPlugFrame* frame) = 0;
  virtual tresult canResize() = 0;
  virtual tresult checkSizeConstraint(ViewRect* rect) = 0;
};

class IPlugFrame : public FUnknown {
 public:
  static constexpr Uid iid = makeUid(0x367FAF01, 0xAFA94693, 0x8D4DA2A0, 0xED0882A3);
  virtual tresult resizeView(IPlugView* view, ViewRect* size) = 0;
};

class IPlugViewContentScaleSupport : public FUnknown {
 public:
  static constexpr Uid iid = makeUid(0x65ED9690, 0x8AC44525, 0x8AADEF7A, 0x72EA703F);
  virtual tresult setContentScaleFactor(float factor) = 0;
};

// The Linux editor's main-thread callbacks, through the host's run loop.
class IEventHandler : public FUnknown {
 public:
  static constexpr Uid iid = makeUid(0x561E65C9, 0x13A0496F, 0x813A2C35, 0x654D7983);
  virtual void onFDIsSet(int fd) = 0;
};
class ITimerHandler : public FUnknown {
 public:
  static constexpr Uid iid = makeUid(0x10BDD94F, 0x41424774, 0x821FAD8F, 0xECA72CA9);
  virtual void onTimer() = 0;
};
class IRunLoop : public FUnknown {
 public:
  static constexpr Uid iid = makeUid(0x18C35366, 0x97764F1A, 0x9C5B8385, 0x7A871389);
  virtual tresult registerEventHandler(IEventHandler* handler, int fd) = 0;
  virtual tresult unregisterEventHandler(IEventHandler* handler) = 0;
  virtual tresult registerTimer(ITimerHandler* handler, uint64_t milliseconds) = 0;
  virtual tresult unregisterTimer(ITimerHandler* handler) = 0;
};

// Identifiers of interfaces VelaOrin does not implement: hosts ask for them, and the answer
// must be no.
inline constexpr Uid kIPluginFactory3Iid = makeUid(0x4555A2AB, 0xC1234E57, 0x9B122910, 0x36878931);
inline constexpr Uid kIEditController2Iid = makeUid(0x7F4EFE59, 0xF3204967, 0xAC27A3AE, 0xAFB63038);
inline constexpr Uid kIEditControllerHostEditingIid =
    makeUid(0xC1271208, 0x70594098, 0xB9DD34B3, 0x6BB0195E);
inline constexpr Uid kIComponentHandler2Iid = makeUid(0xF040B4B3, 0xA36045EC, 0xABCDC045, 0xB4D5A2CC);
inline constexpr Uid kIProcessContextRequirementsIid =
    makeUid(0x2A654303, 0xEF764E3D, 0x95B5FE83, 0x730EF6D0);
inline constexpr Uid kIProgramListDataIid = makeUid(0x8683B01F, 0x7B354F70, 0xA2651DEC, 0x353AF4FF);
inline constexpr Uid kIUnitDataIid = makeUid(0x6C389611, 0xD391455D, 0xB870B833, 0x94A0EFDD);

// UTF-16 text into a host's String128 (or any array of `size` units), cut to fit, terminated.
inline void copyText16(TChar* to, const char* from, size_t size) {
  if (to == nullptr || size == 0) return;
  size_t n = 0;
  for (; from != nullptr && from[n] != '\0' && n + 1 < size; ++n)
    to[n] = static_cast<TChar>(static_cast<unsigned char>(from[n]));
  to[n] = 0;
}
// Text into a fixed char array, cut to fit, terminated.
inline void copyText8(char* to, const char* from, size_t size) {
  if (to == nullptr || size == 0) return;
  size_t n = 0;
  for (; from != nullptr && from[n] != '\0' && n + 1 < size; ++n) to[n] = from[n];
  to[n] = '\0';
}

}  // namespace vst3
