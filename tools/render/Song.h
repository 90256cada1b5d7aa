// What the renderer plays: host actions placed at exact sample frames.
#pragma once

#include <cstdint>
#include <vector>

struct TimedEvent {
  enum class Kind : uint8_t {
    Midi,       // a channel message delivered through effProcessEvents
    Program,    // effSetProgram between render calls
    Parameter,  // the descriptor's setParameter between render calls
  };

  int64_t frame = 0;
  Kind kind = Kind::Midi;
  uint8_t midi[3] = {0, 0, 0};
  int32_t index = 0;  // program or parameter index
  float value = 0.0f;

  static TimedEvent midiMessage(int64_t frame, uint8_t status, uint8_t data1, uint8_t data2);
  static TimedEvent program(int64_t frame, int32_t program);
  static TimedEvent parameter(int64_t frame, int32_t index, float value);
};

struct Song {
  std::vector<TimedEvent> events;  // sorted by frame; equal frames keep their order
  int64_t endFrame = 0;            // where the music stops; the tail comes after it
};

// Stable sort by frame, then the end moved to cover every event.
void finishSong(Song& song);

// Note-offs, at the song's end, for every note still held there, so the tail is a release
// rather than a note cut off by the end of the file.
void releaseHeldNotes(Song& song);

// What a song asks that a one-note synthesizer does not do, to be told once.
struct SongRemarks {
  int32_t mostNotesAtOnce = 0;
  int64_t firstOverlapFrame = -1;        // where a note starts while another is held
  int64_t firstProgramChangeFrame = -1;  // a MIDI program change
};
SongRemarks remarksOn(const Song& song);
