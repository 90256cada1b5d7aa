// The library's entry point: one call per instance the host wants.
#include "VelaOrinPlugin.h"

#if defined(_WIN32)
#define VELA_EXPORT
#else
#define VELA_EXPORT __attribute__((visibility("default")))
#endif

namespace {

AEffect* createInstance(audioMasterCallback audioMaster) {
  if (audioMaster == nullptr) return nullptr;
  if (audioMaster(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) return nullptr;
  // No failure may escape into the host: a constructor that throws yields no instance.
  try {
    return createVelaOrin(audioMaster)->getAeffect();
  } catch (...) {
    return nullptr;
  }
}

}  // namespace

// C++ reserves the name `main`, so the function carries another name and is exported as
// `main` (and `VSTPluginMain` where hosts look for that first) by the link step.
extern "C" VELA_EXPORT AEffect* VELA_CDECL VelaOrinMain(audioMasterCallback audioMaster) {
  return createInstance(audioMaster);
}

#if !defined(_WIN32)
extern "C" VELA_EXPORT AEffect* VSTPluginMain(audioMasterCallback audioMaster)
    __attribute__((alias("VelaOrinMain")));
extern "C" VELA_EXPORT AEffect* velaOrinMainAlias(audioMasterCallback audioMaster) __asm__("main")
    __attribute__((alias("VelaOrinMain")));
#endif
