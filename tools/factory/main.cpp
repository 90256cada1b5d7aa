// velaorin-factory: the factory library as files, for the build and for scripts/render-factory.sh.
//   velaorin-factory bank OUT.fxb      the bank file of the 32 sounds
//   velaorin-factory programs DIR      DIR/NN-name.fxp: each sound as a program file
//   velaorin-factory phrases DIR       DIR/NN-name.mid: each sound's phrase
//   velaorin-factory sheet OUT.png DIR a contact sheet of DIR/NN-name.flac's spectrograms
//   velaorin-factory report            what the library test measures, sound by sound
#include <cairo.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "BankFiles.h"
#include "Factory.h"

namespace {

using namespace factory;

const char* kindName(SoundKind kind) { return soundKindName(kind); }

bool writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (out) return true;
  std::fprintf(stderr, "velaorin-factory: cannot write %s\n", path.c_str());
  return false;
}

int writeBank(const std::string& path) {
  BankImage bank{};
  for (int32_t n = 0; n < kFactorySoundCount; ++n) {
    std::copy(std::begin(kFactorySounds[n].values), std::end(kFactorySounds[n].values),
              bank.programs[n].values);
    std::snprintf(bank.programs[n].name, sizeof bank.programs[n].name, "%s", kFactorySounds[n].name);
  }
  return writeFile(path, writeBankFile(bank)) ? 0 : 1;
}

// Each sound as a program file, DIR/NN-name.fxp: what hosts' preset browsers and the tools load.
int writePrograms(const std::string& folder) {
  for (int32_t n = 0; n < kFactorySoundCount; ++n) {
    ProgramImage program{};
    std::copy(std::begin(kFactorySounds[n].values), std::end(kFactorySounds[n].values),
              program.values);
    std::snprintf(program.name, sizeof program.name, "%s", kFactorySounds[n].name);
    if (!writeFile(folder + "/" + fileStem(n) + ".fxp", writeProgramFile(program))) return 1;
  }
  return 0;
}

int writePhrases(const std::string& folder) {
  for (int32_t n = 0; n < kFactorySoundCount; ++n)
    if (!writeFile(folder + "/" + fileStem(n) + ".mid", midiFileFor(phraseFor(kFactorySounds[n].kind))))
      return 1;
  return 0;
}

std::vector<float> readLeft(const std::string& path) {
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (file == nullptr) return {};
  std::vector<float> frames(static_cast<size_t>(info.frames * info.channels));
  sf_readf_float(file, frames.data(), info.frames);
  sf_close(file);
  std::vector<float> left(static_cast<size_t>(info.frames));
  for (size_t i = 0; i < left.size(); ++i) left[i] = frames[i * static_cast<size_t>(info.channels)];
  return left;
}

// Dark blue through purple and orange to pale yellow, by level from the floor to 0 dB.
void colourFor(double db, double& r, double& g, double& b) {
  const double t = std::clamp(1.0 - db / kFloorDb, 0.0, 1.0);
  r = std::clamp(1.8 * t - 0.3, 0.0, 1.0);
  g = std::clamp(2.0 * t - 1.0, 0.0, 1.0);
  b = std::clamp(t < 0.4 ? 0.25 + 1.2 * t : 0.73 - 1.2 * (t - 0.4), 0.0, 1.0);
  if (t > 0.85) b *= 0.3 + 4.0 * (t - 0.85);
}

