#include "Renderer.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "HostEventList.h"

namespace {

bool isMidi(const TimedEvent& event) {
  return event.kind == TimedEvent::Kind::Midi;
}

size_t nextMatching(const std::vector<TimedEvent>& events, size_t from, bool midi) {
  while (from < events.size() && isMidi(events[from]) != midi) ++from;
  return from;
}

void applyAction(PluginHost& host, const TimedEvent& event) {
  if (event.kind == TimedEvent::Kind::Program)
    host.selectProgram(event.index);
  else
    host.setParameter(event.index, event.value);
}

}  // namespace

size_t largestEventsPerBlock(const Song& song, int32_t blockSize) {
  size_t largest = 0;
  size_t first = 0;  // oldest MIDI event still inside the window ending at the current one
  size_t inWindow = 0;
  const auto& events = song.events;
  for (size_t i = 0; i < events.size(); ++i) {
    if (!isMidi(events[i])) continue;
    ++inWindow;
    while (events[i].frame - events[first].frame >= blockSize) {
      if (isMidi(events[first])) --inWindow;
      ++first;
    }
    largest = std::max(largest, inWindow);
  }
  return largest;
}

RenderStats renderSong(PluginHost& host, const Song& song, int64_t totalFrames,
                       const FrameWriter& write, const ProgressReport& progress, double gain) {
  const int32_t blockSize = host.blockSize();
  const auto& events = song.events;
  HostEventList eventList(
      std::clamp<size_t>(largestEventsPerBlock(song, blockSize), 1, kMaxEventsPerCall));

  // Plug-ins with fewer channels still get two valid buffers each way.
  const size_t inputCount = static_cast<size_t>(std::max(host.numInputs(), 2));
  const size_t outputCount = static_cast<size_t>(std::max(host.numOutputs(), 2));
  std::vector<std::vector<float>> inputStore(inputCount, std::vector<float>(blockSize, 0.0f));
  std::vector<std::vector<float>> outputStore(outputCount, std::vector<float>(blockSize, 0.0f));
  std::vector<float*> inputs, outputs;
  for (auto& buffer : inputStore) inputs.push_back(buffer.data());
  for (auto& buffer : outputStore) outputs.push_back(buffer.data());
  std::vector<float> interleaved(2 * static_cast<size_t>(blockSize));
  const bool mono = host.numOutputs() == 1;

  RenderStats stats;
  size_t midi = nextMatching(events, 0, true);
  size_t action = nextMatching(events, 0, false);
  int64_t position = 0;
  host.resume();
  while (position < totalFrames) {
    while (action < events.size() && events[action].frame <= position) {
      applyAction(host, events[action]);
      action = nextMatching(events, action + 1, false);
    }
    int64_t end = std::min<int64_t>(position + blockSize, totalFrames);
    if (action < events.size()) end = std::min(end, events[action].frame);

    // A call hands over at most the list's capacity: it ends before the first event that would
    // not fit, with the rest of that event's frame. Only a single frame crowded beyond the
    // capacity spills: its remaining events come one frame late.
    size_t count = 0;
    for (size_t scan = midi; scan < events.size() && events[scan].frame < end;
         scan = nextMatching(events, scan + 1, true)) {
      if (count++ == eventList.capacity()) {
        end = std::max(events[scan].frame, position + 1);
        break;
      }
    }
    eventList.clear();
    while (midi < events.size() && events[midi].frame < end && eventList.size() < eventList.capacity()) {
      const TimedEvent& event = events[midi];
      eventList.addMidi(static_cast<int32_t>(std::max<int64_t>(event.frame - position, 0)),
                        event.midi[0], event.midi[1], event.midi[2]);
      midi = nextMatching(events, midi + 1, true);
    }
    host.processEvents(eventList.events());
    const auto frames = static_cast<int32_t>(end - position);

    // The plug-in adds into its outputs, so every call starts from silence.
    for (auto& buffer : outputStore) std::fill(buffer.begin(), buffer.end(), 0.0f);
    host.render(inputs.data(), outputs.data(), frames);

    const float* left = outputs[0];
    const float* right = mono ? outputs[0] : outputs[1];
    for (int32_t i = 0; i < frames; ++i) {
      interleaved[2 * static_cast<size_t>(i)] = left[i];
      interleaved[2 * static_cast<size_t>(i) + 1] = right[i];
    }
    if (gain != 1.0)
      for (int32_t i = 0; i < 2 * frames; ++i) {
        float& sample = interleaved[static_cast<size_t>(i)];
        sample = static_cast<float>(static_cast<double>(sample) * gain);
      }
    for (int32_t i = 0; i < 2 * frames; ++i) {
      const float magnitude = std::fabs(interleaved[static_cast<size_t>(i)]);
      // NaN compares false everywhere; count it as out of range so it is reported.
      if (!(magnitude <= 1.0f)) ++stats.overRange;
      if (magnitude > stats.peak) stats.peak = magnitude;
    }
    write(interleaved.data(), frames);
    position = end;
    stats.frames = position;
    if (progress) progress(position, totalFrames);
  }
  host.suspend();
  return stats;
}
