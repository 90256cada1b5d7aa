// The factory library: 32 sounds made for this engine, to start from. Loaded only by choice (the
// bank file built from this table, VelaOrin-Factory.fxb, or presets made from it); a new
// instance still starts with "init1" ... "init32" and "Eth Drm".
//
// What the engine gives a sound to work with: two sine modulators a whole number of semitones
// (-12..+12) from the carrier, each with feedback (noise at the top), in parallel or in series
// ("M2S"), the first optionally driven by the carrier too ("M1S"); a modulation depth fixed at
// half a cycle; a linear ADSR (attack and decay up to 0.5 s, release up to 1 s) on the level and,
// by "Env", on the filter; a two-stage filter whose cutoff follows the note number and velocity.
// Two voices: one held note, the previous one releasing, so every sound here is meant for lines,
// not chords.
//
// Each row: the name (at most 23 characters), the kind of sound (which phrase it is heard on),
// and the 14 values by parameter index. Changing a value changes the sound's rendered hash in
// the library test; record the new one there when the change is meant.
#pragma once

#include <array>
#include <cstdint>

#include "VelaParameters.h"

enum class SoundKind { Bass, Lead, Pluck, Keys, Bell, Brass, Pad, Percussion, Effect };

// The kind as one lower-case word ("bass", "pad"...): the tag preset browsers file it under.
constexpr const char* soundKindName(SoundKind kind) {
  constexpr const char* kNames[] = {"bass",  "lead", "pluck",      "keys",  "bell",
                                    "brass", "pad",  "percussion", "effect"};
  return kNames[static_cast<int>(kind)];
}

struct FactorySound {
  const char* name;
  SoundKind kind;
  float values[kNumParams];  // Mod1 Mod2 FB1 FB2 A D S R CutOff Q Type Env M1S M2S
};

namespace factory_values {
// "Mod1"/"Mod2" for a modulator `n` semitones from the carrier.
constexpr float st(int n) { return 0.5f + static_cast<float>(n) / 24.0f; }
constexpr float LP = 0.0f, BP = 0.5f, HP = 1.0f;  // "Type"
constexpr float on = 1.0f, off = 0.0f;             // "M1S", "M2S"
}  // namespace factory_values

inline constexpr int32_t kFactorySoundCount = 32;

