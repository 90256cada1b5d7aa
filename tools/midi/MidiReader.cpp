#include "MidiReader.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <stdexcept>
#include <utility>

namespace midi {
namespace {

constexpr int32_t kDefaultMicrosPerQuarter = 500000;

// Thrown inside the reader only; readMidi turns it into MidiFileContents::error.
class Failure : public std::runtime_error {
 public:
  explicit Failure(const std::string& message) : std::runtime_error(message) {}
};

std::string byteAt(size_t offset) { return "byte " + std::to_string(offset); }

std::string hexByte(uint8_t value) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", value);
  return text;
}

// Chunk names come from the file; unprintable bytes must not reach the terminal.
std::string printable(const uint8_t* bytes, size_t count) {
  std::string text;
  for (size_t i = 0; i < count; ++i)
    text += bytes[i] >= 0x20 && bytes[i] < 0x7F ? static_cast<char>(bytes[i]) : '?';
  return text;
}

bool looksLikeChunkName(const uint8_t* bytes) {
  for (int i = 0; i < 4; ++i)
    if (bytes[i] < 0x20 || bytes[i] >= 0x7F) return false;
  return true;
}

[[noreturn]] void cutShort(size_t offset, const std::string& inside) {
  throw Failure("the file ends at " + byteAt(offset) + ", inside " + inside +
                ": it may have been cut short");
}

// One MTrk chunk's bytes, read in order: a read past the chunk's end says whether the file was
// cut short or the track's length is wrong.
class TrackBytes {
 public:
  TrackBytes(std::span<const uint8_t> bytes, size_t chunkOffset, size_t to, size_t fileEnd,
             std::string name)
      : bytes_(bytes), chunkOffset_(chunkOffset), to_(to), fileEnd_(fileEnd),
        name_(std::move(name)), offset_(chunkOffset + 8), eventStart_(offset_) {}

  const std::string& name() const { return name_; }
  bool more() const { return offset_ < to_; }
  size_t offset() const { return offset_; }
  size_t eventStart() const { return eventStart_; }
  void startEvent() { eventStart_ = offset_; }
  uint8_t peek() const { return bytes_[offset_]; }  // only while more()

  uint8_t next() {
    if (offset_ >= to_) {
      if (to_ == fileEnd_) cutShort(to_, name_);
      throw Failure(name_ + " ends in the middle of an event (" + byteAt(eventStart_) +
                    "); its length (" + byteAt(chunkOffset_ + 4) + ") may be wrong");
    }
    return bytes_[offset_++];
  }

  // Variable-length number: at most four bytes, seven bits each.
  uint32_t number() {
    const size_t start = offset_;
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
      const uint8_t byte = next();
      value = value << 7 | (byte & 0x7F);
      if ((byte & 0x80) == 0) return value;
    }
    throw Failure("a number at " + byteAt(start) + " in " + name_ +
                  " runs over four bytes, more than MIDI allows");
  }

  void skip(uint32_t count) {
    if (count > to_ - offset_) {
      offset_ = to_;
      next();  // reports the cut
    }
    offset_ += count;
  }

 private:
  std::span<const uint8_t> bytes_;
  size_t chunkOffset_, to_, fileEnd_;
  std::string name_;
  size_t offset_, eventStart_;
};

// The event's status byte, or the running status that a data byte in its place repeats.
uint8_t readStatus(TrackBytes& in, uint8_t running) {
  if (!in.more()) in.next();  // reports the cut
  const uint8_t byte = in.peek();
  if (byte & 0x80) return in.next();
  if (running == 0)
    throw Failure(in.name() + " has a data byte (" + hexByte(byte) + ") at " + byteAt(in.offset()) +
                  " where an event should start, with no earlier status to repeat");
  return running;
}

// A note, controller, program, pressure or bend message's data bytes after its status.
ChannelMessage readChannelMessage(TrackBytes& in, uint8_t status, int64_t tick, uint16_t track) {
  ChannelMessage message;
  message.tick = tick;
  message.track = track;
  message.bytes[0] = status;
  const int dataBytes = (status & 0xE0) == 0xC0 ? 1 : 2;
  for (int i = 1; i <= dataBytes; ++i) {
    const size_t at = in.offset();
    const uint8_t value = in.next();
    if (value & 0x80)
      throw Failure(in.name() + " has a value of " + hexByte(value) + " at " + byteAt(at) +
                    " inside a note or controller message; values go up to 0x7F");
    message.bytes[i] = value;
  }
  return message;
}

