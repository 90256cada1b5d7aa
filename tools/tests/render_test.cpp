#include <gtest/gtest.h>

#include <cstdlib>

#include "PluginHost.h"
#include "Renderer.h"
#include "ToolTestSupport.h"

namespace {

struct Rendered {
  std::vector<float> left, right;
  RenderStats stats;
};

Rendered renderWithProbe(const Song& song, int64_t frames, int32_t blockSize,
                         int32_t sampleRate = 44100) {
  PluginHost host(VELA_PROBE_PLUGIN, sampleRate, blockSize);
  Rendered result;
  result.stats = renderSong(host, song, frames, [&result](const float* samples, int32_t count) {
    for (int32_t i = 0; i < count; ++i) {
      result.left.push_back(samples[2 * i]);
      result.right.push_back(samples[2 * i + 1]);
    }
  });
  return result;
}

Song notesAt(const std::vector<int64_t>& frames) {
  Song song;
  uint8_t key = 20;
  for (int64_t frame : frames) {
    song.events.push_back(TimedEvent::midiMessage(frame, 0x90, key, 100));
    song.events.push_back(TimedEvent::midiMessage(frame + 3, 0x80, key, 0));
    ++key;
  }
  finishSong(song);
  return song;
}

}  // namespace

TEST(Renderer, EveryEventLandsOnItsFrameWhateverTheBlockSize) {
  const std::vector<int64_t> frames = {0, 1, 510, 511, 512, 513, 1000, 1023, 1024, 2040};
  const Song song = notesAt(frames);
  const Rendered reference = renderWithProbe(song, 2048, 512);
  ASSERT_EQ(reference.left.size(), 2048u);
  ASSERT_EQ(reference.stats.frames, 2048);

  std::vector<float> expectedLeft(2048, 0.0f), expectedRight(2048, 0.0f);
  for (size_t i = 0; i < frames.size(); ++i) {
    expectedLeft[static_cast<size_t>(frames[i])] += static_cast<float>(20 + i) / 128.0f;
    expectedRight[static_cast<size_t>(frames[i]) + 3] += 0.5f;
  }
  EXPECT_EQ(reference.left, expectedLeft);
  EXPECT_EQ(reference.right, expectedRight);

  for (int32_t blockSize : {1, 3, 64, 511, 4096}) {
    SCOPED_TRACE("block size " + std::to_string(blockSize));
    const Rendered other = renderWithProbe(song, 2048, blockSize);
    EXPECT_EQ(other.left, reference.left);
    EXPECT_EQ(other.right, reference.right);
  }
  // More events than one call hands over: the call is cut short, nothing is lost or moved.
  std::vector<int64_t> busy(2040);
  for (size_t i = 0; i < busy.size(); ++i) busy[i] = static_cast<int64_t>(i);
  const Song crowded = notesAt(busy);
  const Rendered oneByOne = renderWithProbe(crowded, 2048, 1);
  const Rendered inOne = renderWithProbe(crowded, 2048, 4096);
  EXPECT_EQ(inOne.left, oneByOne.left);
  EXPECT_EQ(inOne.right, oneByOne.right);
  EXPECT_EQ(oneByOne.right[2039], 0.5f);  // the note-off of the note from frame 2036
}

TEST(Renderer, ProgramAndParameterChangesTakeEffectOnTheirFrame) {
  Song song;
  song.events.push_back(TimedEvent::program(300, 2));  // right channel: 0.25 from frame 300
  song.events.push_back(TimedEvent::parameter(700, 1, 0.125f));  // left channel: "Offset" from 700
  song.events.push_back(TimedEvent::parameter(700, 0, 0.5f));    // "Level" halves the next note
  song.events.push_back(TimedEvent::midiMessage(900, 0x90, 64, 100));
  finishSong(song);
  const Rendered out = renderWithProbe(song, 1200, 512);
  for (size_t i = 0; i < out.left.size(); ++i) {
    SCOPED_TRACE("frame " + std::to_string(i));
    const float note = i == 900 ? 0.5f * 64 / 128.0f : 0.0f;
    // The probe adds into its outputs, so a host that reused them uncleared would drift upwards.
    ASSERT_EQ(out.left[i], (i >= 700 ? 0.125f : 0.0f) + note);
    ASSERT_EQ(out.right[i], i >= 300 ? 0.25f : 0.0f);
  }
  EXPECT_EQ(out.stats.peak, 0.375f);
  EXPECT_EQ(out.stats.overRange, 0);
}

TEST(Renderer, CountsSamplesBeyondFullScale) {
  Song song;
  song.events.push_back(TimedEvent::parameter(0, 1, 1.0f));  // left sits at full scale
  song.events.push_back(TimedEvent::program(10, 2));
  song.events.push_back(TimedEvent::midiMessage(20, 0x90, 64, 100));  // left 1.5 at frame 20
  finishSong(song);
  const Rendered out = renderWithProbe(song, 40, 16);
  EXPECT_EQ(out.stats.overRange, 1);
  EXPECT_EQ(out.stats.peak, 1.5f);
}

TEST(Renderer, EventListIsSizedForTheBusiestBlock) {
  const struct {
    std::vector<int64_t> frames;
    int32_t blockSize;
    size_t largest;
  } rows[] = {
      {{}, 512, 0},
      {{0, 0, 0}, 1, 3},
      {{0, 1, 2, 3}, 2, 2},
      {{0, 511, 512, 1023}, 512, 2},
      {{100, 700, 701, 702, 1300}, 512, 3},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE("block size " + std::to_string(row.blockSize));
    Song song;
    for (int64_t frame : row.frames) {
      song.events.push_back(TimedEvent::parameter(frame, 0, 0.5f));  // host actions do not count
      song.events.push_back(TimedEvent::midiMessage(frame, 0x90, 60, 1));
    }
    EXPECT_EQ(largestEventsPerBlock(song, row.blockSize), row.largest);
  }
}

TEST(PluginHost, DrivesThePluginInTheHostOrder) {
  ScratchDir dir;
  const std::string log = dir.file("calls.log");
  setenv("VELA_PROBE_LOG", log.c_str(), 1);
  {
    PluginHost host(VELA_PROBE_PLUGIN, 48000, 100);
    host.selectProgram(1);
    renderSong(host, notesAt({10, 150}), 250, [](const float*, int32_t) {});
  }
  unsetenv("VELA_PROBE_LOG");
  const std::vector<std::string> expected = {
      "version 2400", "open",     "rate 48000",  "block 100", "program 1",  "mains 1", "events 2",
      "process 100",  "events 2", "process 100", "events 0",  "process 50", "mains 0", "close"};
  EXPECT_EQ(readLines(log), expected);
}
