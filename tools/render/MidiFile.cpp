#include "MidiFile.h"

#include <glib.h>  // before smf.h, which would otherwise pull it in inside extern "C"
#include <smf.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "TempoMap.h"
#include "ToolError.h"

namespace {

constexpr size_t kLargestMidiFile = 64u << 20;
constexpr unsigned kProbeSeconds = 20;

// libsmf reports through glib's log; keep its last message for our own error line.
class SmfMessages {
 public:
  explicit SmfMessages(int pipeFd = -1) : pipeFd_(pipeFd) {
    handlerId_ = g_log_set_handler(
        "libsmf",
        static_cast<GLogLevelFlags>(G_LOG_LEVEL_MASK | G_LOG_FLAG_FATAL | G_LOG_FLAG_RECURSION),
        &SmfMessages::handle, this);
  }
  ~SmfMessages() { g_log_remove_handler("libsmf", handlerId_); }
  SmfMessages(const SmfMessages&) = delete;
  SmfMessages& operator=(const SmfMessages&) = delete;

  const std::string& last() const { return last_; }
  // libsmf says "critical" when it had to give up on part of the file, "warning" otherwise.
  const std::string& lastCritical() const { return lastCritical_; }
  const std::string& lastWarning() const { return lastWarning_; }

 private:
  static void handle(const gchar*, GLogLevelFlags level, const gchar* message, gpointer self) {
    auto* messages = static_cast<SmfMessages*>(self);
    messages->last_ = message != nullptr ? message : "";
    if ((level & (G_LOG_LEVEL_ERROR | G_LOG_LEVEL_CRITICAL)) != 0)
      messages->lastCritical_ = messages->last_;
    else if ((level & G_LOG_LEVEL_WARNING) != 0)
      messages->lastWarning_ = messages->last_;
    if (messages->pipeFd_ >= 0) {
      std::string line = messages->last_ + "\n";
      ssize_t ignored = write(messages->pipeFd_, line.data(), line.size());
      (void)ignored;
    }
  }

  int pipeFd_;
  guint handlerId_ = 0;
  std::string last_;
  std::string lastCritical_;
  std::string lastWarning_;
};

// Damaged files put raw bytes into messages (chunk names, say); errors stay on one line.
std::string printable(std::string text) {
  for (char& c : text)
    if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F) c = '?';
  return text;
}

std::string plainMessage(std::string message) {
  for (const char* prefix : {"SMF error: ", "SMF warning: "})
    if (message.rfind(prefix, 0) == 0) message.erase(0, std::strlen(prefix));
  while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) message.pop_back();
  return printable(message);
}

struct SmfDeleter {
  void operator()(smf_t* smf) const { smf_delete(smf); }
};
using SmfPtr = std::unique_ptr<smf_t, SmfDeleter>;

SmfPtr loadSmf(const std::vector<uint8_t>& bytes, SmfMessages& messages, const std::string& name) {
  SmfPtr smf(smf_load_from_memory(bytes.data(), static_cast<int>(bytes.size())));
  if (!smf) {
    std::string reason = plainMessage(messages.last());
    throw ToolError("cannot read MIDI file '" + name +
                    "': " + (reason.empty() ? "not a Standard MIDI File" : reason));
  }
  return smf;
}

// libsmf stops the whole process with an assertion on several kinds of damaged file, so each file
// is parsed once in a child first; only a file the child survived is parsed here.
void probeInChild(const std::vector<uint8_t>& bytes, const std::string& name) {
  int fds[2];
  if (pipe(fds) != 0)
    throw ToolError(std::string("cannot check MIDI file: ") + std::strerror(errno));
  const pid_t child = fork();
  if (child < 0) {
    close(fds[0]);
    close(fds[1]);
    throw ToolError(std::string("cannot check MIDI file: ") + std::strerror(errno));
  }
  if (child == 0) {
    close(fds[0]);
    const int devNull = open("/dev/null", O_WRONLY);
    if (devNull >= 0) dup2(devNull, STDERR_FILENO);
    alarm(kProbeSeconds);
    SmfMessages messages(fds[1]);
    smf_t* smf = smf_load_from_memory(bytes.data(), static_cast<int>(bytes.size()));
    if (smf != nullptr) smf_delete(smf);
    _exit(0);
  }
  close(fds[1]);
  std::string output;
  char buffer[512];
  for (;;) {
    const ssize_t got = read(fds[0], buffer, sizeof buffer);
    if (got > 0) {
      output.append(buffer, static_cast<size_t>(got));
    } else if (got == 0 || errno != EINTR) {
      break;
    }
  }
  close(fds[0]);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return;

  while (!output.empty() && output.back() == '\n') output.pop_back();
  const size_t lineStart = output.rfind('\n');
  std::string reason =
      plainMessage(lineStart == std::string::npos ? output : output.substr(lineStart + 1));
  throw ToolError("corrupt MIDI file '" + name +
                  "': " + (reason.empty() ? "the MIDI reader gave up on it" : reason));
}

