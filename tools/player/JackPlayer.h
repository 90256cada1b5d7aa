// The JACK side of the player: one MIDI input, two audio outputs, and a process callback that
// hands each period's MIDI to the plug-in and renders into the output ports.
// Threads: the UI thread opens, starts, connects and closes; JACK calls the process callback on
// the audio thread and the buffer size and sample rate callbacks on its notification thread.
#pragma once

#include <jack/jack.h>

#include <atomic>
#include <string>
#include <vector>

#include "HostEventList.h"
#include "NoteQueue.h"
#include "PluginHost.h"
#include "ToolError.h"

// No JACK server answered at all, as opposed to one that refused the client: started from the
// desktop menu, the player then tries PipeWire's JACK.
class NoJackServer : public ToolError {
 public:
  using ToolError::ToolError;
};

class JackPlayer {
 public:
  // [UI thread] Opens the client without starting a server. Throws NoJackServer when none
  // answers, ToolError when one refuses.
  explicit JackPlayer(const std::string& clientName);
  ~JackPlayer();  // closes the client: ports released
  JackPlayer(const JackPlayer&) = delete;
  JackPlayer& operator=(const JackPlayer&) = delete;

  // [UI thread]
  int32_t sampleRate() const { return static_cast<int32_t>(jack_get_sample_rate(client_)); }
  int32_t bufferSize() const { return static_cast<int32_t>(jack_get_buffer_size(client_)); }
  std::string clientName() const { return jack_get_client_name(client_); }

  // Registers the callbacks and activates; `host` must outlive deactivate().
  void start(PluginHost& host);
  void deactivate();
  void close();

  // Throw ToolError naming a port that does not exist or a connection JACK refused.
  void connectMidiFrom(const std::string& port);
  void connectAudioTo(const std::string& left, const std::string& right);
  // The first two physical playback ports; nothing when there are none.
  void connectSystemPlayback();

  // [UI thread] joins the MIDI input at the start of the next period.
  bool queueNote(uint8_t status, uint8_t note, uint8_t velocity) {
    return notes_.push({status, note, velocity});
  }

  // [any thread]
  bool serverGone() const { return serverGone_.load(); }
  std::string shutdownReason() const;  // [UI thread] once serverGone()
  // [UI thread] Written to when the server goes away, so a poll loop wakes up; set before
  // start().
  void setWakeFd(int fd) { wakeFd_ = fd; }

 private:
  // [audio thread]
  static int processThunk(jack_nframes_t frames, void* self);
  // [JACK notification thread]
  static int bufferSizeThunk(jack_nframes_t frames, void* self);
  static int sampleRateThunk(jack_nframes_t rate, void* self);
  // [any thread] JACK calls it from a thread of its own, like a signal handler.
  static void shutdownThunk(jack_status_t code, const char* reason, void* self);

  // [audio thread]
  int process(jack_nframes_t frames);
  // [JACK notification thread] keeps the audio thread out while the plug-in is reconfigured.
  template <typename Change>
  void reconfigure(Change change);
  void connect(const std::string& from, const std::string& to);

  jack_client_t* client_ = nullptr;
  jack_port_t* midiIn_ = nullptr;
  jack_port_t* out_[2] = {nullptr, nullptr};
  PluginHost* host_ = nullptr;
  HostEventList events_{1024};
  NoteQueue<256> notes_;
  std::vector<float> silence_;  // the plug-in has no inputs; it gets this buffer if it looks
  std::atomic<bool> paused_{false};
  std::atomic<bool> inProcess_{false};
  std::atomic<bool> serverGone_{false};
  char reason_[256] = {};
  int wakeFd_ = -1;
  bool active_ = false;
};
