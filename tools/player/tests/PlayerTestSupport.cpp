#include "PlayerTestSupport.h"

#include <fcntl.h>
#include <ftw.h>
#include <jack/midiport.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

ScratchFolder::ScratchFolder() {
  char pattern[] = "/tmp/velaorin-player-XXXXXX";
  path_ = mkdtemp(pattern);
}

ScratchFolder::~ScratchFolder() {
  nftw(path_.c_str(), [](const char* file, const struct stat*, int, FTW*) { return remove(file); },
       16, FTW_DEPTH | FTW_PHYS);
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void writeFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

Child::Child(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv,
             const std::string& outputPrefix)
    : prefix_(outputPrefix) {
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) env.emplace_back(*e);
  for (const std::string& extra : extraEnv) {
    const std::string key = extra.substr(0, extra.find('=') + 1);
    std::erase_if(env, [&](const std::string& e) { return e.rfind(key, 0) == 0; });
    env.push_back(extra);
  }
  std::vector<char*> args, envp;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
  args.push_back(nullptr);
  envp.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, (prefix_ + ".out").c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, (prefix_ + ".err").c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), envp.data()) != 0) pid_ = -1;
  posix_spawn_file_actions_destroy(&actions);
}

Child::~Child() {
  if (running()) {
    kill(pid_, SIGKILL);
    wait(5000);
  }
}

void Child::signal(int number) {
  if (pid_ > 0) kill(pid_, number);
}

bool Child::running() {
  if (pid_ <= 0 || status_ != -1) return false;
  int status = 0;
  if (waitpid(pid_, &status, WNOHANG) == pid_) {
    status_ = status;
    return false;
  }
  return true;
}

bool Child::waitForOutput(const std::string& text, int timeoutMs) {
  waitFor([&] { return out().find(text) != std::string::npos || !running(); }, timeoutMs);
  return out().find(text) != std::string::npos;
}

int Child::wait(int timeoutMs) {
  if (!waitFor([&] { return !running(); }, timeoutMs) || status_ == -1) return -1;
  return WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
}

// Test servers take their names from a small pool. JACK keeps a server's slot in its registry
// until a server of the same name starts again, and has only a few slots: a jackd that dies
// without cleaning up (a killed test) would otherwise cost one slot for good, until JACK
// refuses every new server with "Too many servers already active".
namespace {

bool serverAnswers(const std::string& name) {
  jack_status_t status{};
  jack_client_t* client = jack_client_open(
      "probe-up", static_cast<jack_options_t>(JackNoStartServer | JackServerName), &status,
      name.c_str());
  if (client != nullptr) jack_client_close(client);
  return client != nullptr;
}

}  // namespace

JackServer::JackServer(const std::string& folder) {
  jack_set_error_function([](const char*) {});
  jack_set_info_function([](const char*) {});
  for (int slot = 0; slot < kNamePool && !up_; ++slot) {
    name_ = "velatest" + std::to_string(slot);
    // A server already answering to the name is another test's, or one a killed test left
    // behind: never take it for ours.
    if (serverAnswers(name_)) continue;
    process_ = std::make_unique<Child>(
        std::vector<std::string>{"/usr/bin/jackd", "--no-realtime", "-n", name_, "-d", "dummy",
                                 "-r", std::to_string(kRate), "-p", std::to_string(kPeriod)},
        std::vector<std::string>{"JACK_NO_AUDIO_RESERVATION=1"}, folder + "/jackd");
    // A name another test's live server holds makes jackd exit at once: try the next one.
    waitFor([&] { return (up_ = serverAnswers(name_)) || !process_->running(); }, kPatientMs, 50);
  }
}

void JackServer::stop() {
  if (process_ == nullptr) return;
  // SIGTERM lets jackd give its registry slot back; a killed one keeps it.
  process_->signal(SIGTERM);
  process_->wait(15000);
  process_.reset();
}

