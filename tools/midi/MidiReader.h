// A Standard MIDI File reader: every valid file in linear time, lenient where common practice is
// (unknown chunks, a longer header, a missing end-of-track, sysex packets, RIFF-wrapped files,
// format 2, a wrong track count), and safe on any bytes at all. It knows nothing of the renderer:
// it gives channel messages in ticks, the tempo changes and what it had to work around.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace midi {

struct ChannelMessage {
  int64_t tick = 0;
  uint8_t bytes[3] = {0, 0, 0};  // status, then data; a program change leaves bytes[2] at 0
  uint16_t track = 0;            // 0-based, in file order
};

struct TempoChange {
  int64_t tick = 0;
  int32_t microsPerQuarter = 0;
};

// How ticks turn into time: ticks per quarter note under the tempo changes, or (SMPTE) a fixed
// number of ticks per second, framesPerSecond × ticksPerFrame (29 means 30000/1001 frames a second).
struct TimeDivision {
  int32_t ticksPerQuarter = 0;  // 0 for SMPTE timing
  int32_t framesPerSecond = 0;  // 24, 25, 29 or 30 for SMPTE timing, 0 otherwise
  int32_t ticksPerFrame = 0;
};

struct MidiFileContents {
  int32_t format = 0;         // as the header says
  int32_t declaredTracks = 0;  // as the header says
  int32_t tracksRead = 0;
  TimeDivision division;
  std::vector<ChannelMessage> messages;  // by tick; equal ticks keep track order, then file order
  std::vector<TempoChange> tempo;        // by tick; several at one tick: the last one counts
  int64_t endTick = 0;                   // the latest event, end-of-track marks included
  size_t systemExclusive = 0;            // sysex messages and packets, skipped
  std::vector<std::string> warnings;     // each flaw worked around, once, in plain words
  std::string error;                     // empty when the file was read
};

// Reads a whole file held in memory: a Standard MIDI File or an RMID file around one.
MidiFileContents readMidi(std::span<const uint8_t> bytes);

}  // namespace midi
