// The render loop: host actions and MIDI events from a Song, delivered at their exact frames.
#pragma once

#include <cstdint>
#include <functional>

#include "PluginHost.h"
#include "Song.h"

struct RenderStats {
  int64_t frames = 0;
  float peak = 0.0f;      // largest magnitude written
  int64_t overRange = 0;  // samples beyond full scale (clipped when written as integers)
};

using FrameWriter = std::function<void(const float* interleavedStereo, int32_t frames)>;
using ProgressReport = std::function<void(int64_t framesDone, int64_t framesTotal)>;

// Most MIDI events one render call hands over. VelaOrin keeps 1024 a block; a busier block is
// cut short before the first event that does not fit (events of one frame stay together up to
// this many).
constexpr size_t kMaxEventsPerCall = 1024;

// Largest number of MIDI events that fall inside any window of `blockSize` frames: the event
// list is allocated once for that many (at most kMaxEventsPerCall) before rendering starts.
size_t largestEventsPerBlock(const Song& song, int32_t blockSize);

// Renders `totalFrames` stereo frames. The plug-in is resumed first and suspended at the end.
// Each render call covers at most one block and stops short at a program or parameter change,
// so those land on their exact frame too, and before an event beyond kMaxEventsPerCall; MIDI
// events carry their offset in deltaFrames.
// Samples are scaled by `gain` before they are measured and written.
RenderStats renderSong(PluginHost& host, const Song& song, int64_t totalFrames,
                       const FrameWriter& write, const ProgressReport& progress = {},
                       double gain = 1.0);
