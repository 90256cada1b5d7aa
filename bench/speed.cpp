// velaorin-speed: renders the benchmark workload for a given number of blocks and prints the
// realtime factor and ns per voice-sample, by processor time and by the wall clock. Needs no
// benchmark library, so it also runs as a Windows program under Wine against VelaOrin.dll, and
// under callgrind with a fixed workload. A plug-in path naming VelaOrin.vst3 (the bundle or its
// binary) times the VST 3 plug-in on the same notes (Linux builds).
//   velaorin-speed [program=1] [blocks=2000] [plugin path] [event spacing=0]
// A plug-in path ending in .clap runs the workload through VelaOrin.clap, with a parameter value
// event every `event spacing` samples instead of the bends.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "Workload.h"
#if defined(VELA_CLAP_WORKLOAD)
#include "ClapWorkload.h"
#endif
#if defined(VELA_WITH_VST3)
#include "Vst3Workload.h"
#endif

namespace {

int run(Workload& workload, int32_t program, long blocks, int32_t spacing, const char* events) {
  if (!workload.ready()) {
    std::fprintf(stderr, "%s\n", workload.error().c_str());
    return 1;
  }
  const auto start = std::chrono::steady_clock::now();
  const double cpuStart = threadCpuSeconds();
  float check = 0.0f;
  for (long b = 0; b < blocks; ++b) {
    workload.renderBlock();
    check += workload.lastSample();
  }
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  const double wallSeconds = elapsed.count();
  const double seconds = threadCpuSeconds() - cpuStart;
  const double audioSeconds =
      static_cast<double>(blocks) * Workload::kBlockSize / Workload::kSampleRate;
  const double voiceSamples =
      static_cast<double>(blocks) * static_cast<double>(workload.voiceSamplesPerBlock());
  std::printf("machine: %s\n", machineDescription().c_str());
  std::printf("program %d \"%s\": %ld blocks of %d at %.0f Hz, %lld voice-samples per block\n",
              static_cast<int>(program), workload.programName().c_str(), blocks,
              static_cast<int>(Workload::kBlockSize), static_cast<double>(Workload::kSampleRate),
              static_cast<long long>(workload.voiceSamplesPerBlock()));
  if (spacing > 0) std::printf("events: %s every %d samples\n", events, static_cast<int>(spacing));
  if (blocks > 0 && seconds > 0.0 && wallSeconds > 0.0) {
    std::printf("processor time: realtime factor %.1f, %.2f ns per voice-sample\n",
                audioSeconds / seconds, seconds * 1e9 / voiceSamples);
    std::printf("wall clock:     realtime factor %.1f, %.2f ns per voice-sample (check %g)\n",
                audioSeconds / wallSeconds, wallSeconds * 1e9 / voiceSamples,
                static_cast<double>(check));
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const auto program = static_cast<int32_t>(argc > 1 ? std::atoi(argv[1]) : 1);
  const long blocks = argc > 2 ? std::atol(argv[2]) : 2000;
  const std::string plugin = argc > 3 && argv[3][0] != '\0' ? argv[3] : VELA_PLUGIN_PATH;
  const auto spacing = static_cast<int32_t>(argc > 4 ? std::atoi(argv[4]) : 0);
  if (blocks < 0) {
    std::fprintf(stderr, "blocks must be 0 or more\n");
    return 2;
  }
#if defined(VELA_CLAP_WORKLOAD)
  if (plugin.size() > 5 && plugin.compare(plugin.size() - 5, 5, ".clap") == 0) {
    ClapWorkload workload(plugin, program, spacing);
    return run(workload, program, blocks, spacing, "a parameter value event (CutOff, unchanged)");
  }
#endif
#if defined(VELA_WITH_VST3)
  if (isVst3Path(plugin)) {
    Vst3Workload workload(vst3BinaryOf(plugin), program, spacing);
    return run(workload, program, blocks, spacing, "a centred bend");
  }
#endif
  Vst2Workload workload(plugin, program, spacing);
  return run(workload, program, blocks, spacing, "a centred bend");
}
