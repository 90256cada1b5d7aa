// The module's entry points and its factory: one static factory (its references only count)
// with two classes, the component and its controller.
#include <cstring>
#include <new>

#include "VelaIdentity.h"
#include "Vst3Plugin.h"

using namespace vst3;

namespace velavst3 {
namespace {

struct ClassEntry {
  const Uid* cid;
  const char* category;
  const char* name;
  uint32_t flags;
  const char* subCategories;
};
// The two objects only exchange what hosts pass between them, so they may live apart.
constexpr ClassEntry kClasses[] = {
    {&kProcessorCid, kAudioEffectClass, vela::identity::kName, kDistributable, kSubCategories},
    {&kControllerCid, kComponentControllerClass, kControllerName, 0, ""},
};
constexpr int32_t kClassCount = static_cast<int32_t>(std::size(kClasses));
constexpr char kSdkVersion[] = "VST 3.7";

// Class `index` into the fields both class records begin with, the rest zero; null when there
// is no such class.
template <class Info>
const ClassEntry* describeClass(int32_t index, Info* info) {
  if (info == nullptr || index < 0 || index >= kClassCount) return nullptr;
  const ClassEntry& c = kClasses[index];
  *info = Info{};
  std::memcpy(info->cid, c.cid->bytes, sizeof info->cid);
  info->cardinality = kManyInstances;
  copyText8(info->category, c.category, sizeof info->category);
  copyText8(info->name, c.name, sizeof info->name);
  return &c;
}

class Factory final : public IPluginFactory2 {
 public:
  tresult queryInterface(TUIDPtr interfaceId, void** obj) override {
    if (obj == nullptr) return kInvalidArgument;
    if (offer<FUnknown>(interfaceId, obj, this) || offer<IPluginFactory>(interfaceId, obj, this) ||
        offer<IPluginFactory2>(interfaceId, obj, this))
      return kResultOk;
    return noInterface(obj);
  }
  uint32_t addRef() override { return refs.add(); }
  uint32_t release() override { return refs.drop(); }

  tresult getFactoryInfo(PFactoryInfo* info) override {
    if (info == nullptr) return kInvalidArgument;
    *info = PFactoryInfo{};
    copyText8(info->vendor, vela::identity::kVendor, sizeof info->vendor);
    info->flags = kUnicode;
    return kResultOk;
  }
  int32_t countClasses() override { return kClassCount; }
  tresult getClassInfo(int32_t index, PClassInfo* info) override {
    return describeClass(index, info) != nullptr ? kResultOk : kInvalidArgument;
  }
  tresult getClassInfo2(int32_t index, PClassInfo2* info) override {
    const ClassEntry* c = describeClass(index, info);
    if (c == nullptr) return kInvalidArgument;
    info->classFlags = c->flags;
    copyText8(info->subCategories, c->subCategories, sizeof info->subCategories);
    copyText8(info->vendor, vela::identity::kVendor, sizeof info->vendor);
    copyText8(info->version, vela::identity::kVersion, sizeof info->version);
    copyText8(info->sdkVersion, kSdkVersion, sizeof info->sdkVersion);
    return kResultOk;
  }
  tresult createInstance(FIDString cid, FIDString interfaceId, void** obj) override {
    if (obj == nullptr) return kInvalidArgument;
    *obj = nullptr;
    FUnknown* created = nullptr;
    if (sameUid(cid, kProcessorCid))
      created = static_cast<IComponent*>(new (std::nothrow) Processor);
    else if (sameUid(cid, kControllerCid))
      created = static_cast<IEditController*>(new (std::nothrow) Controller);
    else
      return kInvalidArgument;
    if (created == nullptr) return kOutOfMemory;
    // The caller's reference is the one the interface lookup adds; ours goes.
    const tresult result = created->queryInterface(interfaceId, obj);
    created->release();
    return result == kResultOk ? kResultOk : kNoInterface;
  }

 private:
  RefCount refs;
};

Factory factory;

}  // namespace
}  // namespace velavst3

#if defined(_WIN32)
#define VELA_VST3_EXPORT extern "C"  // VelaOrin.def names the exports
#else
#define VELA_VST3_EXPORT extern "C" __attribute__((visibility("default")))
#endif

// [UI thread] The host owns one reference to the factory it gets.
VELA_VST3_EXPORT vst3::IPluginFactory* GetPluginFactory() {
  velavst3::factory.addRef();
  return &velavst3::factory;
}

#if defined(_WIN32)
VELA_VST3_EXPORT bool InitDll() { return true; }
VELA_VST3_EXPORT bool ExitDll() { return true; }
#else
// Nothing to set up or tear down: the tables build on first use.
VELA_VST3_EXPORT bool ModuleEntry(void*) { return true; }
VELA_VST3_EXPORT bool ModuleExit() { return true; }
#endif
