#include "MidiFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "MidiReader.h"
#include "TempoMap.h"
#include "ToolError.h"

namespace {

// Far beyond any real song (a million events take about 4 MB), and a bound on what a pipe can
// make us hold.
constexpr size_t kLargestMidiFile = 64u << 20;

std::string shownName(const std::string& path) { return path == "-" ? "(standard input)" : path; }

}  // namespace

Song readMidiBytes(const std::vector<uint8_t>& bytes, const std::string& name, int32_t sampleRate,
                   std::vector<std::string>* warnings) {
  const midi::MidiFileContents contents = midi::readMidi(bytes);
  if (!contents.error.empty())
    throw ToolError("cannot read MIDI file '" + name + "': " + contents.error);
  if (warnings != nullptr) *warnings = contents.warnings;

  const midi::TimeDivision& division = contents.division;
  TempoMap tempo = division.ticksPerQuarter > 0
                       ? TempoMap(division.ticksPerQuarter)
                       : TempoMap::smpte(division.framesPerSecond, division.ticksPerFrame);
  for (const midi::TempoChange& change : contents.tempo)
    tempo.addChange(change.tick, change.microsPerQuarter);

  Song song;
  song.events.reserve(contents.messages.size());
  for (const midi::ChannelMessage& message : contents.messages)
    song.events.push_back(TimedEvent::midiMessage(tempo.frameAt(message.tick, sampleRate),
                                                  message.bytes[0], message.bytes[1],
                                                  message.bytes[2]));
  song.endFrame = tempo.frameAt(contents.endTick, sampleRate);
  finishSong(song);
  releaseHeldNotes(song);
  return song;
}

Song readMidiFile(const std::string& path, int32_t sampleRate, std::vector<std::string>* warnings) {
  const bool standardInput = path == "-";
  const int fd = standardInput ? STDIN_FILENO : open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw ToolError("cannot open MIDI file '" + path + "': " + std::strerror(errno));
  std::vector<uint8_t> bytes;
  struct stat info {};
  int error = fstat(fd, &info) != 0 ? errno : S_ISDIR(info.st_mode) ? EISDIR : 0;
  uint8_t chunk[65536];
  while (error == 0) {
    const ssize_t got = read(fd, chunk, sizeof chunk);
    if (got > 0)
      bytes.insert(bytes.end(), chunk, chunk + got);
    else if (got == 0)
      break;
    else if (errno != EINTR)
      error = errno;
    if (bytes.size() > kLargestMidiFile) break;
  }
  if (!standardInput) close(fd);
  if (error != 0)
    throw ToolError("cannot read MIDI file '" + shownName(path) + "': " + std::strerror(error));
  if (bytes.size() > kLargestMidiFile)
    throw ToolError("MIDI file '" + shownName(path) + "' is larger than " +
                    std::to_string(kLargestMidiFile >> 20) + " MB; no song is that long");
  return readMidiBytes(bytes, shownName(path), sampleRate, warnings);
}