class Parser {
 public:
  Parser(std::span<const uint8_t> bytes, MidiFileContents& out) : bytes_(bytes), out_(out) {}

  void run() {
    if (bytes_.empty()) throw Failure("the file is empty");
    size_t begin = 0;
    end_ = bytes_.size();
    if (has(0, "RIFF")) unwrapRiff(begin);
    readHeader(begin);
    readChunks();
    finish();
  }

 private:
  bool has(size_t offset, const char* name) const {
    return end_ >= 4 && offset <= end_ - 4 && std::memcmp(&bytes_[offset], name, 4) == 0;
  }
  uint32_t bigEndian(size_t offset, int count) const {
    uint32_t value = 0;
    for (int i = 0; i < count; ++i) value = value << 8 | bytes_[offset + static_cast<size_t>(i)];
    return value;
  }
  uint32_t littleEndian32(size_t offset) const {
    return uint32_t{bytes_[offset]} | uint32_t{bytes_[offset + 1]} << 8 |
           uint32_t{bytes_[offset + 2]} << 16 | uint32_t{bytes_[offset + 3]} << 24;
  }

  // The same warning for every track or event it concerns is given once, with a count.
  void warn(const std::string& kind, const std::string& text) {
    auto [entry, added] = warningKinds_.try_emplace(kind, Repeats{out_.warnings.size(), 0});
    if (added)
      out_.warnings.push_back(text);
    else
      ++entry->second.more;
  }

  // RMID: a RIFF file whose "data" chunk holds the Standard MIDI File.
  void unwrapRiff(size_t& begin) {
    if (end_ < 12) cutShort(end_, "its RIFF header");
    if (!has(8, "RMID"))
      throw Failure("a RIFF file of kind '" + printable(&bytes_[8], 4) +
                    "', not a MIDI file (a MIDI file in RIFF form is of kind 'RMID')");
    for (size_t offset = 12; end_ - offset >= 8;) {
      const size_t length = littleEndian32(offset + 4);
      if (has(offset, "data")) {
        begin = offset + 8;
        if (length < end_ - begin) end_ = begin + length;
        return;
      }
      const size_t padded = length + (length & 1);  // RIFF chunks are padded to an even length
      if (padded > end_ - offset - 8) break;
      offset += 8 + padded;
    }
    throw Failure("an RMID file without the 'data' chunk that holds its MIDI data");
  }

  void readHeader(size_t begin) {
    const size_t size = end_ - begin;
    if (size < 4 || std::memcmp(&bytes_[begin], "MThd", 4) != 0) {
      if (size < 4 && std::memcmp(&bytes_[begin], "MThd", size) == 0)
        cutShort(end_, "the header");
      throw Failure("not a Standard MIDI File: it starts with '" +
                    printable(&bytes_[begin], std::min<size_t>(size, 4)) +
                    "' where a MIDI file has 'MThd'");
    }
    if (size < 14) cutShort(end_, "the header");
    const uint32_t headerLength = bigEndian(begin + 4, 4);
    if (headerLength < 6)
      throw Failure("the header (" + byteAt(begin + 4) + ") says it is " +
                    std::to_string(headerLength) + " bytes long; a MIDI header needs 6");
    if (headerLength > size - 8) cutShort(end_, "the header");
    out_.format = static_cast<int32_t>(bigEndian(begin + 8, 2));
    out_.declaredTracks = static_cast<int32_t>(bigEndian(begin + 10, 2));
    readDivision(begin + 12);
    if (out_.format > 2)
      warn("format", "the header gives format " + std::to_string(out_.format) + " (" +
                         byteAt(begin + 8) +
                         "), which does not exist; its tracks are played together");
    chunksFrom_ = begin + 8 + headerLength;
  }

