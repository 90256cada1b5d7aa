#include "Song.h"

#include <algorithm>
#include <array>

TimedEvent TimedEvent::midiMessage(int64_t frame, uint8_t status, uint8_t data1, uint8_t data2) {
  TimedEvent event;
  event.frame = frame;
  event.kind = Kind::Midi;
  event.midi[0] = status;
  event.midi[1] = data1;
  event.midi[2] = data2;
  return event;
}

TimedEvent TimedEvent::program(int64_t frame, int32_t program) {
  TimedEvent event;
  event.frame = frame;
  event.kind = Kind::Program;
  event.index = program;
  return event;
}

TimedEvent TimedEvent::parameter(int64_t frame, int32_t index, float value) {
  TimedEvent event;
  event.frame = frame;
  event.kind = Kind::Parameter;
  event.index = index;
  event.value = value;
  return event;
}

void finishSong(Song& song) {
  std::stable_sort(song.events.begin(), song.events.end(),
                   [](const TimedEvent& a, const TimedEvent& b) { return a.frame < b.frame; });
  if (!song.events.empty()) song.endFrame = std::max(song.endFrame, song.events.back().frame);
}

void releaseHeldNotes(Song& song) {
  // Count per channel and key: a key struck twice needs two note-offs before it is free.
  std::array<std::array<int, 128>, 16> held{};
  for (const TimedEvent& event : song.events) {
    if (event.kind != TimedEvent::Kind::Midi) continue;
    const int type = event.midi[0] & 0xF0;
    const int channel = event.midi[0] & 0x0F;
    const int key = event.midi[1] & 0x7F;
    if (type == 0x90 && event.midi[2] != 0) {
      ++held[channel][key];
    } else if (type == 0x80 || type == 0x90) {
      if (held[channel][key] > 0) --held[channel][key];
    } else if (type == 0xB0 && (event.midi[1] == 123 || event.midi[1] == 120)) {
      held[channel].fill(0);  // all notes off / all sound off
    }
  }
  for (int channel = 0; channel < 16; ++channel)
    for (int key = 0; key < 128; ++key)
      for (int n = 0; n < held[channel][key]; ++n)
        song.events.push_back(TimedEvent::midiMessage(
            song.endFrame, static_cast<uint8_t>(0x80 | channel), static_cast<uint8_t>(key), 0));
}

SongRemarks remarksOn(const Song& song) {
  SongRemarks remarks;
  std::array<std::array<int32_t, 128>, 16> held{};
  int32_t heldCount = 0;
  const auto& events = song.events;
  // Within one frame the releases count first: a note ending where the next begins is legato,
  // whichever track the file lists first.
  for (size_t first = 0; first < events.size();) {
    size_t last = first;
    while (last < events.size() && events[last].frame == events[first].frame) ++last;
    for (int pass = 0; pass < 2; ++pass)
      for (size_t i = first; i < last; ++i) {
        const TimedEvent& event = events[i];
        if (event.kind != TimedEvent::Kind::Midi) continue;
        const int type = event.midi[0] & 0xF0;
        const int channel = event.midi[0] & 0x0F;
        int32_t& key = held[channel][event.midi[1] & 0x7F];
        const bool noteOn = type == 0x90 && event.midi[2] != 0;
        if (pass == 0 && (type == 0x80 || (type == 0x90 && !noteOn)) && key > 0) {
          --key;
          --heldCount;
        } else if (pass == 0 && type == 0xB0 && (event.midi[1] == 120 || event.midi[1] == 123)) {
          for (int32_t& count : held[channel]) {
            heldCount -= count;
            count = 0;
          }
        } else if (pass == 0 && type == 0xC0 && remarks.firstProgramChangeFrame < 0) {
          remarks.firstProgramChangeFrame = event.frame;
        } else if (pass == 1 && noteOn) {
          if (heldCount > 0 && remarks.firstOverlapFrame < 0) remarks.firstOverlapFrame = event.frame;
          ++key;
          ++heldCount;
          remarks.mostNotesAtOnce = std::max(remarks.mostNotesAtOnce, heldCount);
        }
      }
    first = last;
  }
  return remarks;
}
