// The fast path for the usual case: both playing voices with bounded phases, in chunks (see
// EngineChunks.cpp). Same bits as the per-sample voice.
#pragma once

#include "EngineVoice.h"

#if defined(__SSE2__) || defined(_M_X64)
#define VELA_CHUNKED_RENDER 1

namespace engine {

// Both voices through `frames` samples of left/right; kReplace writes instead of adding.
template <bool kReplace>
void renderPairFast(float* left, float* right, int32_t frames, VoiceRun& v0, VoiceRun& v1,
                    const BlockCoefs& k);

}  // namespace engine
#endif
