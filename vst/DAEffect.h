// The descriptor record, base opcodes and flag bits of the VST 2 binary interface.
// Written from the published layout: on 32-bit x86 the record is 144 bytes; 64-bit targets
// widen the pointers and the two reserved words and keep the field order.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32) && !defined(_WIN64)
#define VELA_CDECL __cdecl
#else
#define VELA_CDECL
#endif

struct AEffect;

// Host callback: (effect or null, opcode, index, value, ptr, opt).
typedef intptr_t(VELA_CDECL* audioMasterCallback)(AEffect* effect, int32_t opcode, int32_t index,
                                                  intptr_t value, void* ptr, float opt);

typedef intptr_t(VELA_CDECL* AEffectDispatcherFn)(AEffect* effect, int32_t opcode, int32_t index,
                                                  intptr_t value, void* ptr, float opt);
typedef void(VELA_CDECL* AEffectProcessFn)(AEffect* effect, float** inputs, float** outputs,
                                           int32_t sampleFrames);
typedef void(VELA_CDECL* AEffectSetParameterFn)(AEffect* effect, int32_t index, float value);
typedef float(VELA_CDECL* AEffectGetParameterFn)(AEffect* effect, int32_t index);

struct AEffect {
  int32_t magic;
  AEffectDispatcherFn dispatcher;
  AEffectProcessFn process;
  AEffectSetParameterFn setParameter;
  AEffectGetParameterFn getParameter;
  int32_t numPrograms;
  int32_t numParams;
  int32_t numInputs;
  int32_t numOutputs;
  int32_t flags;
  intptr_t resvd1;
  intptr_t resvd2;
  int32_t initialDelay;
  int32_t realQualities;
  int32_t offQualities;
  float ioRatio;
  void* object;
  void* user;
  int32_t uniqueID;
  int32_t version;
  AEffectProcessFn processReplacing;
  char future[60];
};

#if defined(__i386__) || defined(_M_IX86)
static_assert(sizeof(AEffect) == 144, "the 32-bit descriptor is 144 bytes");
static_assert(offsetof(AEffect, processReplacing) == 80 && offsetof(AEffect, future) == 84);
#endif

// ERect: the editor rectangle handed to the host by effEditGetRect.
struct ERect {
  int16_t top;
  int16_t left;
  int16_t bottom;
  int16_t right;
};

constexpr int32_t kEffectMagic = 0x56737450;  // 'VstP'

constexpr int32_t effFlagsHasEditor = 1;
constexpr int32_t effFlagsHasClip = 2;
constexpr int32_t effFlagsHasVu = 4;
constexpr int32_t effFlagsCanMono = 8;
constexpr int32_t effFlagsCanReplacing = 16;
constexpr int32_t effFlagsProgramChunks = 32;

// Dispatcher opcodes answered by the effect base.
enum : int32_t {
  effOpen = 0,
  effClose = 1,
  effSetProgram = 2,
  effGetProgram = 3,
  effSetProgramName = 4,
  effGetProgramName = 5,
  effGetParamLabel = 6,
  effGetParamDisplay = 7,
  effGetParamName = 8,
  effGetVu = 9,
  effSetSampleRate = 10,
  effSetBlockSize = 11,
  effMainsChanged = 12,
  effEditGetRect = 13,
  effEditOpen = 14,
  effEditClose = 15,
  effEditDraw = 16,
  effEditMouse = 17,
  effEditKey = 18,
  effEditIdle = 19,
  effEditTop = 20,
  effEditSleep = 21,
  effIdentify = 22,
  effGetChunk = 23,
  effSetChunk = 24,
};

// Host callback opcodes of the base wrappers.
enum : int32_t {
  audioMasterAutomate = 0,
  audioMasterVersion = 1,
  audioMasterCurrentId = 2,
  audioMasterIdle = 3,
  audioMasterPinConnected = 4,
};

// Buffer sizes hosts give for texts, terminator included. Several give exactly these.
constexpr size_t kParamTextSize = 8;
constexpr size_t kProgramNameSize = 24;
constexpr size_t kEffectNameSize = 32;
constexpr size_t kVendorTextSize = 64;