  void readDivision(size_t offset) {
    const uint8_t high = bytes_[offset];
    const uint8_t low = bytes_[offset + 1];
    TimeDivision& division = out_.division;
    if (high & 0x80) {
      const int framesPerSecond = 256 - high;
      if (framesPerSecond != 24 && framesPerSecond != 25 && framesPerSecond != 29 &&
          framesPerSecond != 30)
        throw Failure("the header's timing (" + byteAt(offset) + ") is " +
                      std::to_string(framesPerSecond) +
                      " SMPTE frames a second; only 24, 25, 29.97 and 30 exist");
      if (low == 0)
        throw Failure("the header's timing (" + byteAt(offset + 1) +
                      ") is 0 ticks per SMPTE frame, so no event has a time");
      division.framesPerSecond = framesPerSecond;
      division.ticksPerFrame = low;
    } else {
      division.ticksPerQuarter = high << 8 | low;
      if (division.ticksPerQuarter == 0)
        throw Failure("the header's timing (" + byteAt(offset) +
                      ") is 0 ticks per quarter note, so no event has a time");
    }
  }

  void readChunks() {
    size_t offset = chunksFrom_;
    int64_t startTick = 0;
    while (offset < end_) {
      if (end_ - offset < 8) {
        if (trackOpen_) trackLengthWrong();
        warn("stray", "ignored " + std::to_string(end_ - offset) + " stray bytes at the end (" +
                          byteAt(offset) + ")");
        break;
      }
      const uint32_t length = bigEndian(offset + 4, 4);
      const size_t available = end_ - offset - 8;
      if (has(offset, "MTrk")) {
        const int32_t track = out_.tracksRead;
        if (length > available)
          throw Failure("track " + std::to_string(track + 1) + " (" + byteAt(offset) +
                        ") says it holds " + std::to_string(length) + " bytes, but the file has " +
                        std::to_string(available) + " more: it may have been cut short");
        // Format 2: each track is its own piece, played after the one before.
        const bool sequential = out_.format == 2;
        if (sequential && track > 0 && out_.division.ticksPerQuarter != 0)
          out_.tempo.push_back({startTick, kDefaultMicrosPerQuarter});
        const int64_t trackEnd = readTrack(offset, offset + 8 + length, sequential ? startTick : 0);
        if (sequential) startTick = trackEnd;
        offset += 8 + length;
        ++out_.tracksRead;
      } else if (!looksLikeChunkName(&bytes_[offset])) {
        if (trackOpen_) trackLengthWrong();
        if (out_.tracksRead < out_.declaredTracks)
          throw Failure("found unreadable data at " + byteAt(offset) + " where track " +
                        std::to_string(out_.tracksRead + 1) + " should start");
        warn("stray", "ignored " + std::to_string(end_ - offset) +
                          " bytes of unreadable data after the last track (" + byteAt(offset) +
                          ")");
        break;
      } else {
        if (trackOpen_) missingEndOfTrack();
        warn("chunk:" + printable(&bytes_[offset], 4),
             "skipped a chunk of unknown kind '" + printable(&bytes_[offset], 4) + "' at " +
                 byteAt(offset));
        if (length > available) break;
        offset += 8 + length;
      }
    }
    if (trackOpen_) missingEndOfTrack();
  }

  // Bytes that are no chunk right after a track without an end-of-track mark: the track's
  // events went on, and its length is too small.
  [[noreturn]] void trackLengthWrong() const {
    throw Failure("track " + std::to_string(out_.tracksRead) + " (" + byteAt(lastTrackOffset_) +
                  ") says it holds " + std::to_string(lastTrackLength_) +
                  " bytes, but its events go on past that: the track length is wrong");
  }

  void missingEndOfTrack() {
    warn("end", "track " + std::to_string(out_.tracksRead) +
                    " has no end-of-track mark; it ends with its last event");
    trackOpen_ = false;
  }

