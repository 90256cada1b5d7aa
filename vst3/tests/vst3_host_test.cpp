// VelaOrin.vst3 through our VST 3 host, loaded as Ardour loads it: identifiers and records, the
// module and its factory, the objects' interfaces, buses, parameters and their texts as VST 2
// shows them, the program list; the same bits as VelaOrin.so through VST 2 for the same MIDI,
// parameter points and MIDI-mapped controllers at any rate and block size; state and programs.
// Under Wine the same program runs the Windows bundle against VelaOrin.dll.
#include <gtest/gtest.h>

#if defined(_WIN32)
#include <windows.h>
#endif

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "DAEffectX.h"
#include "MidiList.h"
#include "PluginLoader.h"
#include "ProgramBank.h"
#include "RecordingHost.h"
#include "RenderCompare.h"
#include "TestRandom.h"
#include "Tuning.h"
#include "VelaIdentity.h"
#include "VelaVst3.h"
#include "Vst3TestHost.h"

namespace {

using namespace vst3host;
using namespace velavst3;

// ---- Identifiers ------------------------------------------------------------------------------

std::vector<uint8_t> bytesOfText(const char* hex) {
  std::vector<uint8_t> bytes;
  for (int i = 0; i < 32; i += 2) bytes.push_back(static_cast<uint8_t>(std::stoi(std::string(hex + i, 2), nullptr, 16)));
  return bytes;
}

// The 16 bytes an identifier written as 32 hex digits has in memory here: the digits in order on
// Linux; on Windows a GUID's, its first three fields little-endian.
std::vector<uint8_t> expectedBytes(const char* hex) {
  std::vector<uint8_t> b = bytesOfText(hex);
#if defined(_WIN32)
  std::reverse(b.begin(), b.begin() + 4);
  std::reverse(b.begin() + 4, b.begin() + 6);
  std::reverse(b.begin() + 6, b.begin() + 8);
#endif
  return b;
}

std::vector<uint8_t> bytesOf(const Uid& uid) { return {uid.bytes, uid.bytes + 16}; }

TEST(Vst3Identifiers, EveryIdentifierHasItsBytesOnThisPlatform) {
  // One written out in full for each platform, so the rule below is not checked by itself.
#if defined(_WIN32)
  const std::vector<uint8_t> component = {0x31, 0xFF, 0x31, 0xE8, 0xD5, 0xF2, 0x01, 0x43,
                                          0x92, 0x8E, 0xBB, 0xEE, 0x25, 0x69, 0x78, 0x02};
#else
  const std::vector<uint8_t> component = {0xE8, 0x31, 0xFF, 0x31, 0xF2, 0xD5, 0x43, 0x01,
                                          0x92, 0x8E, 0xBB, 0xEE, 0x25, 0x69, 0x78, 0x02};
#endif
  EXPECT_EQ(bytesOf(IComponent::iid), component);
  struct Row {
    const char* name;
    Uid uid;
    const char* text;
  };
  const Row rows[] = {
      {"FUnknown", FUnknown::iid, "0000000000000000C000000000000046"},
      {"IPluginBase", IPluginBase::iid, "22888DDB156E45AE8358B34808190625"},
      {"IPluginFactory", IPluginFactory::iid, "7A4D811C52114A1FAED9D2EE0B43BF9F"},
      {"IPluginFactory2", IPluginFactory2::iid, "0007B650F24B4C0BA464EDB9F00B2ABB"},
      {"IPluginFactory3", kIPluginFactory3Iid, "4555A2ABC1234E579B12291036878931"},
      {"IComponent", IComponent::iid, "E831FF31F2D54301928EBBEE25697802"},
      {"IAudioProcessor", IAudioProcessor::iid, "42043F99B7DA453CA569E79D9AAEC33D"},
      {"IProcessContextRequirements", kIProcessContextRequirementsIid,
       "2A654303EF764E3D95B5FE83730EF6D0"},
      {"IEditController", IEditController::iid, "DCD7BBE37742448DA874AACC979C759E"},
      {"IEditController2", kIEditController2Iid, "7F4EFE59F3204967AC27A3AEAFB63038"},
      {"IEditControllerHostEditing", kIEditControllerHostEditingIid,
       "C127120870594098B9DD34B36BB0195E"},
      {"IMidiMapping", IMidiMapping::iid, "DF0FF9F749B74669B63AB7327ADBF5E5"},
      {"IComponentHandler", IComponentHandler::iid, "93A0BEA30BD045DB8E890B0CC1E46AC6"},
      {"IComponentHandler2", kIComponentHandler2Iid, "F040B4B3A36045ECABCDC045B4D5A2CC"},
      {"IUnitInfo", IUnitInfo::iid, "3D4BD6B5913A4FD2A886E768A5EB92C1"},
      {"IUnitHandler", IUnitHandler::iid, "4B5147F84654486B8DAB30BA163A3C56"},
      {"IProgramListData", kIProgramListDataIid, "8683B01F7B354F70A2651DEC353AF4FF"},
      {"IUnitData", kIUnitDataIid, "6C389611D391455DB870B83394A0EFDD"},
      {"IConnectionPoint", IConnectionPoint::iid, "70A4156F6E6E4026989148BFAA60D8D1"},
      {"IMessage", IMessage::iid, "936F033BC6C047DBBB0882F813C1E613"},
      {"IAttributeList", IAttributeList::iid, "1E5F0AEBCC7F4533A254401138AD5EE4"},
      {"IHostApplication", IHostApplication::iid, "58E595CCDB2D49698B6AAF8C36A664E5"},
      {"IBStream", IBStream::iid, "C3BF6EA2309947529B6BF9901EE33E9B"},
      {"IEventList", IEventList::iid, "3A2C4214346349FEB2C4F397B9695A44"},
      {"IParameterChanges", IParameterChanges::iid, "A47796630BB64A56B44384A8466FEB9D"},
      {"IParamValueQueue", IParamValueQueue::iid, "01263A18ED074F6F98C9D3564686F9BA"},
      {"IPlugView", IPlugView::iid, "5BC32507D06049EAA6151B522B755B29"},
      {"IPlugFrame", IPlugFrame::iid, "367FAF01AFA946938D4DA2A0ED0882A3"},
      {"IPlugViewContentScaleSupport", IPlugViewContentScaleSupport::iid,
       "65ED96908AC445258AADEF7A72EA703F"},
      {"IEventHandler", IEventHandler::iid, "561E65C913A0496F813A2C35654D7983"},
      {"ITimerHandler", ITimerHandler::iid, "10BDD94F41424774821FAD8FECA72CA9"},
      {"IRunLoop", IRunLoop::iid, "18C3536697764F1A9C5B83857A871389"},
      // Ours, for good: sessions name the plug-in by the first one's text.
      {"component class", kProcessorCid, "0E01F32F09D14E73A83068E6F6E5FE31"},
      {"controller class", kControllerCid, "95353AC009FD4833B661856DD9F9104C"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ASSERT_EQ(std::strlen(row.text), 32u);
    EXPECT_EQ(bytesOf(row.uid), expectedBytes(row.text));
  }
}

// ---- Module, factory, interfaces ----------------------------------------------------------------

TEST(Vst3Module, FactoryNamesTheVendorAndItsTwoClasses) {
  ASSERT_TRUE(module().ok()) << module().error();
  IPluginFactory* factory = module().factory();
  PFactoryInfo info{};
  ASSERT_EQ(factory->getFactoryInfo(&info), kResultOk);
  EXPECT_STREQ(info.vendor, vela::identity::kVendor);
  EXPECT_EQ(info.flags, kUnicode);
  ASSERT_EQ(factory->countClasses(), 2);
  Ref<IPluginFactory2> factory2 = query<IPluginFactory2>(factory);
  ASSERT_TRUE(factory2);
  struct Expected {
    Uid cid;
    const char* category;
    const char* name;
    const char* subCategories;
  };
  const Expected expected[] = {
      {kProcessorCid, "Audio Module Class", "VelaOrin", "Instrument|Synth"},
      {kControllerCid, "Component Controller Class", "VelaOrin Controller", ""},
  };
  for (int32_t i = 0; i < 2; ++i) {
    SCOPED_TRACE(i);
    PClassInfo2 c{};
    ASSERT_EQ(factory2->getClassInfo2(i, &c), kResultOk);
    EXPECT_EQ(std::vector<uint8_t>(c.cid, c.cid + 16), bytesOf(expected[i].cid));
    EXPECT_STREQ(c.category, expected[i].category);
    EXPECT_STREQ(c.name, expected[i].name);
    EXPECT_STREQ(c.subCategories, expected[i].subCategories);
    EXPECT_STREQ(c.vendor, vela::identity::kVendor);
    EXPECT_STREQ(c.version, vela::identity::kVersion);
    EXPECT_EQ(c.cardinality, kManyInstances);
    PClassInfo plain{};
    ASSERT_EQ(factory->getClassInfo(i, &plain), kResultOk);
    EXPECT_EQ(std::memcmp(plain.cid, c.cid, 16), 0);
    EXPECT_STREQ(plain.category, c.category);
    EXPECT_STREQ(plain.name, c.name);
  }
  PClassInfo none{};
  EXPECT_NE(factory->getClassInfo(2, &none), kResultOk);
  EXPECT_NE(factory->getClassInfo(-1, &none), kResultOk);

  // Instances only of our classes, and only with an interface the class has.
  void* obj = reinterpret_cast<void*>(1);
  EXPECT_NE(factory->createInstance(IComponent::iid.bytes, IComponent::iid.bytes, &obj), kResultOk);
  EXPECT_EQ(obj, nullptr);
  obj = reinterpret_cast<void*>(1);
  EXPECT_EQ(factory->createInstance(kProcessorCid.bytes, IEditController::iid.bytes, &obj), kNoInterface);
  EXPECT_EQ(obj, nullptr);
  EXPECT_EQ(factory->createInstance(kControllerCid.bytes, IComponent::iid.bytes, &obj), kNoInterface);
  EXPECT_EQ(obj, nullptr);
  // The exports are the module's only way in (the exports test checks there are no others).
  EXPECT_NE(module().symbol("GetPluginFactory"), nullptr);
}

// Each object answers exactly the interfaces it implements, with the sub-object whose vtable
// is that interface's: a call through each pointer lands in the right method.
TEST(Vst3Module, ObjectsAnswerTheirInterfacesAndNothingElse) {
  Synth synth;
  ASSERT_TRUE(synth.ok()) << synth.error();
  Ref<IPlugView> view(synth.controller()->createView("editor"));
  ASSERT_TRUE(view);
  using Probe = std::function<bool(void*)>;
  struct Face {
    const char* name;
    Uid iid;
    Probe component, controller, view, factory;
  };
  const auto no = Probe{};
  const Probe unknown = [](void* p) { return static_cast<FUnknown*>(p)->addRef() >= 2 && static_cast<FUnknown*>(p)->release() >= 1; };
  const Probe componentBase = [](void* p) {
    return static_cast<IComponent*>(p)->getBusCount(kAudio, kOutput) == 1;
  };
  const Probe controllerBase = [](void* p) {
    return static_cast<IEditController*>(p)->getParameterCount() == kParameterCount;
  };
  const Probe connection = [](void* p) {
    return static_cast<IConnectionPoint*>(p)->disconnect(nullptr) != kResultOk;
  };
  const Probe factoryCount = [](void* p) { return static_cast<IPluginFactory*>(p)->countClasses() == 2; };
#if defined(_WIN32)
  const Probe runLoopHandler = no;
#else
  const Probe runLoopHandler = unknown;
#endif
  const Face faces[] = {
      {"FUnknown", FUnknown::iid, unknown, unknown, unknown, unknown},
      {"IPluginBase", IPluginBase::iid, componentBase, controllerBase, no, no},
      {"IComponent", IComponent::iid, componentBase, no, no, no},
      {"IAudioProcessor", IAudioProcessor::iid,
       [](void* p) { return static_cast<IAudioProcessor*>(p)->canProcessSampleSize(kSample64) == kResultFalse; },
       no, no, no},
      {"IConnectionPoint", IConnectionPoint::iid, connection, connection, no, no},
      {"IEditController", IEditController::iid, no, controllerBase, no, no},
      {"IMidiMapping", IMidiMapping::iid, no,
       [](void* p) {
         ParamID id = 0;
         return static_cast<IMidiMapping*>(p)->getMidiControllerAssignment(0, 3, kPitchBend, &id) == kResultOk &&
                id == kPitchBendId;
       },
       no, no},
      {"IUnitInfo", IUnitInfo::iid, no,
       [](void* p) { return static_cast<IUnitInfo*>(p)->getProgramListCount() == 1; }, no, no},
      {"IPlugView", IPlugView::iid, no, no,
       [](void* p) { return static_cast<IPlugView*>(p)->canResize() == kResultFalse; }, no},
      {"IPlugViewContentScaleSupport", IPlugViewContentScaleSupport::iid, no, no,
       [](void* p) { return static_cast<IPlugViewContentScaleSupport*>(p)->setContentScaleFactor(1.0f) == kResultOk; },
       no},
      {"IEventHandler", IEventHandler::iid, no, no, runLoopHandler, no},
      {"ITimerHandler", ITimerHandler::iid, no, no, runLoopHandler, no},
      {"IPluginFactory", IPluginFactory::iid, no, no, no, factoryCount},
      {"IPluginFactory2", IPluginFactory2::iid, no, no, no, factoryCount},
      {"IPluginFactory3", {kIPluginFactory3Iid}, no, no, no, no},
      {"IEditController2", {kIEditController2Iid}, no, no, no, no},
      {"IEditControllerHostEditing", {kIEditControllerHostEditingIid}, no, no, no, no},
      {"IProcessContextRequirements", {kIProcessContextRequirementsIid}, no, no, no, no},
      {"IUnitData", {kIUnitDataIid}, no, no, no, no},
      {"IProgramListData", {kIProgramListDataIid}, no, no, no, no},
      {"IMessage", IMessage::iid, no, no, no, no},
      {"IRunLoop", IRunLoop::iid, no, no, no, no},
      {"IPlugFrame", IPlugFrame::iid, no, no, no, no},
  };
  FUnknown* objects[] = {synth.component(), synth.controller(), view.get(), module().factory()};
  const char* objectNames[] = {"component", "controller", "view", "factory"};
  for (int o = 0; o < 4; ++o) {
    Ref<FUnknown> identity = query<FUnknown>(objects[o]);
    ASSERT_TRUE(identity);
    for (const Face& f : faces) {
      SCOPED_TRACE(std::string(objectNames[o]) + " " + f.name);
      const Probe& probe = o == 0 ? f.component : o == 1 ? f.controller : o == 2 ? f.view : f.factory;
      void* p = reinterpret_cast<void*>(1);
      const tresult result = objects[o]->queryInterface(f.iid.bytes, &p);
      if (!probe) {
        EXPECT_EQ(result, kNoInterface);
        EXPECT_EQ(p, nullptr);
        continue;
      }
      ASSERT_EQ(result, kResultOk);
      ASSERT_NE(p, nullptr);
      EXPECT_TRUE(probe(p));
      // The same object: its FUnknown is the one every other interface leads to.
      Ref<FUnknown> back = query<FUnknown>(static_cast<FUnknown*>(p));
      EXPECT_EQ(back.get(), identity.get());
      static_cast<FUnknown*>(p)->release();
    }
  }
  EXPECT_EQ(synth.controller()->createView(nullptr), nullptr);
  EXPECT_EQ(synth.controller()->createView("other"), nullptr);
}

// The reference counts: each object goes at its last release (the sanitizer build sees leaks
// and uses after release), a reference from any interface counts for the whole object.
TEST(Vst3Module, ReferencesCountForTheWholeObject) {
  IPluginFactory* factory = module().factory();
  void* made = nullptr;
  ASSERT_EQ(factory->createInstance(kProcessorCid.bytes, IAudioProcessor::iid.bytes, &made), kResultOk);
  auto* processor = static_cast<IAudioProcessor*>(made);
  Ref<IComponent> component = query<IComponent>(processor);
  ASSERT_TRUE(component);
  EXPECT_EQ(processor->addRef(), 3u);
  EXPECT_EQ(component->release(), 2u);
  EXPECT_EQ(processor->release(), 1u);
  EXPECT_EQ(component->getBusCount(kEvent, kInput), 1);
  component.reset();  // the last one
  EXPECT_EQ(factory->addRef(), factory->release() + 1);
}

// ---- Buses and processing set-up ----------------------------------------------------------------

TEST(Vst3Processor, BusesArrangementsAndSampleSizes) {
  Synth synth;
  ASSERT_TRUE(synth.ok()) << synth.error();
  IComponent* c = synth.component();
  IAudioProcessor* p = synth.processor();
  struct BusRow {
    int32_t type, direction, count, channels;
    const char* name;
  };
  const BusRow buses[] = {{kAudio, kInput, 0, 0, ""},
                          {kAudio, kOutput, 1, 2, "Output"},
                          {kEvent, kInput, 1, 16, "MIDI In"},
                          {kEvent, kOutput, 0, 0, ""}};
  for (const BusRow& b : buses) {
    SCOPED_TRACE(testing::Message() << b.type << "/" << b.direction);
    EXPECT_EQ(c->getBusCount(b.type, b.direction), b.count);
    BusInfo info{};
    for (int32_t index = 0; index < b.count; ++index) {
      ASSERT_EQ(c->getBusInfo(b.type, b.direction, index, &info), kResultOk);
      EXPECT_EQ(info.mediaType, b.type);
      EXPECT_EQ(info.direction, b.direction);
      EXPECT_EQ(info.channelCount, b.channels);
      EXPECT_EQ(narrow(info.name), b.name);
      EXPECT_EQ(info.busType, kMain);
      EXPECT_EQ(info.flags, kDefaultActive);
      EXPECT_EQ(c->activateBus(b.type, b.direction, index, 0), kResultOk);
      EXPECT_EQ(c->activateBus(b.type, b.direction, index, 1), kResultOk);
    }
    EXPECT_NE(c->getBusInfo(b.type, b.direction, b.count, &info), kResultOk);
    EXPECT_NE(c->activateBus(b.type, b.direction, b.count, 1), kResultOk);
  }
  SpeakerArrangement none = 0, stereo = kStereo, mono = kMono, arrangement = 0;
  EXPECT_EQ(p->setBusArrangements(&none, 0, &stereo, 1), kResultOk);
  EXPECT_EQ(p->setBusArrangements(&none, 0, &mono, 1), kResultFalse);
  EXPECT_EQ(p->setBusArrangements(&stereo, 1, &stereo, 1), kResultFalse);
  EXPECT_EQ(p->setBusArrangements(&none, 0, &stereo, 0), kResultFalse);
  ASSERT_EQ(p->getBusArrangement(kOutput, 0, &arrangement), kResultOk);
  EXPECT_EQ(arrangement, kStereo);
  EXPECT_NE(p->getBusArrangement(kInput, 0, &arrangement), kResultOk);
  EXPECT_EQ(p->canProcessSampleSize(kSample32), kResultOk);
  EXPECT_EQ(p->canProcessSampleSize(kSample64), kResultFalse);
  ProcessSetup wide{kRealtime, kSample64, 512, 48000.0}, badRate{kRealtime, kSample32, 512, 0.0};
  EXPECT_EQ(p->setupProcessing(&wide), kResultFalse);
  EXPECT_EQ(p->setupProcessing(&badRate), kResultFalse);
  EXPECT_EQ(p->getLatencySamples(), 0u);
  char cid[16] = {};
  ASSERT_EQ(c->getControllerClassId(cid), kResultOk);
  EXPECT_EQ(std::vector<uint8_t>(cid, cid + 16), bytesOf(kControllerCid));
}

// ---- Parameters, texts, programs --------------------------------------------------------------

AEffect* openVst2() {
  RecordingHost::instance().reset();
  return builtPlugin().entry("main")(&RecordingHost::callback);
}

std::string vst2Text(AEffect* effect, int32_t opcode, int32_t index) {
  char text[64] = {};
  dispatch(effect, opcode, index, 0, text);
  return text;
}

TEST(Vst3Controller, ParametersAreVst2sWithItsNamesTextsAndDefaults) {
  ASSERT_TRUE(builtPlugin().loaded()) << builtPlugin().error();
  Synth synth;
  ASSERT_TRUE(synth.ok()) << synth.error();
  IEditController* c = synth.controller();
  AEffect* effect = openVst2();
  ASSERT_EQ(c->getParameterCount(), 20);
  for (int32_t i = 0; i < kNumParams; ++i) {
    SCOPED_TRACE(kParameters[i].name);
    vst3::ParameterInfo info{};
    ASSERT_EQ(c->getParameterInfo(i, &info), kResultOk);
    EXPECT_EQ(info.id, static_cast<ParamID>(i));
    EXPECT_EQ(narrow(info.title), vst2Text(effect, effGetParamName, i));
    EXPECT_EQ(narrow(info.units), vst2Text(effect, effGetParamLabel, i));
    EXPECT_EQ(info.defaultNormalizedValue, effect->getParameter(effect, i));
    EXPECT_EQ(c->getParamNormalized(info.id), effect->getParameter(effect, i));
    EXPECT_EQ(info.stepCount, 0);
    EXPECT_EQ(info.flags, kCanAutomate);
    EXPECT_EQ(info.unitId, kRootUnitId);
    for (const float v : {0.0f, 0.125f, 0.33f, 0.5f, 0.875f, 0.994f, 0.995f, 1.0f}) {
      effect->setParameter(effect, i, v);
      TChar text[128] = {};
      ASSERT_EQ(c->getParamStringByValue(info.id, v, text), kResultOk);
      EXPECT_EQ(narrow(text), vst2Text(effect, effGetParamDisplay, i)) << v;
      ParamValue back = -1.0;
      ASSERT_EQ(c->getParamValueByString(info.id, text, &back), kResultOk);
      EXPECT_NEAR(back, v, 0.005 + 1e-9);  // two decimals
    }
    // Plain is normalized for these.
    EXPECT_EQ(c->normalizedParamToPlain(info.id, 0.3), 0.3);
    EXPECT_EQ(c->plainParamToNormalized(info.id, 0.7), 0.7);
  }
  vst3::ParameterInfo program{};
  ASSERT_EQ(c->getParameterInfo(kNumParams, &program), kResultOk);
  EXPECT_EQ(program.id, kProgramId);
  EXPECT_EQ(program.flags, kIsProgramChange | kIsList);
  EXPECT_EQ(program.stepCount, 31);
  EXPECT_EQ(program.unitId, kRootUnitId);
  EXPECT_EQ(program.defaultNormalizedValue, 0.0);
  for (int32_t n = 0; n < kNumPrograms; ++n) {
    TChar text[128] = {};
    ASSERT_EQ(c->getParamStringByValue(kProgramId, n / 31.0, text), kResultOk);
    EXPECT_EQ(narrow(text), vst2Text(effect, effGetProgramNameIndexed, n));
    ParamValue back = -1.0;
    ASSERT_EQ(c->getParamValueByString(kProgramId, text, &back), kResultOk);
    EXPECT_EQ(c->normalizedParamToPlain(kProgramId, back), n);
  }
  // The MIDI-mapped ones are hidden from automation lists.
  for (int32_t i = kNumParams + 1; i < c->getParameterCount(); ++i) {
    vst3::ParameterInfo info{};
    ASSERT_EQ(c->getParameterInfo(i, &info), kResultOk);
    EXPECT_EQ(info.flags, kIsHidden) << narrow(info.title);
    EXPECT_EQ(info.id, kMidiParameters[i - kNumParams - 1].id);
  }
  vst3::ParameterInfo beyond{};
  EXPECT_NE(c->getParameterInfo(20, &beyond), kResultOk);
  dispatch(effect, effClose);
}

TEST(Vst3Controller, ProgramListAndMidiMapping) {
  Synth synth;
  ASSERT_TRUE(synth.ok()) << synth.error();
  Ref<IUnitInfo> units = query<IUnitInfo>(synth.controller());
  ASSERT_TRUE(units);
  ASSERT_EQ(units->getUnitCount(), 1);
  UnitInfo unit{};
  ASSERT_EQ(units->getUnitInfo(0, &unit), kResultOk);
  EXPECT_EQ(unit.id, kRootUnitId);
  EXPECT_EQ(unit.parentUnitId, kNoParentUnitId);
  ASSERT_EQ(units->getProgramListCount(), 1);
  ProgramListInfo list{};
  ASSERT_EQ(units->getProgramListInfo(0, &list), kResultOk);
  // Hosts list the programs when the unit of the program parameter names this list.
  EXPECT_EQ(unit.programListId, list.id);
  EXPECT_EQ(list.programCount, 32);
  ProgramBank fresh;
  for (int32_t n = 0; n < 32; ++n) {
    TChar name[128] = {};
    ASSERT_EQ(units->getProgramName(list.id, n, name), kResultOk);
    char expected[kProgramNameBytes];
    fresh.getProgramNameIndexed(n, expected, sizeof expected);
    EXPECT_EQ(narrow(name), expected);
  }
  TChar name[128] = {};
  EXPECT_NE(units->getProgramName(list.id, 32, name), kResultOk);
  EXPECT_NE(units->getProgramName(list.id + 1, 0, name), kResultOk);

  Ref<IMidiMapping> mapping = query<IMidiMapping>(synth.controller());
  ASSERT_TRUE(mapping);
  for (int16_t channel = 0; channel < 16; ++channel)
    for (int16_t controller = 0; controller < 130; ++controller) {
      ParamID id = kNoParamId;
      const tresult result = mapping->getMidiControllerAssignment(0, channel, controller, &id);
      ParamID expected = kNoParamId;
      for (const MidiParameter& m : kMidiParameters)
        if (m.controller == controller) expected = m.id;
      EXPECT_EQ(result, expected == kNoParamId ? kResultFalse : kResultOk) << controller;
      EXPECT_EQ(id, expected) << controller;
    }
  ParamID id = kNoParamId;
  EXPECT_EQ(mapping->getMidiControllerAssignment(1, 0, kPitchBend, &id), kResultFalse);
}

// ---- The same bits as VST 2 ---------------------------------------------------------------------

bool isNote(const TimedMidi& m) { return (m.status & 0xE0) == 0x80; }

// VST 2 in blocks of 512, also cut at every automation point, where setParameter goes between
// the parts. At one frame the MIDI-mapped messages come before the notes, as VST 3 delivers them.
Render renderVst2(const Song& song, float rate, int32_t program = 0) {
  Render out(static_cast<size_t>(2 * song.length));
  AEffect* effect = openVst2();
  dispatch(effect, effSetSampleRate, 0, 0, nullptr, rate);
  dispatch(effect, effSetBlockSize, 0, 512);
  dispatch(effect, effMainsChanged, 0, 1);
  dispatch(effect, effSetProgram, 0, program);
  std::vector<TimedMidi> midi = song.midi;
  std::stable_sort(midi.begin(), midi.end(), [](const TimedMidi& a, const TimedMidi& b) {
    return a.frame != b.frame ? a.frame < b.frame : !isNote(a) && isNote(b);
  });
  for (int64_t pos = 0; pos < song.length;) {
    int64_t end = std::min<int64_t>(pos + 512, song.length);
    for (const Automation& a : song.automation)
      if (a.frame > pos) end = std::min(end, a.frame);
    for (const Automation& a : song.automation)
      if (a.frame == pos) effect->setParameter(effect, a.index, a.value);
    MidiList list;
    for (const TimedMidi& m : midi)
      if (m.frame >= pos && m.frame < end)
        list.add(static_cast<int32_t>(m.frame - pos), m.status, m.data1, m.data2);
    dispatch(effect, effProcessEvents, 0, 0, list.list());
    float* outputs[2] = {&out[static_cast<size_t>(pos)], &out[static_cast<size_t>(song.length + pos)]};
    effect->processReplacing(effect, nullptr, outputs, static_cast<int32_t>(end - pos));
    pos = end;
  }
  dispatch(effect, effClose);
  return out;
}

// What Ardour hands a VST 3 instrument for the same MIDI: notes as events (velocity byte / 127,
// a note-on of velocity 0 as such), bends and controllers as points of the mapped parameters;
// automation as parameter points at their offsets.
void addMidi(Synth& synth, const TimedMidi& m, int32_t offset) {
  switch (m.status & 0xF0) {
    case 0x90:
      synth.events().noteOn(offset, m.data1, m.data2 / 127.0f, m.status & 0x0F);
      break;
    case 0x80:
      synth.events().noteOff(offset, m.data1, m.data2 / 127.0f, m.status & 0x0F);
      break;
    case 0xE0:
      synth.parameters().add(kPitchBendId, offset, (m.data1 | m.data2 << 7) / 16383.0);
      break;
    case 0xB0:
      for (const MidiParameter& p : kMidiParameters)
        if (p.controller == m.data1) synth.parameters().add(p.id, offset, m.data2 / 127.0);
      break;
    default:
      break;
  }
}

Render renderVst3(const Song& song, double rate, const std::vector<int32_t>& sizes,
                  const std::function<void(Synth&)>& prepare = {}) {
  Render out(static_cast<size_t>(2 * song.length), 1e9f);
  Synth synth(rate, *std::max_element(sizes.begin(), sizes.end()));
  if (!synth.ok()) {
    ADD_FAILURE() << synth.error();
    return {};
  }
  if (prepare) prepare(synth);
  size_t k = 0;
  for (int64_t pos = 0; pos < song.length;) {
    const int64_t end = std::min<int64_t>(pos + sizes[k++ % sizes.size()], song.length);
    for (const Automation& a : song.automation)
      if (a.frame >= pos && a.frame < end)
        synth.parameters().add(static_cast<ParamID>(a.index), static_cast<int32_t>(a.frame - pos), a.value);
    for (const TimedMidi& m : song.midi)
      if (m.frame >= pos && m.frame < end) addMidi(synth, m, static_cast<int32_t>(m.frame - pos));
    EXPECT_EQ(synth.render(&out[static_cast<size_t>(pos)], &out[static_cast<size_t>(song.length + pos)],
                           static_cast<int32_t>(end - pos)),
              kResultOk);
    pos = end;
  }
  return out;
}

TEST(Vst3Render, SameBitsAsVst2AtAnyRateAndBlockSize) {
  ASSERT_TRUE(builtPlugin().loaded()) << builtPlugin().error();
  for (const float rate : {44100.0f, 48000.0f, 96000.0f}) {
    SCOPED_TRACE(rate);
    const Song song = randomSong(static_cast<int64_t>(rate * 2.5f), static_cast<uint64_t>(rate),
                                 {.fineDetail = true});
    const Render vst2 = renderVst2(song, rate);
    EXPECT_GT(peakOf(vst2), 0.02f);
    for (const int32_t size : {1, 7, 64, 512, 4096}) {
      SCOPED_TRACE(testing::Message() << "blocks of " << size);
      EXPECT_EQ(firstDifference(renderVst3(song, rate, {size}), vst2), -1);
    }
  }
}

// Velocities between the MIDI steps play as v × 127 rounded, at least 1; 0 releases.
TEST(Vst3Render, VelocitiesRoundToMidiStepsAndZeroReleases) {
  struct Row {
    float velocity;
    int vst2Velocity;  // 0: the note-on is a note-off
  };
  const Row rows[] = {{1.0f, 127}, {2.0f, 127},       {0.5f, 64},        {0.49999997f, 63},
                      {0.0001f, 1}, {1.0f / 127, 1}, {100.4f / 127, 100}, {0.0f, 0}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.velocity);
    Song reference{12000, {{0, 0x90, 60, 90}, {4000, 0x90, 60, static_cast<uint8_t>(row.vst2Velocity)}}, {}};
    const Render vst2 = renderVst2(reference, 44100.0f);
    Render vst3(vst2.size());
    Synth synth;
    ASSERT_TRUE(synth.ok()) << synth.error();
    for (int64_t pos = 0; pos < 12000; pos += 4000) {
      if (pos == 0) synth.events().noteOn(0, 60, 90 / 127.0f);
      if (pos == 4000) synth.events().noteOn(0, 60, row.velocity);
      synth.render(&vst3[static_cast<size_t>(pos)], &vst3[static_cast<size_t>(12000 + pos)], 4000);
    }
    EXPECT_EQ(firstDifference(vst3, vst2), -1);
  }
}

// ---- State --------------------------------------------------------------------------------------

std::vector<uint8_t> editedBank() {
  BankImage image = [] {
    ProgramBank bank;
    return bank.bankImage();
  }();
  image.programs[5].values[kCutOff] = 0.125f;
  std::strcpy(image.programs[5].name, "Renamed");
  image.currentProgram = 5;
  return encodeBank(image);
}

TEST(Vst3State, RoundTripThroughComponentAndController) {
  Synth a;
  ASSERT_TRUE(a.ok()) << a.error();
  const std::vector<uint8_t> bank = editedBank();
  ASSERT_EQ(a.setComponentState(bank), kResultOk);
  EXPECT_EQ(a.componentState(), bank);
  IEditController* c = a.controller();
  EXPECT_EQ(c->getParamNormalized(kCutOff), 0.125);
  EXPECT_EQ(c->getParamNormalized(kProgramId), 5 / 31.0);
  TChar text[128] = {};
  ASSERT_EQ(c->getParamStringByValue(kProgramId, 5 / 31.0, text), kResultOk);
  EXPECT_EQ(narrow(text), "Renamed") << "program names follow the state";
  Ref<IUnitInfo> units = query<IUnitInfo>(c);
  ASSERT_EQ(units->getProgramName(kProgramListId, 5, text), kResultOk);
  EXPECT_EQ(narrow(text), "Renamed");

  // An edit made in process() is in the next state; a new instance restored from it sounds the
  // same.
  a.parameters().add(kQ, 10, 0.75);
  std::vector<float> l(64), r(64);
  a.render(l.data(), r.data(), 64);
  const std::vector<uint8_t> saved = a.componentState();
  BankImage image{};
  ASSERT_TRUE(decodeBank(saved.data(), saved.size(), image));
  EXPECT_EQ(image.programs[5].values[kQ], 0.75f);
  Synth b;
  ASSERT_TRUE(b.ok()) << b.error();
  ASSERT_EQ(b.setComponentState(saved), kResultOk);
  EXPECT_EQ(b.componentState(), saved);
  const Song phrase{20000, {{10, 0x90, 57, 100}, {9000, 0x80, 57, 0}}, {}};
  const auto play = [&](Synth& s) {
    Render out(40000);
    for (const TimedMidi& m : phrase.midi) addMidi(s, m, static_cast<int32_t>(m.frame));
    s.render(out.data(), out.data() + 20000, 20000);
    return out;
  };
  const Render fromA = play(a);
  EXPECT_GT(peakOf(fromA), 0.02f);
  EXPECT_EQ(firstDifference(play(b), fromA), -1);

  // The controller's own state is empty, and empty data is welcome back.
  Ref<MemoryStream> own(new MemoryStream({}, 48));
  EXPECT_EQ(c->getState(own.get()), kResultOk);
  EXPECT_TRUE(own->data().empty());
  Ref<MemoryStream> empty(new MemoryStream({}, 48));
  EXPECT_EQ(c->setState(empty.get()), kResultOk);
}

// The tuning travels in the state after the bank: it comes back without its files, a state
// without one brings back the default, a damaged one changes nothing, and the host's own data
// after ours is left where it stands.
TEST(Vst3State, TheTuningTravelsWithTheState) {
  TuningFiles files;
  std::string scale = "! 19edo.scl\n19 equal steps of the octave\n 19\n";
  for (int k = 1; k < 19; ++k) scale += std::to_string(1200.0 * k / 19) + "\n";
  files.scale = ScalaText{"19edo.scl", scale + "2/1\n"};
  const std::vector<uint8_t> bank = editedBank(), tuning = encodeTuning(files);
  const std::vector<uint8_t> state = [&] {
    std::vector<uint8_t> bytes = bank;
    bytes.insert(bytes.end(), tuning.begin(), tuning.end());
    return bytes;
  }();
  const auto play = [](Synth& s) {
    Render out(8000);
    addMidi(s, {10, 0x90, 64, 100}, 10);
    s.render(out.data(), out.data() + 4000, 4000);
    return out;
  };
  Synth tuned, plain, restored;
  ASSERT_TRUE(tuned.ok() && plain.ok() && restored.ok()) << tuned.error();
  ASSERT_EQ(tuned.setComponentState(state), kResultOk);
  EXPECT_EQ(tuned.componentState(), state);
  ASSERT_EQ(plain.setComponentState(bank), kResultOk);
  ASSERT_EQ(restored.setComponentState(tuned.componentState()), kResultOk);
  const Render fromTuned = play(tuned);
  EXPECT_NE(firstDifference(play(plain), fromTuned), -1) << "the tuning is heard";
  EXPECT_EQ(firstDifference(play(restored), fromTuned), -1) << "and comes back without files";

  std::vector<uint8_t> damaged = state;
  damaged[bank.size() + 8] = 'X';  // the tuning's identifier
  EXPECT_EQ(tuned.setComponentState(damaged), kResultFalse);
  EXPECT_EQ(tuned.componentState(), state);
  ASSERT_EQ(tuned.setComponentState(bank), kResultOk);
  EXPECT_EQ(tuned.componentState(), bank) << "a state without a tuning brings back the default";

  const std::vector<uint8_t> hostData = {'h', 'o', 's', 't', ' ', 'd', 'a', 't', 'a', ' ', 'a',
                                         'f', 't', 'e', 'r', ' ', 'o', 'u', 'r', 's'};
  for (const std::vector<uint8_t>* ours : {&bank, &state}) {
    std::vector<uint8_t> stream = *ours;
    stream.insert(stream.end(), hostData.begin(), hostData.end());
    Ref<MemoryStream> in(new MemoryStream(stream, 48));
    EXPECT_EQ(tuned.component()->setState(in.get()), kResultOk);
    EXPECT_EQ(in->position(), 48 + ours->size()) << "the host's data is left to the host";
    EXPECT_EQ(tuned.componentState(), *ours);
  }
}

TEST(Vst3State, OtherDamagedOrEmptyDataChangesNothing) {
  Synth synth;
  ASSERT_TRUE(synth.ok()) << synth.error();
  ASSERT_EQ(synth.setComponentState(editedBank()), kResultOk);
  const std::vector<uint8_t> before = synth.componentState();
  const auto changed = [&](size_t at, uint8_t to) {
    std::vector<uint8_t> b = before;
    b[at] = to;
    return b;
  };
  std::vector<uint8_t> cut = before;
  cut.resize(before.size() - 1);
  std::vector<uint8_t> longer = before;
  longer[12] = static_cast<uint8_t>(longer[12] + 4);
  longer.insert(longer.end(), 4, 0);
  const std::vector<std::pair<const char*, std::vector<uint8_t>>> refused = {
      {"empty", {}},
      {"another plug-in's", changed(8, 'X')},
      {"a value out of range", changed(before.size() - 1, 0x7F)},
      {"cut short", cut},
      {"a size that does not match", longer},
      {"a current program out of range", changed(24, 32)},
  };
  IEditController* c = synth.controller();
  const double cutoff = c->getParamNormalized(kCutOff);
  for (const auto& [what, bytes] : refused) {
    SCOPED_TRACE(what);
    Ref<MemoryStream> forComponent(new MemoryStream(bytes, 48));
    EXPECT_EQ(synth.component()->setState(forComponent.get()), kResultFalse);
    Ref<MemoryStream> forController(new MemoryStream(bytes, 48));
    EXPECT_EQ(c->setComponentState(forController.get()), kResultFalse);
    EXPECT_EQ(synth.componentState(), before);
    EXPECT_EQ(c->getParamNormalized(kCutOff), cutoff);
    EXPECT_EQ(c->getParamNormalized(kProgramId), 5 / 31.0);
  }
}

// Hosts that never hand the controller the component's state: the component sends it through
// the connection points (and the host's proxies) when it is restored.
TEST(Vst3State, TheComponentTellsTheControllerThroughTheConnection) {
  Synth synth;
  ASSERT_TRUE(synth.ok()) << synth.error();
  const int32_t messages = synth.host().messagesCreated;
  Ref<MemoryStream> stream(new MemoryStream(editedBank(), 48));
  ASSERT_EQ(synth.component()->setState(stream.get()), kResultOk);
  EXPECT_EQ(synth.host().messagesCreated, messages + 1);
  EXPECT_EQ(synth.controller()->getParamNormalized(kCutOff), 0.125);
  EXPECT_EQ(synth.controller()->getParamNormalized(kProgramId), 5 / 31.0);
  EXPECT_TRUE(synth.handler().restarts.empty()) << "no restart from inside a host's call";
}

// ---- Programs -----------------------------------------------------------------------------------

// A program chosen as Ardour chooses presets: the program parameter to the processor and the
// controller. It sounds as VST 2's program, the values come back as the plug-in's output
// changes, and a parameter point in the same block lands in the new program.
TEST(Vst3Programs, SelectingAProgramSoundsAndReportsItsValues) {
  const Song phrase{30000, {{10, 0x90, 60, 100}, {9000, 0x90, 67, 90}, {15000, 0x80, 60, 0}}, {}};
  const Render vst2 = renderVst2(phrase, 44100.0f, 1);
  EXPECT_GT(peakOf(vst2), 0.02f);
  EXPECT_EQ(firstDifference(renderVst3(phrase, 44100.0, {256}, [](Synth& s) { s.selectProgram(1); }), vst2), -1);

  Synth synth;
  ASSERT_TRUE(synth.ok()) << synth.error();
  synth.selectProgram(1);
  std::vector<float> l(64), r(64);
  synth.render(l.data(), r.data(), 64);
  for (int32_t i = 0; i < kNumParams; ++i) {
    SCOPED_TRACE(kParameters[i].name);
    ParamValue reported = -1.0;
    EXPECT_TRUE(synth.output().last(static_cast<ParamID>(i), &reported));
    EXPECT_EQ(reported, kParameters[i].ethDrm);
    EXPECT_EQ(synth.controller()->getParamNormalized(static_cast<ParamID>(i)), kParameters[i].ethDrm);
  }
  ParamValue program = -1.0;
  EXPECT_TRUE(synth.output().last(kProgramId, &program));
  EXPECT_EQ(program, 1 / 31.0);
  EXPECT_TRUE(synth.handler().restarts.empty()) << "no restart from inside a host's call";

  synth.selectProgram(3);
  synth.parameters().add(kCutOff, 5, 0.25);
  synth.render(l.data(), r.data(), 64);
  BankImage image{};
  const std::vector<uint8_t> state = synth.componentState();
  ASSERT_TRUE(decodeBank(state.data(), state.size(), image));
  EXPECT_EQ(image.currentProgram, 3);
  EXPECT_EQ(image.programs[3].values[kCutOff], 0.25f);
  EXPECT_EQ(image.programs[0].values[kCutOff], kParameters[kCutOff].initial);
  // The same program again is no change: nothing to report.
  synth.selectProgram(3);
  synth.render(l.data(), r.data(), 64);
  ParamValue reported = 0.0;
  EXPECT_FALSE(synth.output().last(kProgramId, &reported));
}

#if defined(_WIN32)
// The Windows view: the Win32 panel as a child of the host's HWND, sized before it is attached;
// removed, it leaves the host's window empty. Only where a display is promised
// (scripts/wine-gui-test.sh).
TEST(Vst3Win32View, ThePanelIsAChildOfTheHostsWindow) {
  if (std::getenv("VELA_GUI_TESTS") == nullptr) GTEST_SKIP() << "no display promised";
  Synth synth;
  ASSERT_TRUE(synth.ok()) << synth.error();
  HWND host = CreateWindowExA(0, "STATIC", "host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40, 640,
                              400, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  ASSERT_NE(host, nullptr);
  Ref<IPlugView> view(synth.controller()->createView("editor"));
  ASSERT_TRUE(view);
  EXPECT_EQ(view->isPlatformTypeSupported("HWND"), kResultOk);
  EXPECT_EQ(view->isPlatformTypeSupported("X11EmbedWindowID"), kResultFalse);
  ViewRect size{};
  ASSERT_EQ(view->getSize(&size), kResultOk);
  EXPECT_EQ(size.right - size.left, 481);
  EXPECT_EQ(size.bottom - size.top, 281);
  view->setFrame(static_cast<IPlugFrame*>(&synth.handler()));
  ASSERT_EQ(view->attached(host, "HWND"), kResultOk);
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
  HWND panel = GetWindow(host, GW_CHILD);
  ASSERT_NE(panel, nullptr);
  RECT r{};
  GetWindowRect(panel, &r);
  EXPECT_EQ(r.right - r.left, 481);
  EXPECT_EQ(r.bottom - r.top, 281);
  EXPECT_TRUE(IsWindowVisible(panel));
  EXPECT_EQ(view->removed(), kResultOk);
  EXPECT_EQ(GetWindow(host, GW_CHILD), nullptr);
  view->setFrame(nullptr);
  DestroyWindow(host);
}
#endif

}  // namespace