// clang-format off
inline constexpr std::array<FactorySound, kFactorySoundCount> kFactorySounds = [] {
  using namespace factory_values;
  using K = SoundKind;
  return std::array<FactorySound, kFactorySoundCount>{{
  //                                Mod1    Mod2    FB1   FB2   A     D     S     R     CutOff Q     Type Env   M1S  M2S
  // Basses
  // carrier and a modulator an octave below it, filtered low: a round, nearly pure low end
  {"Sub Bass",         K::Bass,   {st(0),  st(-12), 0.00f, 0.00f, 0.05f, 0.40f, 0.70f, 0.15f, 0.25f, 0.00f, LP, 0.30f, off, off}},
  // feedback on the first modulator and a second an octave up, swept by the envelope
  {"Growl Bass",       K::Bass,   {st(0),  st(12),  0.50f, 0.00f, 0.00f, 0.45f, 0.50f, 0.12f, 0.45f, 0.45f, LP, 0.80f, off, off}},
  // no sustain, the filter closing with the level: a bouncy, resonant pluck
  {"Rubber Pluck Bass",K::Bass,   {st(-12),st(0),   0.30f, 0.00f, 0.00f, 0.40f, 0.00f, 0.20f, 0.50f, 0.60f, LP, 1.00f, off, off}},
  // both modulators fed back in series into a resonant low-pass that the envelope opens
  {"Acid Reso Bass",   K::Bass,   {st(0),  st(0),   0.55f, 0.30f, 0.00f, 0.35f, 0.25f, 0.10f, 0.30f, 0.85f, LP, 1.00f, off, on }},
  // Leads
  // feedback on both modulators at the carrier's pitch: a bright saw-like tone that holds
  {"Saw Lead",         K::Lead,   {st(0),  st(0),   0.55f, 0.55f, 0.03f, 0.30f, 0.90f, 0.25f, 0.75f, 0.20f, LP, 0.20f, off, off}},
  // modulators a fifth up and a fourth down: hollow, organ-like partials with a slow beat
  {"Hollow Fifth Lead",K::Lead,   {st(7),  st(-5),  0.00f, 0.00f, 0.05f, 0.30f, 0.80f, 0.30f, 0.70f, 0.30f, LP, 0.00f, off, off}},
  // the carrier drives the first modulator too, into a resonant band-pass: a nasal scream
  {"Sync Scream",      K::Lead,   {st(12), st(7),   0.40f, 0.00f, 0.02f, 0.40f, 0.70f, 0.20f, 0.60f, 0.55f, BP, 0.50f, on,  on }},
  // an octave above and below in series, mostly filtered away, with a slow attack
  {"Soft Flute",       K::Lead,   {st(12), st(-12), 0.00f, 0.00f, 0.25f, 0.30f, 0.85f, 0.30f, 0.40f, 0.10f, LP, 0.20f, off, on }},
  // Plucks
  // octave modulation in series under a closing filter, ringing on after the note
  {"Harp Pluck",       K::Pluck,  {st(12), st(0),   0.00f, 0.00f, 0.00f, 0.55f, 0.00f, 0.45f, 0.55f, 0.10f, LP, 0.90f, off, on }},
  // a fourth and an octave in series through a resonant band-pass, struck and fading
  {"Koto",             K::Pluck,  {st(5),  st(12),  0.20f, 0.00f, 0.00f, 0.45f, 0.00f, 0.35f, 0.70f, 0.40f, BP, 0.70f, off, on }},
  // a sub-octave modulator and some feedback, the envelope shutting the filter fast
  {"Muted Guitar",     K::Pluck,  {st(0),  st(-12), 0.35f, 0.00f, 0.00f, 0.25f, 0.00f, 0.15f, 0.40f, 0.20f, LP, 1.00f, off, off}},
  // Keys
  // two octave modulators: a bell-like tine over a body that decays to a low sustain
  {"Tine Piano",       K::Keys,   {st(12), st(12),  0.00f, 0.00f, 0.00f, 0.70f, 0.25f, 0.40f, 0.70f, 0.00f, LP, 0.60f, off, off}},
  // octave above and below, no decay, a short release: steady and percussive at once
  {"Drawbar Organ",    K::Keys,   {st(12), st(-12), 0.00f, 0.00f, 0.02f, 0.00f, 1.00f, 0.08f, 0.80f, 0.00f, LP, 0.00f, off, off}},
  // a little feedback on both modulators through a band-pass that snaps open
  {"Funky Clav",       K::Keys,   {st(0),  st(12),  0.25f, 0.25f, 0.00f, 0.35f, 0.20f, 0.10f, 0.75f, 0.50f, BP, 0.60f, off, off}},
  // a minor third and an octave in series, high-passed: thin, bright and short
  {"Toy Piano",        K::Keys,   {st(3),  st(12),  0.00f, 0.00f, 0.00f, 0.50f, 0.05f, 0.30f, 0.85f, 0.20f, HP, 0.30f, off, on }},
  // Bells
  // a modulator a semitone off the carrier beats against it: inharmonic, glassy ring
  {"Glass Bell",       K::Bell,   {st(1),  st(12),  0.00f, 0.00f, 0.00f, 0.80f, 0.10f, 0.80f, 0.90f, 0.00f, HP, 0.20f, off, on }},
  // a tritone and a near-octave below: clanging partials that ring for a second
  {"Tubular Chime",    K::Bell,   {st(6),  st(-11), 0.00f, 0.00f, 0.00f, 0.90f, 0.20f, 0.90f, 0.80f, 0.00f, LP, 0.30f, off, off}},
  // a major third up and a tritone down through a band-pass: a metallic, tuned strike
  {"Gamelan",          K::Bell,   {st(4),  st(-6),  0.10f, 0.00f, 0.00f, 0.60f, 0.00f, 0.70f, 0.65f, 0.50f, BP, 0.50f, off, on }},
  // octave modulators in series, high-passed: a tiny, high and pure plink
  {"Music Box",        K::Bell,   {st(12), st(12),  0.00f, 0.00f, 0.00f, 0.65f, 0.00f, 0.60f, 0.50f, 0.00f, HP, 0.00f, off, on }},
  // Brass
  // feedback at the carrier's pitch, a slow attack and the filter following the level
  {"Brass Section",    K::Brass,  {st(0),  st(0),   0.45f, 0.00f, 0.30f, 0.50f, 0.80f, 0.25f, 0.50f, 0.30f, LP, 0.70f, off, off}},
  // an octave up in series, resonant band-pass: a buzzy, nasal horn
  {"Muted Trumpet",    K::Brass,  {st(0),  st(12),  0.35f, 0.00f, 0.12f, 0.40f, 0.70f, 0.15f, 0.70f, 0.60f, BP, 0.40f, off, on }},
  // a softer swell than the section: little feedback, the filter kept low
  {"French Horn",      K::Brass,  {st(0),  st(12),  0.15f, 0.00f, 0.45f, 0.30f, 0.85f, 0.35f, 0.35f, 0.20f, LP, 0.70f, off, on }},
  // Pads
  // a sub-octave modulator and gentle feedback with the slowest attack and release
  {"Warm Pad",         K::Pad,    {st(0),  st(-12), 0.30f, 0.00f, 0.90f, 0.60f, 0.80f, 1.00f, 0.40f, 0.20f, LP, 0.40f, off, off}},
  // the carrier driving an octave modulator into a resonant band-pass: vowel-like
  {"Choir Pad",        K::Pad,    {st(12), st(5),   0.00f, 0.00f, 0.80f, 0.50f, 0.90f, 0.90f, 0.60f, 0.70f, BP, 0.20f, on,  off}},
  // a fifth and an octave, high-passed, the envelope sweeping the filter through them
  {"Glass Sweep Pad",  K::Pad,    {st(7),  st(12),  0.20f, 0.20f, 1.00f, 1.00f, 0.60f, 1.00f, 0.70f, 0.60f, HP, 1.00f, off, on }},
  // Percussion
  // two sub-octave modulators, no sustain, a resonant low-pass closing fast: a thump
  {"FM Kick",          K::Percussion, {st(-12), st(-12), 0.00f, 0.00f, 0.00f, 0.35f, 0.00f, 0.10f, 0.30f, 0.40f, LP, 1.00f, off, on }},
  // full feedback on both modulators is noise; high-passed and short
  {"Noise Snare",      K::Percussion, {st(0),  st(0),   1.00f, 1.00f, 0.00f, 0.30f, 0.00f, 0.10f, 0.70f, 0.00f, HP, 0.80f, off, off}},
  // noise from feedback and clashing modulators, high-passed and very short
  {"Metal Hat",        K::Percussion, {st(11), st(-7),  0.90f, 0.80f, 0.00f, 0.15f, 0.00f, 0.05f, 1.00f, 0.00f, HP, 0.00f, on,  off}},
  // a fourth down and an octave up through a resonant band-pass, a click of a decay
  {"Wood Block",       K::Percussion, {st(-5), st(12),  0.00f, 0.00f, 0.00f, 0.12f, 0.00f, 0.05f, 0.80f, 0.70f, BP, 0.50f, off, off}},
  // Effects
  // feedback noise through a resonant band-pass that the slow envelope sweeps
  {"Wind Noise",       K::Effect, {st(0),  st(0),   1.00f, 1.00f, 1.00f, 1.00f, 0.70f, 1.00f, 0.50f, 0.80f, BP, 1.00f, on,  off}},
  // a semitone and a near-octave below, cross-driven, through a narrow band-pass
  {"Robot Voice",      K::Effect, {st(1),  st(-11), 0.50f, 0.00f, 0.05f, 0.50f, 0.70f, 0.30f, 0.60f, 0.75f, BP, 0.60f, on,  on }},
  // a resonant high-pass swept down by a falling envelope over a harsh cross-driven tone
  {"Sci-Fi Zap",       K::Effect, {st(12), st(9),   0.70f, 0.00f, 0.00f, 0.70f, 0.00f, 0.40f, 0.90f, 0.90f, HP, 1.00f, on,  on }},
  }};
}();
// clang-format on

// Names fit a program (23 characters and the terminator).
constexpr bool factoryNamesFit() {
  for (const FactorySound& sound : kFactorySounds) {
    int32_t length = 0;
    while (sound.name[length] != '\0') ++length;
    if (length == 0 || length > 23) return false;
  }
  return true;
}
static_assert(factoryNamesFit());
