// Reads a Standard MIDI File into a Song: every channel message at the sample frame nearest its
// time under the file's tempo map (or SMPTE clock).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Song.h"

// Throws ToolError naming the file and the problem. A flaw the reader worked around (a chunk it
// did not know, say) is described in `warnings`, one line each. The path "-" is standard input.
Song readMidiFile(const std::string& path, int32_t sampleRate,
                  std::vector<std::string>* warnings = nullptr);

// The same for a file already in memory; `name` is used in messages.
Song readMidiBytes(const std::vector<uint8_t>& bytes, const std::string& name, int32_t sampleRate,
                   std::vector<std::string>* warnings = nullptr);