uint32_t bigEndian32(const uint8_t* bytes) {
  return (uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) | (uint32_t{bytes[2]} << 8) |
         bytes[3];
}

// libsmf trusts the chunk lengths and reads past the end of the data when a chunk claims more
// bytes than the file has, so the chunk framing is checked before it sees the file.
void checkChunkFraming(const std::vector<uint8_t>& bytes, const std::string& name) {
  if (bytes.size() < 14 || std::memcmp(bytes.data(), "MThd", 4) != 0)
    throw ToolError("cannot read MIDI file '" + name +
                    "': not a Standard MIDI File (no MThd header)");
  size_t offset = 0;
  while (bytes.size() - offset >= 8) {
    const uint32_t length = bigEndian32(&bytes[offset + 4]);
    if (length > bytes.size() - offset - 8)
      throw ToolError("corrupt MIDI file '" + name + "': chunk '" +
                      printable(std::string(reinterpret_cast<const char*>(&bytes[offset]), 4)) +
                      "' at byte " + std::to_string(offset) +
                      " runs past the end of the file (truncated?)");
    offset += 8 + length;
  }
}

struct TickedEvent {
  int64_t tick;
  uint8_t bytes[3];
};

bool isChannelMessage(const smf_event_t* event) {
  if (event->midi_buffer_length < 2) return false;
  const uint8_t status = event->midi_buffer[0];
  return status >= 0x80 && status < 0xF0;
}

}  // namespace

Song readMidiBytes(const std::vector<uint8_t>& bytes, const std::string& name, int32_t sampleRate,
                   std::string* warning) {
  if (bytes.empty()) throw ToolError("MIDI file '" + name + "' is empty");
  if (bytes.size() > kLargestMidiFile) throw ToolError("MIDI file '" + name + "' is too large");
  checkChunkFraming(bytes, name);
  probeInChild(bytes, name);

  SmfMessages messages;
  SmfPtr smf = loadSmf(bytes, messages, name);
  if (!messages.lastCritical().empty())
    throw ToolError("corrupt MIDI file '" + name + "': " + plainMessage(messages.lastCritical()));
  if (warning != nullptr) *warning = plainMessage(messages.lastWarning());
  if (smf->ppqn <= 0) throw ToolError("MIDI file '" + name + "' has no ticks-per-quarter division");

  TempoMap tempo(smf->ppqn);
  std::vector<TickedEvent> ticked;
  int64_t endTick = 0;
  for (int t = 1; t <= smf->number_of_tracks; ++t) {
    smf_track_t* track = smf_get_track_by_number(smf.get(), t);
    if (track == nullptr) continue;
    for (int e = 1; e <= track->number_of_events; ++e) {
      const smf_event_t* event = smf_track_get_event_by_number(track, e);
      if (event == nullptr) continue;
      const int64_t tick = event->time_pulses;
      endTick = std::max(endTick, tick);
      const uint8_t* data = event->midi_buffer;
      if (data[0] == 0xFF && event->midi_buffer_length >= 6 && data[1] == 0x51 && data[2] == 3) {
        const int32_t micros = (data[3] << 16) | (data[4] << 8) | data[5];
        if (micros > 0) tempo.addChange(tick, micros);
      } else if (isChannelMessage(event)) {
        TickedEvent message{tick, {data[0], data[1], 0}};
        if (event->midi_buffer_length >= 3) message.bytes[2] = data[2];
        ticked.push_back(message);
      }
    }
  }
  // Track by track, then by time: equal ticks keep the order of the tracks in the file.
  std::stable_sort(ticked.begin(), ticked.end(),
                   [](const TickedEvent& a, const TickedEvent& b) { return a.tick < b.tick; });

  Song song;
  song.events.reserve(ticked.size());
  for (const TickedEvent& message : ticked)
    song.events.push_back(TimedEvent::midiMessage(tempo.frameAt(message.tick, sampleRate),
                                                  message.bytes[0], message.bytes[1],
                                                  message.bytes[2]));
  song.endFrame = tempo.frameAt(endTick, sampleRate);
  finishSong(song);
  releaseHeldNotes(song);
  return song;
}

Song readMidiFile(const std::string& path, int32_t sampleRate, std::string* warning) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw ToolError("cannot open MIDI file '" + path + "': " + std::strerror(errno));
  std::vector<uint8_t> bytes;
  struct stat info {};
  int error = fstat(fd, &info) != 0 ? errno : S_ISDIR(info.st_mode) ? EISDIR : 0;
  uint8_t chunk[65536];
  while (error == 0 && bytes.size() <= kLargestMidiFile) {
    const ssize_t got = read(fd, chunk, sizeof chunk);
    if (got > 0)
      bytes.insert(bytes.end(), chunk, chunk + got);
    else if (got == 0)
      break;
    else if (errno != EINTR)
      error = errno;
  }
  close(fd);
  if (error != 0) throw ToolError("cannot read MIDI file '" + path + "': " + std::strerror(error));
  return readMidiBytes(bytes, path, sampleRate, warning);
}
