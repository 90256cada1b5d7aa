// The render entry points and the load/store glue between the engine's per-slot arrays and the
// renderers' local voice records. A block is cut at the frames of its queued events: each stretch
// between two events copies the voices into locals, renders, and writes them back once; the event
// then acts on the arrays.
#include "EngineChunks.h"

using namespace engine;

float cutoffCoefficient(float e, float env, float cutoffCoef, float keyTrack) {
  return voiceCutoff(static_cast<double>(e), static_cast<double>(env),
                     static_cast<double>(cutoffCoef), static_cast<double>(keyTrack));
}

template <class Run>
void VelaEngine::loadVoice(int32_t n, Run& v) const {
  v.phase1 = mod1Phase[n];
  v.phase2 = mod2Phase[n];
  v.phaseC = carrierPhase[n];
  v.inc1 = mod1Inc[n];
  v.inc2 = mod2Inc[n];
  v.incC = carrierInc[n];
  v.out1 = mod1Out[n];
  v.out2 = mod2Out[n];
  v.band1 = filterBand[n][0];
  v.low1 = filterLow[n][0];
  v.band2 = filterBand[n][1];
  v.low2 = filterLow[n][1];
  v.state = envState[n];
  v.attackCounter = attackCounter[n];
  v.decayCounter = decayCounter[n];
  v.releaseCounter = releaseCounter[n];
  v.countdown = noteOffCountdown[n];
  v.level = envLevel[n];
  v.keyTrack = static_cast<double>(keyTrack[n]);
  v.gain = static_cast<double>(voiceGain[n]);
}

template <class Run>
void VelaEngine::storeVoice(int32_t n, const Run& v) {
  mod1Phase[n] = v.phase1;
  mod2Phase[n] = v.phase2;
  carrierPhase[n] = v.phaseC;
  mod1Out[n] = v.out1;
  mod2Out[n] = v.out2;
  filterBand[n][0] = v.band1;
  filterLow[n][0] = v.low1;
  filterBand[n][1] = v.band2;
  filterLow[n][1] = v.low2;
  envState[n] = v.state;
  attackCounter[n] = v.attackCounter;
  decayCounter[n] = v.decayCounter;
  releaseCounter[n] = v.releaseCounter;
  noteOffCountdown[n] = v.countdown;
  envLevel[n] = v.level;
}

template <class Coefs>
void VelaEngine::loadCoefs(Coefs& k) const {
  k.sine = &tables->sine;
  k.fb1 = static_cast<double>(fb1Amount);
  k.fb2 = static_cast<double>(fb2Amount);
  k.fb1Fixed = static_cast<int64_t>(k.fb1 * 0x1p40);
  k.fb2Fixed = static_cast<int64_t>(k.fb2 * 0x1p40);
  k.sustain = static_cast<double>(sustainLevel);
  k.sustainF = sustainLevel;
  k.env = static_cast<double>(envAmount);
  k.cutoffCoef = static_cast<double>(cutoffCoef);
  k.damping = static_cast<double>(dampingCoef);
  k.filterType = filterType;
  k.attackSamples = attackSamples;
  k.decaySamples = decaySamples;
  k.releaseSamples = releaseSamples;
  k.mod1Sync = mod1Sync;
  k.mod2Sync = mod2Sync;
}

void VelaEngine::renderVoice(int32_t voice, float* left, float* right) {
  if (!(voice >= 0 && voice < kNumVoiceSlots)) return;
  VoiceRun v;
  BlockCoefs k;
  loadVoice(voice, v);
  loadCoefs(k);
  const float out = renderSample<false>(v, k);
  storeVoice(voice, v);
  *left += out;
  *right += out;
}

int32_t VelaEngine::filterVoice(int32_t voice, int32_t input, float cutoff) {
  if (!(voice >= 0 && voice < kNumVoiceSlots)) return 0;
  VoiceRun v;
  BlockCoefs k;
  loadVoice(voice, v);
  loadCoefs(k);
  const int32_t y = filterStep(v, input, static_cast<double>(cutoff), k);
  storeVoice(voice, v);
  return y;
}

