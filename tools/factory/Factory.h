// Hearing and measuring the factory library: the phrase each kind of sound is played on, that
// phrase as a MIDI file and as an in-process render through the engine, and a coarse
// spectrogram to compare sounds and to draw them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "FactoryLibrary.h"

namespace factory {

constexpr int32_t kRate = 44100;
// Rendered after the last note-off: releases end within a second, the rest must be silence.
constexpr int32_t kTailMs = 3000;

struct PhraseMessage {
  int32_t ms;  // multiples of 10 ms: a whole number of samples at 44100 Hz
  uint8_t status, data1, data2;
};

// A bass line for a bass, a chord-free melody for a lead, single strikes for percussion...: in
// time order, note-offs before note-ons at the same time.
std::vector<PhraseMessage> phraseFor(SoundKind kind);
int32_t lastNoteOffMs(const std::vector<PhraseMessage>& phrase);

// Format 0, 1000 ticks a quarter at 60 bpm: one tick is one millisecond.
std::vector<uint8_t> midiFileFor(const std::vector<PhraseMessage>& phrase);

// The sound on the phrase and kTailMs after it, through the engine as the plug-in runs it (the
// program handed over, events at their own samples), 512-sample blocks. Left channel only: the
// engine is mono.
std::vector<float> renderPhrase(const FactorySound& sound, const std::vector<PhraseMessage>& phrase);

// FNV-1a over the samples' bits.
uint64_t hashSamples(const std::vector<float>& samples);

// Levels in dB (0 at the loudest cell, floored at kFloorDb) on log-spaced bands from 40 Hz to
// 16 kHz, one column per 1024 samples, 2048-sample Hann windows.
constexpr int32_t kBands = 40;
constexpr double kFloorDb = -70.0;
struct Spectrogram {
  int32_t columns = 0;
  int32_t bands = 0;
  std::vector<double> db;  // column-major: db[column * bands + band]
};
Spectrogram spectrogramOf(const std::vector<float>& samples, int32_t bands = kBands);

// Mean absolute difference in dB over the cells where either spectrogram is above the floor (the
// shorter padded with the floor): how far two sounds are apart in colour and in time.
double spectralDistance(const Spectrogram& a, const Spectrogram& b);

// The same notes for every sound, for comparing them: a low and a high note, each held a second
// and released for a second.
std::vector<PhraseMessage> comparisonPhrase();

std::string fileStem(int32_t program);  // "07-glass-bell"

}  // namespace factory
