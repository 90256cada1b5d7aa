// Google Benchmark of the built plug-in (VelaOrin.so opened with dlopen through its entry point,
// as a host does): 44.1 kHz, blocks of 512, a held note plus the previous note's release, for
// program 0 and "Eth Drm" (program 1), without events and with a centred bend every 32 samples. Counters: ns per voice-sample and the realtime factor
// (seconds of audio per second of processor time), both from the thread's processor time. The
// context block names the processor and its caches.
#include <benchmark/benchmark.h>

#include "Workload.h"

namespace {

void renderProgram(benchmark::State& state) {
  Vst2Workload workload(VELA_PLUGIN_PATH, static_cast<int32_t>(state.range(0)),
                        static_cast<int32_t>(state.range(1)));
  if (!workload.ready()) {
    state.SkipWithError(workload.error().c_str());
    return;
  }
  state.SetLabel(workload.programName());
  const double start = threadCpuSeconds();
  for (auto _ : state) {
    workload.renderBlock();
    benchmark::DoNotOptimize(workload.lastSample());
  }
  const double seconds = threadCpuSeconds() - start;
  const auto blocks = static_cast<double>(state.iterations());
  const double voiceSamples = blocks * static_cast<double>(workload.voiceSamplesPerBlock());
  const double audioSeconds = blocks * Workload::kBlockSize / Workload::kSampleRate;
  state.counters["ns_per_voice_sample"] = seconds * 1e9 / voiceSamples;
  state.counters["realtime_factor"] = audioSeconds / seconds;
  state.counters["voices"] =
      static_cast<double>(workload.voiceSamplesPerBlock()) / Workload::kBlockSize;
}

// Without events, and with an event every 32 samples (each cuts the block).
BENCHMARK(renderProgram)
    ->ArgNames({"program", "event_spacing"})
    ->ArgsProduct({{0, 1}, {0, 32}})
    ->MinTime(1.0);

}  // namespace

int main(int argc, char** argv) {
  // In the context block of the console output and in every JSON or CSV report.
  benchmark::AddCustomContext("machine", machineDescription());
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