  // Decodes one MTrk chunk's events; returns the tick where the track ends.
  int64_t readTrack(size_t chunkOffset, size_t to, int64_t tick) {
    if (trackOpen_) missingEndOfTrack();  // the previous track, now known to be followed by one
    const auto track = static_cast<uint16_t>(out_.tracksRead);
    TrackBytes in(bytes_, chunkOffset, to, end_, "track " + std::to_string(track + 1));
    lastTrackOffset_ = chunkOffset;
    lastTrackLength_ = to - chunkOffset - 8;
    uint8_t running = 0;
    while (in.more()) {
      in.startEvent();
      tick += in.number();
      const size_t statusAt = in.offset();
      const uint8_t status = readStatus(in, running);
      if (status < 0xF0) {
        running = status;
        out_.messages.push_back(readChannelMessage(in, status, tick, track));
      } else if (status == 0xF0 || status == 0xF7) {
        // Whole sysex, a packet of one or an escape: none reaches the instrument.
        in.skip(in.number());
        ++out_.systemExclusive;
      } else if (status == 0xFF) {
        if (readMetaEvent(in, tick, statusAt)) return closeTrack(tick, true);
      } else {
        throw Failure(in.name() + " has the status byte " + hexByte(status) + " at " +
                      byteAt(in.eventStart()) + ", which only live MIDI uses, never a file");
      }
    }
    return closeTrack(tick, false);
  }

  // Skips a meta event, keeping a tempo change; true for the end-of-track mark.
  bool readMetaEvent(TrackBytes& in, int64_t tick, size_t statusAt) {
    const uint8_t type = in.next();
    const uint32_t length = in.number();
    const size_t data = in.offset();
    in.skip(length);
    if (type == 0x2F) return true;
    if (type == 0x51) tempoChange(tick, statusAt, data, length);
    return false;
  }

  // A track without an end-of-track mark stays open: told once the next chunk shows that its
  // length was right.
  int64_t closeTrack(int64_t endTick, bool marked) {
    trackOpen_ = !marked;
    out_.endTick = std::max(out_.endTick, endTick);
    return endTick;
  }

  void tempoChange(int64_t tick, size_t eventAt, size_t data, uint32_t length) {
    if (out_.division.ticksPerQuarter == 0) return;  // SMPTE timing: the clock is fixed
    const uint32_t micros = length == 3 ? bigEndian(data, 3) : 0;
    if (micros == 0) {
      warn("tempo", "ignored a broken tempo change at " + byteAt(eventAt));
      return;
    }
    out_.tempo.push_back({tick, static_cast<int32_t>(micros)});
  }

  void finish() {
    for (const auto& [kind, repeats] : warningKinds_)
      if (repeats.more > 0)
        out_.warnings[repeats.index] +=
            " (and " + std::to_string(repeats.more) + " more like it)";
    if (out_.tracksRead == 0) throw Failure("the file holds no tracks, so there is nothing to play");
    if (out_.tracksRead != out_.declaredTracks)
      out_.warnings.push_back("the header promises " + std::to_string(out_.declaredTracks) +
                              (out_.declaredTracks == 1 ? " track" : " tracks") +
                              ", but the file holds " + std::to_string(out_.tracksRead) +
                              "; playing what is there");
    auto byTick = [](const auto& a, const auto& b) { return a.tick < b.tick; };
    // Each track is in order already; the sort interleaves them.
    if (!std::is_sorted(out_.messages.begin(), out_.messages.end(), byTick))
      std::stable_sort(out_.messages.begin(), out_.messages.end(), byTick);
    if (!std::is_sorted(out_.tempo.begin(), out_.tempo.end(), byTick))
      std::stable_sort(out_.tempo.begin(), out_.tempo.end(), byTick);
  }

  struct Repeats {
    size_t index;
    size_t more;
  };

  std::span<const uint8_t> bytes_;
  MidiFileContents& out_;
  size_t end_ = 0;
  size_t chunksFrom_ = 0;
  bool trackOpen_ = false;  // the last track read had no end-of-track mark
  size_t lastTrackOffset_ = 0;
  size_t lastTrackLength_ = 0;
  std::map<std::string, Repeats> warningKinds_;
};

}  // namespace

MidiFileContents readMidi(std::span<const uint8_t> bytes) {
  MidiFileContents contents;
  try {
    Parser(bytes, contents).run();
  } catch (const Failure& failure) {
    MidiFileContents failed;
    failed.error = failure.what();
    return failed;
  }
  return contents;
}

}  // namespace midi
