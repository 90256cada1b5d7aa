#include "Factory.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <complex>
#include <cstdio>
#include <cstring>
#include <numbers>

#include "VelaInstrument.h"

namespace factory {

namespace {

struct Note {
  int32_t startMs, lengthMs;
  uint8_t note, velocity;
};

std::vector<PhraseMessage> messagesOf(const std::vector<Note>& notes) {
  std::vector<PhraseMessage> out;
  for (const Note& n : notes) {
    out.push_back({n.startMs, 0x90, n.note, n.velocity});
    out.push_back({n.startMs + n.lengthMs, 0x80, n.note, 0});
  }
  // By time; at one time note-offs first, so a note ending where the next starts is legato.
  std::stable_sort(out.begin(), out.end(), [](const PhraseMessage& a, const PhraseMessage& b) {
    return a.ms != b.ms ? a.ms < b.ms : (a.status == 0x80) > (b.status == 0x80);
  });
  return out;
}

// Notes on an even grid: `steps` of (note, length in grid steps, velocity); 0 is a rest.
std::vector<Note> onGrid(int32_t stepMs, double gate,
                         std::initializer_list<std::array<int, 3>> steps) {
  std::vector<Note> notes;
  int32_t at = 0;
  for (const auto& [note, length, velocity] : steps) {
    if (note > 0)
      notes.push_back({at, static_cast<int32_t>(std::lround(length * stepMs * gate / 10.0)) * 10,
                       static_cast<uint8_t>(note), static_cast<uint8_t>(velocity)});
    at += length * stepMs;
  }
  return notes;
}

void fft(std::vector<std::complex<double>>& x) {
  const size_t n = x.size();
  for (size_t i = 1, j = 0; i < n; ++i) {
    size_t bit = n >> 1;
    for (; (j & bit) != 0; bit >>= 1) j ^= bit;
    j ^= bit;
    if (i < j) std::swap(x[i], x[j]);
  }
  for (size_t length = 2; length <= n; length <<= 1) {
    const double angle = -2.0 * std::numbers::pi / static_cast<double>(length);
    const std::complex<double> step(std::cos(angle), std::sin(angle));
    for (size_t i = 0; i < n; i += length) {
      std::complex<double> w(1.0, 0.0);
      for (size_t k = 0; k < length / 2; ++k) {
        const std::complex<double> u = x[i + k], v = x[i + k + length / 2] * w;
        x[i + k] = u + v;
        x[i + k + length / 2] = u - v;
        w *= step;
      }
    }
  }
}

}  // namespace

std::vector<PhraseMessage> phraseFor(SoundKind kind) {
  // 120 bpm: a sixteenth is 125 ms, so the grids below use 130 ms steps rounded to 10 ms.
  switch (kind) {
    case SoundKind::Bass:  // a two-bar line around C2, staccato and tied notes
      return messagesOf(onGrid(130, 0.8, {{36, 2, 110}, {36, 1, 80}, {48, 1, 100}, {0, 1, 0},
                                          {39, 2, 110}, {41, 1, 90}, {43, 3, 120}, {34, 1, 90},
                                          {36, 2, 110}, {31, 2, 100}, {0, 1, 0}, {36, 1, 110},
                                          {38, 1, 90}, {39, 2, 100}}));
    case SoundKind::Lead:  // a melody with held notes, around C5
      return messagesOf(onGrid(260, 0.95, {{72, 1, 100}, {74, 1, 100}, {75, 2, 110},
                                           {79, 1, 100}, {77, 1, 90}, {75, 1, 100}, {74, 1, 90},
                                           {72, 4, 110}, {0, 1, 0}, {67, 1, 90}, {70, 1, 100},
                                           {72, 3, 120}}));
    case SoundKind::Pluck:  // a broken-chord line, short notes
      return messagesOf(onGrid(150, 0.5, {{60, 1, 100}, {67, 1, 90}, {72, 1, 100}, {75, 1, 90},
                                          {74, 1, 100}, {67, 1, 80}, {63, 1, 90}, {62, 1, 80},
                                          {60, 1, 110}, {55, 1, 90}, {58, 1, 100}, {62, 1, 90},
                                          {67, 2, 110}, {0, 2, 0}, {72, 2, 120}}));
    case SoundKind::Keys:  // a middle-register tune, some notes held
      return messagesOf(onGrid(220, 0.9, {{60, 1, 90}, {64, 1, 100}, {67, 2, 110}, {65, 1, 90},
                                          {64, 1, 90}, {62, 2, 100}, {0, 1, 0}, {60, 1, 90},
                                          {55, 1, 80}, {60, 3, 110}}));
    case SoundKind::Bell:  // single struck notes, left to ring
      return messagesOf({{0, 300, 72, 110}, {700, 300, 79, 100}, {1400, 300, 84, 110},
                         {2100, 900, 76, 120}});
    case SoundKind::Brass:  // swelling held notes
      return messagesOf(onGrid(300, 0.95, {{55, 2, 100}, {60, 1, 110}, {62, 1, 110}, {63, 3, 120},
                                           {62, 1, 100}, {60, 4, 120}}));
    case SoundKind::Pad:  // long notes, one at a time
      return messagesOf({{0, 1800, 48, 100}, {2000, 1800, 55, 100}, {4000, 2200, 51, 110}});
    case SoundKind::Percussion:  // single strikes, low to high
      return messagesOf({{0, 100, 36, 120}, {500, 100, 36, 90}, {1000, 100, 48, 120},
                         {1500, 100, 60, 110}, {2000, 100, 72, 120}, {2500, 100, 48, 127}});
    case SoundKind::Effect:  // held notes at three pitches
      return messagesOf({{0, 1500, 48, 110}, {1800, 1500, 60, 110}, {3600, 1500, 72, 110}});
  }
  return {};
}

std::vector<PhraseMessage> comparisonPhrase() {
  return messagesOf({{0, 1000, 48, 110}, {2000, 1000, 72, 110}});
}

int32_t lastNoteOffMs(const std::vector<PhraseMessage>& phrase) {
  int32_t last = 0;
  for (const PhraseMessage& m : phrase)
    if ((m.status & 0xF0) == 0x80) last = std::max(last, m.ms);
  return last;
}

std::vector<uint8_t> midiFileFor(const std::vector<PhraseMessage>& phrase) {
  std::vector<uint8_t> track = {0x00, 0xFF, 0x51, 0x03, 0x0F, 0x42, 0x40};  // 60 bpm
  int32_t at = 0;
  for (const PhraseMessage& m : phrase) {
    auto delta = static_cast<uint32_t>(m.ms - at);
    at = m.ms;
    uint8_t digits[5];
    int count = 0;
    do {
      digits[count++] = static_cast<uint8_t>(delta & 0x7F);
      delta >>= 7;
    } while (delta > 0);
    while (count > 1) track.push_back(static_cast<uint8_t>(digits[--count] | 0x80));
    track.insert(track.end(), {digits[0], m.status, m.data1, m.data2});
  }
  track.insert(track.end(), {0x00, 0xFF, 0x2F, 0x00});
  std::vector<uint8_t> file = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0x03, 0xE8,
                               'M', 'T', 'r', 'k'};
  for (int shift = 24; shift >= 0; shift -= 8) file.push_back(static_cast<uint8_t>(track.size() >> shift));
  file.insert(file.end(), track.begin(), track.end());
  return file;
}

