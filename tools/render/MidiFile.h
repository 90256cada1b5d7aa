// Reads a Standard MIDI File (format 0 or 1) into a Song: every channel message at the sample
// frame nearest its time under the file's tempo map.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Song.h"

// Throws ToolError naming the file and the problem. A file the reader took in spite of a flaw
// (say, a chunk it did not know) is read, and the flaw is described in `warning`.
Song readMidiFile(const std::string& path, int32_t sampleRate, std::string* warning = nullptr);

// The same for a file already in memory; `name` is used in messages.
Song readMidiBytes(const std::vector<uint8_t>& bytes, const std::string& name, int32_t sampleRate,
                   std::string* warning = nullptr);
