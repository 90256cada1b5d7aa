// Google Benchmark of LV2 instruments through our lilv host: VelaOrin.lv2 from the build tree
// and mda-lv2's DX10 (Debian's FM synthesizer) on the same notes, in one run on one processor.
// 44.1 kHz, blocks of 512, defaults of each plug-in's Turtle; each block releases the previous
// note and starts the next, so one note is held while one releases. Counters: ns per output
// sample (one sample frame, both channels) and the realtime factor, from the thread's
// processor time.
#include <benchmark/benchmark.h>

#include <vector>

#include "Lv2TestHost.h"
#include "Workload.h"

namespace {

constexpr uint32_t kBlock = 512;
constexpr double kRate = 44100.0;

void render(benchmark::State& state, const LilvPlugin* plugin) {
  Lv2Synth synth(kRate, plugin);
  if (!synth.open()) {
    state.SkipWithError("plug-in not found or not instantiated");
    return;
  }
  std::vector<float> left(kBlock), right(kBlock);
  int note = 0;
  const double start = threadCpuSeconds();
  for (auto _ : state) {
    const int next = (note + 7) % 24;
    synth.midi(0, 0x80, static_cast<uint8_t>(48 + note), 0);
    synth.midi(0, 0x90, static_cast<uint8_t>(48 + next), 100);
    note = next;
    synth.run(left.data(), right.data(), kBlock);
    benchmark::DoNotOptimize(left[kBlock - 1]);
  }
  const double seconds = threadCpuSeconds() - start;
  const double frames = static_cast<double>(state.iterations()) * kBlock;
  state.counters["ns_per_sample"] = seconds * 1e9 / frames;
  state.counters["realtime_factor"] = frames / kRate / seconds;
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::AddCustomContext("machine", machineDescription());
  Lv2World& world = Lv2World::get();
  benchmark::RegisterBenchmark("VelaOrin.lv2", render, world.plugin())->MinTime(2.0);
  benchmark::RegisterBenchmark(
      "mda DX10", render,
      world.loadPlugin("/usr/lib/lv2/mda.lv2/", "http://drobilla.net/plugins/mda/DX10"))
      ->MinTime(2.0);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