std::vector<float> renderPhrase(const FactorySound& sound, const std::vector<PhraseMessage>& phrase) {
  VelaInstrument instrument;
  ProgramImage image{};
  std::copy(std::begin(sound.values), std::end(sound.values), image.values);
  std::snprintf(image.name, sizeof image.name, "%s", sound.name);
  instrument.bank().restoreProgram(image);

  constexpr int32_t kBlock = 512;
  const int64_t total = static_cast<int64_t>(lastNoteOffMs(phrase) + kTailMs) * kRate / 1000;
  std::vector<float> left(static_cast<size_t>(total)), right(kBlock);
  size_t next = 0;
  for (int64_t start = 0; start < total; start += kBlock) {
    const auto frames = static_cast<int32_t>(std::min<int64_t>(kBlock, total - start));
    for (; next < phrase.size(); ++next) {
      const int64_t frame = static_cast<int64_t>(phrase[next].ms) * kRate / 1000;
      if (frame >= start + frames) break;
      instrument.queueMidi(static_cast<int32_t>(frame - start), phrase[next].status,
                           phrase[next].data1, phrase[next].data2);
    }
    instrument.processReplacing(left.data() + start, right.data(), frames);
  }
  return left;
}

uint64_t hashSamples(const std::vector<float>& samples) {
  uint64_t hash = 14695981039346656037ull;
  for (float sample : samples) {
    uint32_t bits;
    std::memcpy(&bits, &sample, 4);
    for (int i = 0; i < 4; ++i) {
      hash ^= (bits >> (8 * i)) & 0xFF;
      hash *= 1099511628211ull;
    }
  }
  return hash;
}

