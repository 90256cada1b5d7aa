// Which file each MIDI file becomes, and in what format, from the command line alone.
#pragma once

#include <string>
#include <vector>

#include "Options.h"

struct RenderJob {
  std::string input;   // empty: the demo song; "-": standard input
  std::string output;  // "-": standard output
  OutputFormat format;
};

// Throws UsageError for an output whose format cannot be told or cannot hold the bit depth.
std::vector<RenderJob> planJobs(const Options& options);
