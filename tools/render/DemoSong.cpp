#include "DemoSong.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "TempoMap.h"

namespace {

constexpr int32_t kTicksPerQuarter = 480;
constexpr int32_t kMicrosPerQuarter = 555556;  // 108 bpm
constexpr int64_t kEighth = kTicksPerQuarter / 2;
constexpr int64_t kSixteenth = kTicksPerQuarter / 4;
constexpr int64_t kBar = 4 * kTicksPerQuarter;

struct Note {
  int64_t start;
  int64_t length;
  int key;
  int velocity;
};

// Events in ticks, turned into frames at the end.
class Score {
 public:
  void note(const Note& n) {
    midi(n.start, 0x90, n.key, n.velocity);
    midi(n.start + n.length, 0x80, n.key, 0);
  }
  void bend(int64_t tick, int coarse) { midi(tick, 0xE0, 0, std::clamp(coarse, 0, 127)); }
  void program(int64_t tick, int32_t number) {
    events_.push_back({tick, TimedEvent::program(0, number)});
  }
  void parameter(int64_t tick, int32_t index, float value) {
    events_.push_back({tick, TimedEvent::parameter(0, index, value)});
  }
  void end(int64_t tick) { endTick_ = tick; }

  Song toSong(int32_t sampleRate) const {
    TempoMap tempo(kTicksPerQuarter);
    tempo.addChange(0, kMicrosPerQuarter);
    auto ordered = events_;
    std::stable_sort(ordered.begin(), ordered.end(),
                     [](const Entry& a, const Entry& b) { return a.tick < b.tick; });
    Song song;
    for (Entry entry : ordered) {
      entry.event.frame = tempo.frameAt(entry.tick, sampleRate);
      song.events.push_back(entry.event);
    }
    song.endFrame = tempo.frameAt(endTick_, sampleRate);
    finishSong(song);
    return song;
  }

 private:
  struct Entry {
    int64_t tick;
    TimedEvent event;
  };
  void midi(int64_t tick, int status, int data1, int data2) {
    events_.push_back(
        {tick, TimedEvent::midiMessage(0, static_cast<uint8_t>(status), static_cast<uint8_t>(data1),
                                       static_cast<uint8_t>(data2))});
  }
  std::vector<Entry> events_;
  int64_t endTick_ = 0;
};

// Eighth-note arpeggios, each note held a little past the next one's start: the synth releases
// the previous note as the next begins, so the overlap is heard as the release tail.
void arpeggioBars(Score& score, int64_t start, const std::vector<std::vector<int>>& bars) {
  for (size_t bar = 0; bar < bars.size(); ++bar)
    for (size_t step = 0; step < bars[bar].size(); ++step) {
      const int64_t tick =
          start + static_cast<int64_t>(bar) * kBar + static_cast<int64_t>(step) * kEighth;
      const int velocity = step % 2 == 0 ? 108 : 84;
      score.note({tick, kEighth + kEighth / 4, bars[bar][step], velocity});
    }
}

// From a semitone below up to the note over `length` ticks.
void scoop(Score& score, int64_t tick, int64_t length) {
  constexpr int64_t kStep = 15;
  for (int64_t t = 0; t <= length; t += kStep)
    score.bend(tick + t, static_cast<int>(64 * t / length));
}

// Triangle vibrato that deepens over its length, ending centred.
void vibrato(Score& score, int64_t start, int64_t length, int depth) {
  constexpr int64_t kStep = 20;
  constexpr int64_t kPeriod = 160;  // a third of a beat: about 5.4 Hz at 108 bpm
  for (int64_t t = 0; t < length; t += kStep) {
    const int64_t phase = t % kPeriod;
    const int64_t triangle = phase < kPeriod / 2 ? 4 * phase - kPeriod : 3 * kPeriod - 4 * phase;
    const int64_t reach = depth * std::min<int64_t>(t, length / 2) / (length / 2);
    score.bend(start + t, 64 + static_cast<int>(reach * triangle / kPeriod));
  }
  score.bend(start + length, 64);
}

void sweep(Score& score, int32_t index, int64_t start, int64_t length, double from, double to) {
  constexpr int64_t kStep = kSixteenth / 2;
  for (int64_t t = 0; t <= length; t += kStep) {
    const double value = from + (to - from) * static_cast<double>(t) / static_cast<double>(length);
    score.parameter(start + t, index, static_cast<float>(value));
  }
}

}  // namespace

