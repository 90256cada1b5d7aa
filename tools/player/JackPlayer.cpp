#include "JackPlayer.h"

#include <jack/midiport.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <thread>

#include "ToolError.h"

namespace {

void quiet(const char*) {}
void printJackError(const char* message) { std::fprintf(stderr, "velaorin: JACK: %s\n", message); }

}  // namespace

JackPlayer::JackPlayer(const std::string& clientName) {
  jack_status_t status{};
  // libjack explains a missing server in several lines of its own; ours is one line.
  jack_set_error_function(&quiet);
  jack_set_info_function(&quiet);
  client_ = jack_client_open(clientName.c_str(), JackNoStartServer, &status);
  jack_set_error_function(&printJackError);
  if (client_ == nullptr) {
    if ((status & JackServerFailed) != 0)
      throw NoJackServer("no JACK server is running (start one with 'jackd -d alsa', or run "
                      "under PipeWire's JACK)");
    throw ToolError("cannot open a JACK client named '" + clientName + "' (status 0x" +
                    [&] { char hex[16]; std::snprintf(hex, sizeof hex, "%x", status);
                          return std::string(hex); }() + ")");
  }
  midiIn_ = jack_port_register(client_, "midi_in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
  out_[0] = jack_port_register(client_, "out_L", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
  out_[1] = jack_port_register(client_, "out_R", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
  if (midiIn_ == nullptr || out_[0] == nullptr || out_[1] == nullptr) {
    close();
    throw ToolError("JACK refused to register the player's ports");
  }
}

JackPlayer::~JackPlayer() { close(); }

void JackPlayer::start(PluginHost& host) {
  host_ = &host;
  silence_.assign(static_cast<size_t>(bufferSize()), 0.0f);
  jack_set_process_callback(client_, &processThunk, this);
  jack_set_buffer_size_callback(client_, &bufferSizeThunk, this);
  jack_set_sample_rate_callback(client_, &sampleRateThunk, this);
  jack_on_info_shutdown(client_, &shutdownThunk, this);
  host.resume();
  if (jack_activate(client_) != 0) throw ToolError("JACK refused to activate the client");
  active_ = true;
}

void JackPlayer::deactivate() {
  if (client_ != nullptr && active_ && !serverGone_) jack_deactivate(client_);
  active_ = false;
}

void JackPlayer::close() {
  deactivate();
  if (serverGone_) jack_set_error_function(&quiet);  // libjack's complaints about the lost server
  if (client_ != nullptr) jack_client_close(client_);
  client_ = nullptr;
}

void JackPlayer::connect(const std::string& from, const std::string& to) {
  for (const std::string* name : {&from, &to})
    if (jack_port_by_name(client_, name->c_str()) == nullptr)
      throw ToolError("JACK port '" + *name + "' does not exist (list them with jack_lsp)");
  const int rc = jack_connect(client_, from.c_str(), to.c_str());
  if (rc != 0 && rc != EEXIST)
    throw ToolError("JACK refused to connect '" + from + "' to '" + to + "'");
}

void JackPlayer::connectMidiFrom(const std::string& port) {
  connect(port, jack_port_name(midiIn_));
}

void JackPlayer::connectAudioTo(const std::string& left, const std::string& right) {
  connect(jack_port_name(out_[0]), left);
  connect(jack_port_name(out_[1]), right);
}

void JackPlayer::connectSystemPlayback() {
  const char** ports = jack_get_ports(client_, nullptr, JACK_DEFAULT_AUDIO_TYPE,
                                      JackPortIsPhysical | JackPortIsInput);
  if (ports == nullptr) return;
  if (ports[0] != nullptr) connectAudioTo(ports[0], ports[1] != nullptr ? ports[1] : ports[0]);
  jack_free(ports);
}

std::string JackPlayer::shutdownReason() const { return reason_; }

int JackPlayer::processThunk(jack_nframes_t frames, void* self) {
  return static_cast<JackPlayer*>(self)->process(frames);
}

int JackPlayer::bufferSizeThunk(jack_nframes_t frames, void* self) {
  auto* player = static_cast<JackPlayer*>(self);
  player->reconfigure([player, frames] {
    player->silence_.assign(frames, 0.0f);
    player->host_->setBlockSize(static_cast<int32_t>(frames));
  });
  return 0;
}

int JackPlayer::sampleRateThunk(jack_nframes_t rate, void* self) {
  auto* player = static_cast<JackPlayer*>(self);
  if (static_cast<int32_t>(rate) != player->host_->sampleRate())
    player->reconfigure([player, rate] { player->host_->setSampleRate(static_cast<int32_t>(rate)); });
  return 0;
}

void JackPlayer::shutdownThunk(jack_status_t, const char* reason, void* self) {
  auto* player = static_cast<JackPlayer*>(self);
  if (reason != nullptr) std::strncpy(player->reason_, reason, sizeof player->reason_ - 1);
  player->serverGone_ = true;
  if (player->wakeFd_ >= 0) {
    const char byte = 'j';
    [[maybe_unused]] ssize_t ignored = write(player->wakeFd_, &byte, 1);
  }
}

template <typename Change>
void JackPlayer::reconfigure(Change change) {
  // Sequentially consistent on both sides: either process sees paused_ or we see inProcess_.
  paused_ = true;
  while (inProcess_) std::this_thread::yield();
  const bool wasRunning = host_->running();
  if (wasRunning) host_->suspend();
  change();
  if (wasRunning) host_->resume();
  paused_ = false;
}

// [audio thread]
int JackPlayer::process(jack_nframes_t frames) {
  float* outputs[2] = {static_cast<float*>(jack_port_get_buffer(out_[0], frames)),
                       static_cast<float*>(jack_port_get_buffer(out_[1], frames))};
  inProcess_ = true;
  if (paused_ || frames > silence_.size()) {
    inProcess_ = false;
    for (float* out : outputs) std::memset(out, 0, frames * sizeof(float));
    return 0;
  }
  events_.clear();
  ShortMidi note;
  while (notes_.pop(note)) events_.addMidi(0, note.status, note.data1, note.data2);
  void* midi = jack_port_get_buffer(midiIn_, frames);
  const jack_nframes_t count = jack_midi_get_event_count(midi);
  for (jack_nframes_t i = 0; i < count; ++i) {
    jack_midi_event_t event;
    if (jack_midi_event_get(&event, midi, i) != 0) continue;
    // Channel messages only: the plug-in takes nothing else, and sysex does not fit the record.
    if (event.size < 1 || event.size > 3 || event.buffer[0] < 0x80 || event.buffer[0] >= 0xf0)
      continue;
    events_.addMidi(static_cast<int32_t>(event.time), event.buffer[0],
                    event.size > 1 ? event.buffer[1] : 0, event.size > 2 ? event.buffer[2] : 0);
  }
  if (events_.size() > 0) host_->processEvents(events_.events());
  float* inputs[2] = {silence_.data(), silence_.data()};
  host_->render(inputs, outputs, static_cast<int32_t>(frames));
  inProcess_ = false;
  return 0;
}