JackProbe::JackProbe(const std::string& serverName, double keepSeconds)
    : left_(static_cast<size_t>(
          std::max(keepSeconds * JackServer::kRate, 4.0 * static_cast<double>(kMaxPeriod)))),
      right_(left_.size()), events_(256) {
  jack_status_t status{};
  client_ = jack_client_open("probe", static_cast<jack_options_t>(JackNoStartServer |
                                                                  JackServerName),
                             &status, serverName.c_str());
  if (client_ == nullptr) return;
  midiOut_ = jack_port_register(client_, "midi_out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
  in_[0] = jack_port_register(client_, "in_L", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
  in_[1] = jack_port_register(client_, "in_R", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
  jack_set_process_callback(client_, &JackProbe::process, this);
  jack_set_xrun_callback(
      client_,
      [](void* self) {
        ++static_cast<JackProbe*>(self)->xruns_;
        return 0;
      },
      this);
  jack_activate(client_);
}

JackProbe::~JackProbe() {
  if (client_ != nullptr) jack_client_close(client_);
}

bool JackProbe::waitForPort(const std::string& name, bool present, int timeoutMs) {
  return waitFor(
      [&] { return (jack_port_by_name(client_, name.c_str()) != nullptr) == present; },
      timeoutMs, 20);
}

bool JackProbe::connectTo(const std::string& player) {
  // A connection made by an earlier try counts: the call can be repeated until all three hold.
  auto connect = [this](const std::string& from, const std::string& to) {
    const int result = jack_connect(client_, from.c_str(), to.c_str());
    return result == 0 || result == EEXIST;
  };
  return connect(jack_port_name(midiOut_), player + ":midi_in") &&
         connect(player + ":out_L", jack_port_name(in_[0])) &&
         connect(player + ":out_R", jack_port_name(in_[1]));
}

int64_t JackProbe::play(const std::vector<TimedMidi>& events, int64_t delayFrames) {
  const int64_t start = frame() + delayFrames;
  size_t count = eventCount_.load();
  for (TimedMidi event : events) {
    event.frame += start;
    events_.at(count++) = event;
  }
  eventCount_.store(count);  // published after the slots are written
  return start;
}

bool JackProbe::waitUntilFrame(int64_t target, int timeoutMs) {
  return waitFor([&] { return frame() >= target; }, timeoutMs, 5);
}

int64_t JackProbe::waitForSound(int64_t from, int timeoutMs) {
  int64_t checked = from, found = -1;
  const size_t size = left_.size();
  waitFor(
      [&] {
        const int64_t recorded = frame();
        if (checked < std::max<int64_t>(oldestKept(), 0)) return true;  // lost: not kept
        for (; checked < recorded; ++checked)
          if (left_[static_cast<size_t>(checked) % size] != 0.0f) {
            found = checked;
            return true;
          }
        return false;
      },
      timeoutMs, 5);
  return found;
}

bool JackProbe::waitForSilence(int64_t from, int64_t length, int timeoutMs) {
  return waitFor(
      [&] {
        const int64_t recorded = frame();
        return recorded - length >= from && peak(recorded - length, recorded) == 0.0f;
      },
      timeoutMs, 5);
}

bool JackProbe::copy(int64_t first, int64_t last, Recording& out) const {
  if (first < 0 || last < first || last > frame() || first < oldestKept()) return false;
  const size_t size = left_.size();
  out.first = first;
  out.left.resize(static_cast<size_t>(last - first));
  out.right.resize(out.left.size());
  for (size_t i = 0; i < out.left.size(); ++i) {
    const size_t at = (static_cast<size_t>(first) + i) % size;
    out.left[i] = left_[at];
    out.right[i] = right_[at];
  }
  return first >= oldestKept();  // the callback may have gone round meanwhile
}

std::optional<Recording> JackProbe::recording(int64_t first, int64_t last, int timeoutMs) const {
  if (!waitFor([&] { return frame() >= last; }, timeoutMs, 5)) return std::nullopt;
  Recording out;
  if (!copy(first, last, out)) return std::nullopt;
  return out;
}

std::optional<float> JackProbe::peak(int64_t first, int64_t last) const {
  Recording out;
  if (!copy(first, last, out)) return std::nullopt;
  return out.peak(first, last);
}

int JackProbe::process(jack_nframes_t frames, void* self) {
  auto* probe = static_cast<JackProbe*>(self);
  const int64_t first = probe->frame_.load();
  void* midi = jack_port_get_buffer(probe->midiOut_, frames);
  jack_midi_clear_buffer(midi);
  const size_t count = probe->eventCount_.load();
  for (size_t i = 0; i < count; ++i) {
    const TimedMidi& e = probe->events_[i];
    if (e.frame >= first && e.frame < first + frames) {
      const jack_midi_data_t bytes[3] = {e.status, e.data1, e.data2};
      jack_midi_event_write(midi, static_cast<jack_nframes_t>(e.frame - first), bytes, 3);
    }
  }
  std::vector<float>* store[2] = {&probe->left_, &probe->right_};
  for (int c = 0; c < 2; ++c) {
    const auto* in = static_cast<const float*>(jack_port_get_buffer(probe->in_[c], frames));
    for (jack_nframes_t i = 0; i < frames; ++i)
      (*store[c])[(static_cast<size_t>(first) + i) % store[c]->size()] = in[i];
  }
  probe->frame_.store(first + frames);
  return 0;
}

std::optional<float> Recording::at(int64_t frame) const {
  if (!holds(frame, frame + 1)) return std::nullopt;
  return left[static_cast<size_t>(frame - first)];
}

std::optional<float> Recording::peak(int64_t from, int64_t to) const {
  if (!holds(from, to)) return std::nullopt;
  float result = 0.0f;
  for (int64_t i = from; i < to; ++i)
    result = std::max(result, std::fabs(left[static_cast<size_t>(i - first)]));
  return result;
}