int drawSheet(const std::string& path, const std::string& folder) {
  constexpr int kColumns = 4, kTileWidth = 300, kTileHeight = 140, kLabel = 18, kPad = 6;
  constexpr int kBandsDrawn = 120;
  const int rows = (kFactorySoundCount + kColumns - 1) / kColumns;
  cairo_surface_t* surface = cairo_image_surface_create(
      CAIRO_FORMAT_RGB24, kColumns * (kTileWidth + kPad) + kPad,
      rows * (kTileHeight + kLabel + kPad) + kPad);
  cairo_t* cr = cairo_create(surface);
  cairo_set_source_rgb(cr, 0.95, 0.95, 0.95);
  cairo_paint(cr);
  cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, 12);
  int missing = 0;
  for (int32_t n = 0; n < kFactorySoundCount; ++n) {
    const double x = kPad + n % kColumns * (kTileWidth + kPad);
    const double y = kPad + n / kColumns * (kTileHeight + kLabel + kPad);
    cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
    cairo_move_to(cr, x, y + 13);
    const std::string label = std::to_string(n) + "  " + kFactorySounds[n].name + "  (" +
                              kindName(kFactorySounds[n].kind) + ")";
    cairo_show_text(cr, label.c_str());
    const std::vector<float> samples = readLeft(folder + "/" + fileStem(n) + ".flac");
    if (samples.empty()) {
      ++missing;
      continue;
    }
    const Spectrogram s = spectrogramOf(samples, kBandsDrawn);
    // Every tile shows the same 8 seconds, so lengths compare across the sheet.
    const double columnWidth = kTileWidth / (8.0 * kRate / 1024.0);
    const double bandHeight = static_cast<double>(kTileHeight) / kBandsDrawn;
    cairo_set_source_rgb(cr, 0.0, 0.0, 0.075);  // past the render's end
    cairo_rectangle(cr, x, y + kLabel, kTileWidth, kTileHeight);
    cairo_fill(cr);
    for (int32_t c = 0; c < s.columns && c * columnWidth < kTileWidth; ++c)
      for (int32_t band = 0; band < kBandsDrawn; ++band) {
        double r, g, b;
        colourFor(s.db[static_cast<size_t>(c * kBandsDrawn + band)], r, g, b);
        cairo_set_source_rgb(cr, r, g, b);
        cairo_rectangle(cr, x + c * columnWidth, y + kLabel + kTileHeight - (band + 1) * bandHeight,
                        columnWidth + 0.5, bandHeight + 0.5);
        cairo_fill(cr);
      }
  }
  cairo_destroy(cr);
  const bool written = cairo_surface_write_to_png(surface, path.c_str()) == CAIRO_STATUS_SUCCESS;
  cairo_surface_destroy(surface);
  if (missing > 0) std::fprintf(stderr, "velaorin-factory: %d renders missing in %s\n", missing, folder.c_str());
  if (!written) std::fprintf(stderr, "velaorin-factory: cannot write %s\n", path.c_str());
  return written && missing == 0 ? 0 : 1;
}

int report() {
  std::vector<Spectrogram> heard;
  for (int32_t n = 0; n < kFactorySoundCount; ++n) {
    const FactorySound& sound = kFactorySounds[n];
    const std::vector<PhraseMessage> phrase = phraseFor(sound.kind);
    const std::vector<float> samples = renderPhrase(sound, phrase);
    double peak = 0.0, sum = 0.0;
    size_t last = 0;
    for (size_t i = 0; i < samples.size(); ++i) {
      peak = std::max(peak, std::fabs(static_cast<double>(samples[i])));
      sum += samples[i];
      if (samples[i] != 0.0f) last = i;
    }
    const double silentAfterMs = (static_cast<double>(last) / kRate * 1000.0) - lastNoteOffMs(phrase);
    std::printf("%2d %-23s %-10s peak %6.1f dBFS  dc %9.6f  silent %5.0f ms after the last note-off  hash 0x%016llxull\n",
                n, sound.name, kindName(sound.kind), 20.0 * std::log10(peak), sum / static_cast<double>(samples.size()),
                silentAfterMs, static_cast<unsigned long long>(hashSamples(samples)));
    heard.push_back(spectrogramOf(renderPhrase(sound, comparisonPhrase())));
  }
  double nearest = 1e9;
  for (int32_t a = 0; a < kFactorySoundCount; ++a) {
    double closest = 1e9;
    int32_t partner = 0;
    for (int32_t b = 0; b < kFactorySoundCount; ++b)
      if (a != b && spectralDistance(heard[a], heard[b]) < closest) {
        closest = spectralDistance(heard[a], heard[b]);
        partner = b;
      }
    nearest = std::min(nearest, closest);
    std::printf("%2d %-23s nearest %-23s %.2f dB\n", a, kFactorySounds[a].name,
                kFactorySounds[partner].name, closest);
  }
  std::printf("smallest distance between two sounds: %.2f dB\n", nearest);
  // For scale: how far one step of a single control moves each sound, on average.
  for (int32_t index : {kCutOff, kD, kMod1}) {
    double total = 0.0;
    for (int32_t n = 0; n < kFactorySoundCount; ++n) {
      FactorySound moved = kFactorySounds[n];
      float& v = moved.values[index];
      v = index == kMod1 ? v + (v < 0.9f ? 1.0f / 24 : -1.0f / 24) : (v < 0.85f ? v + 0.15f : v - 0.15f);
      total += spectralDistance(heard[n], spectrogramOf(renderPhrase(moved, comparisonPhrase())));
    }
    std::printf("%s moved by %s: %.2f dB on average\n", kParameters[index].name,
                index == kMod1 ? "a semitone" : "0.15", total / kFactorySoundCount);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "bank" && argc == 3) return writeBank(argv[2]);
  if (command == "programs" && argc == 3) return writePrograms(argv[2]);
  if (command == "phrases" && argc == 3) return writePhrases(argv[2]);
  if (command == "sheet" && argc == 4) return drawSheet(argv[2], argv[3]);
  if (command == "report" && argc == 2) return report();
  std::fprintf(stderr,
               "usage: velaorin-factory bank OUT.fxb | programs DIR | phrases DIR | sheet OUT.png DIR"
               " | report\n");
  return 2;
}