Song demoSong(int32_t sampleRate, const DemoSetup& setup) {
  Score score;

  // Bars 1-4: the lead line, the filter opening as it climbs.
  arpeggioBars(score, 0,
               {{57, 60, 64, 69, 67, 64, 60, 64},
                {53, 57, 60, 65, 64, 60, 57, 60},
                {55, 59, 62, 67, 65, 62, 59, 62}});
  const int64_t bar4 = 3 * kBar;
  score.note({bar4, kTicksPerQuarter + kSixteenth, 64, 100});
  score.note({bar4 + kTicksPerQuarter, kTicksPerQuarter + kSixteenth, 68, 104});
  scoop(score, bar4 + 2 * kTicksPerQuarter, kEighth);  // the bend goes first, then the note
  score.note({bar4 + 2 * kTicksPerQuarter, 2 * kTicksPerQuarter - kSixteenth, 71, 116});
  vibrato(score, bar4 + 3 * kTicksPerQuarter, kTicksPerQuarter - kSixteenth, 10);
  if (setup.cutOffIndex >= 0) sweep(score, setup.cutOffIndex, 0, 4 * kBar - kEighth, 0.2, 0.8);

  // Bars 5-7: the percussive factory program plays a groove.
  const int64_t bar5 = 4 * kBar;
  if (setup.drumProgram >= 0) score.program(bar5, setup.drumProgram);
  struct Hit {
    int sixteenth;
    int key;
    int velocity;
  };
  const std::vector<Hit> groove = {{0, 45, 124}, {3, 45, 80},  {6, 52, 104},  {8, 45, 120},
                                   {10, 43, 92}, {11, 45, 72}, {14, 48, 100}, {15, 50, 84}};
  for (int bar = 0; bar < 2; ++bar)
    for (const Hit& hit : groove)
      score.note(
          {bar5 + bar * kBar + hit.sixteenth * kSixteenth, kSixteenth, hit.key, hit.velocity});
  const int fill[] = {45, 48, 50, 52, 55, 52, 57, 55, 60, 57, 62, 60, 64, 62, 67, 69};
  for (int i = 0; i < 16; ++i)
    score.note({bar5 + 2 * kBar + i * kSixteenth, kSixteenth, fill[i], 70 + 3 * i});

  // Bars 8-9: the lead comes back an octave up and settles on a long vibrato A.
  const int64_t bar8 = 7 * kBar;
  if (setup.drumProgram >= 0) score.program(bar8, setup.startProgram);
  score.note({bar8, 3 * kEighth + kSixteenth, 69, 112});
  score.note({bar8 + 3 * kEighth, kEighth + kSixteenth, 72, 96});
  score.note({bar8 + 2 * kTicksPerQuarter, kTicksPerQuarter + kSixteenth, 71, 104});
  score.note({bar8 + 3 * kTicksPerQuarter, kTicksPerQuarter + kSixteenth, 67, 100});
  const int64_t bar9 = 8 * kBar;
  scoop(score, bar9, kEighth);
  score.note({bar9, kBar - kEighth, 69, 120});
  vibrato(score, bar9 + kTicksPerQuarter, kBar - kTicksPerQuarter - kEighth, 14);
  if (setup.cutOffIndex >= 0) sweep(score, setup.cutOffIndex, bar8, 2 * kBar - kEighth, 0.8, 0.45);

  score.end(9 * kBar);
  return score.toSong(sampleRate);
}