template <bool kReplace, class Coefs>
void VelaEngine::renderStretch(float* left, float* right, int32_t frames, const Coefs& k) {
  int32_t first = 0;
  if (maxVoice == 1) {
    VoiceRun v0, v1;
    loadVoice(0, v0);
    loadVoice(1, v1);
#if defined(VELA_CHUNKED_RENDER)
    if (runBounded(v0) && runBounded(v1))
      renderPairFast<kReplace>(left, right, frames, v0, v1, k);
    else
      renderPair<kReplace, false>(left, right, frames, v0, v1, k);
#else
    if (runBounded(v0) && runBounded(v1))
      renderPair<kReplace, true>(left, right, frames, v0, v1, k);
    else
      renderPair<kReplace, false>(left, right, frames, v0, v1, k);
#endif
    storeVoice(0, v0);
    storeVoice(1, v1);
    first = 2;
  } else if constexpr (kReplace) {
    for (int32_t i = 0; i < frames; ++i) left[i] = right[i] = 0.0f;
  }
  // Any further slots, one at a time: each sample still sums the voices in slot order.
  for (int32_t n = first; n <= maxVoice && n < kNumVoiceSlots; ++n) {
    VoiceRun v;
    loadVoice(n, v);
    if (runBounded(v))
      renderSingle<false, true>(left, right, frames, v, k);
    else
      renderSingle<false, false>(left, right, frames, v, k);
    storeVoice(n, v);
  }
}

template <bool kReplace, class Coefs>
void VelaEngine::renderTracked(float* left, float* right, int32_t from, int32_t to,
                               const Coefs& k) {
  // Within a stretch nothing but the envelope changes a voice, so where a tagged voice falls
  // silent follows from its state before the stretch.
  int32_t silent[kNumVoiceSlots];
  bool tagged[kNumVoiceSlots];
  for (int32_t n = 0; n <= maxVoice; ++n) {
    tagged[n] = voiceTag[n] != 0 && envState[n] > 0;
    silent[n] = tagged[n] ? silentFrom(n, from) : INT32_MAX;
  }
  renderStretch<kReplace>(left + from, right + from, to - from, k);
  for (int32_t n = 0; n <= maxVoice; ++n)
    if (tagged[n] && envState[n] == 0) reportVoiceEnd(n, silent[n] < to ? silent[n] : to - 1);
}

template <bool kReplace>
void VelaEngine::renderEvents(float* left, float* right, int32_t from, int32_t to) {
  const FlushToZeroScope flushToZero;
  BlockCoefs k;
  loadCoefs(k);
  // Events change voices, never coefficients: one load serves the whole part.
  int32_t done = from;
  for (; nextEvent < eventCount && events[nextEvent].frame < to; ++nextEvent) {
    const int32_t frame = events[nextEvent].frame;
    if (frame > done) {
      renderTracked<kReplace>(left, right, done, frame, k);
      done = frame;
    }
    applyEvent(events[nextEvent]);
  }
  if (to > done) renderTracked<kReplace>(left, right, done, to, k);
}


template <bool kReplace>
void VelaEngine::renderBlock(float* left, float* right, int32_t frames) {
  if (left == nullptr || right == nullptr || frames <= 0) return;
  beginParts(frames);
  renderEvents<kReplace>(left, right, 0, frames);
  endParts();
}

void VelaEngine::beginParts(int32_t frames) {
  orderEvents(frames);
  nextEvent = 0;
  voiceEndTotal = 0;
}

void VelaEngine::renderPart(float* left, float* right, int32_t from, int32_t to, bool replace) {
  if (left == nullptr || right == nullptr || !(from >= 0 && from < to)) return;
  if (replace)
    renderEvents<true>(left, right, from, to);
  else
    renderEvents<false>(left, right, from, to);
}

void VelaEngine::processReplacing(float* left, float* right, int32_t frames) {
  renderBlock<true>(left, right, frames);
}

void VelaEngine::process(float* left, float* right, int32_t frames) {
  renderBlock<false>(left, right, frames);
}