Spectrogram spectrogramOf(const std::vector<float>& samples, int32_t bands) {
  constexpr size_t kWindow = 2048, kHop = 1024;
  constexpr double kLow = 40.0, kHigh = 16000.0;
  // Band b covers bins [edge[b], edge[b + 1]); every band at least one bin wide.
  std::vector<size_t> edges(static_cast<size_t>(bands) + 1);
  for (size_t b = 0; b < edges.size(); ++b) {
    const double hz = kLow * std::pow(kHigh / kLow, static_cast<double>(b) / bands);
    edges[b] = static_cast<size_t>(std::lround(hz * kWindow / kRate));
    if (b > 0 && edges[b] <= edges[b - 1]) edges[b] = edges[b - 1] + 1;
  }
  std::vector<double> window(kWindow);
  for (size_t i = 0; i < kWindow; ++i)
    window[i] = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * static_cast<double>(i) / kWindow);

  Spectrogram out;
  out.bands = bands;
  std::vector<double> power;
  std::vector<std::complex<double>> x(kWindow);
  for (size_t start = 0; start + kWindow <= samples.size() + kHop; start += kHop) {
    for (size_t i = 0; i < kWindow; ++i)
      x[i] = start + i < samples.size() ? samples[start + i] * window[i] : 0.0;
    fft(x);
    for (size_t b = 0; b < static_cast<size_t>(bands); ++b) {
      double sum = 0.0;
      for (size_t k = edges[b]; k < edges[b + 1] && k < kWindow / 2; ++k) sum += std::norm(x[k]);
      power.push_back(sum);
    }
    ++out.columns;
  }
  const double loudest = power.empty() ? 0.0 : *std::max_element(power.begin(), power.end());
  out.db.reserve(power.size());
  for (double p : power)
    out.db.push_back(loudest > 0.0 && p > 0.0 ? std::max(kFloorDb, 10.0 * std::log10(p / loudest))
                                              : kFloorDb);
  return out;
}

double spectralDistance(const Spectrogram& a, const Spectrogram& b) {
  if (a.bands != kBands || b.bands != kBands) return 0.0;
  // Over the cells where either sound is heard: two short strikes are compared on their strikes,
  // not on the silence after them.
  double sum = 0.0;
  int64_t cells = 0;
  for (int32_t c = 0; c < std::max(a.columns, b.columns); ++c)
    for (int32_t band = 0; band < kBands; ++band) {
      const size_t cell = static_cast<size_t>(c) * kBands + static_cast<size_t>(band);
      const double x = c < a.columns ? a.db[cell] : kFloorDb;
      const double y = c < b.columns ? b.db[cell] : kFloorDb;
      if (x == kFloorDb && y == kFloorDb) continue;
      sum += std::fabs(x - y);
      ++cells;
    }
  return cells > 0 ? sum / static_cast<double>(cells) : 0.0;
}

std::string fileStem(int32_t program) {
  char number[8];
  std::snprintf(number, sizeof number, "%02d-", static_cast<int>(program));
  std::string stem = number;
  bool dash = false;
  for (const char* c = kFactorySounds[program].name; *c != '\0'; ++c) {
    const auto ch = static_cast<unsigned char>(*c);
    if (std::isalnum(ch) != 0) {
      if (dash && stem.back() != '-') stem += '-';
      stem += static_cast<char>(std::tolower(ch));
      dash = false;
    } else {
      dash = true;
    }
  }
  return stem;
}

}  // namespace factory
