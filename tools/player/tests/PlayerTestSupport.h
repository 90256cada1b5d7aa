// Test helpers for the player: scratch folders, child processes, a private JACK server on the
// dummy driver, and a JACK client that plays MIDI into the player and records what it sends back.
#pragma once

#include <jack/jack.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Bound for waits on the player, the server and the sound: every wait ends as soon as its
// condition holds, so only a failure takes this long and a busy machine fails nothing.
constexpr int kPatientMs = 30000;

class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& text);

// A child process with its output in files; killed on destruction if still running.
class Child {
 public:
  Child(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv,
        const std::string& outputPrefix);
  ~Child();
  void signal(int number);
  // Exit code, or -1 after `timeoutMs` or on death by a signal.
  int wait(int timeoutMs);
  bool running();
  // Waits for `text` on standard output while the process runs.
  bool waitForOutput(const std::string& text, int timeoutMs);
  std::string out() const { return readFile(prefix_ + ".out"); }
  std::string err() const { return readFile(prefix_ + ".err"); }

 private:
  int pid_ = -1;
  int status_ = -1;
  std::string prefix_;
};

// jackd on the dummy driver under a name of its own, so parallel tests never share a server.
class JackServer {
 public:
  static constexpr int kRate = 48000;
  static constexpr int kPeriod = 256;
  static constexpr int kNamePool = 4;  // more than ctest runs at once
  explicit JackServer(const std::string& folder);
  ~JackServer() { stop(); }
  const std::string& name() const { return name_; }
  std::string env() const { return "JACK_DEFAULT_SERVER=" + name_; }
  bool up() const { return up_; }
  void stop();

 private:
  std::string name_;
  std::unique_ptr<Child> process_;
  bool up_ = false;
};

struct TimedMidi {
  int64_t frame;  // from the probe's first period
  uint8_t status, data1, data2;
};

// Sends `TimedMidi` to a port and records two audio ports, all in its process callback.
class JackProbe {
 public:
  JackProbe(const std::string& serverName, double recordSeconds);
  ~JackProbe();
  bool open() const { return client_ != nullptr; }
  // Waits up to `timeoutMs` for a port to appear (or, with `present` false, to disappear).
  bool waitForPort(const std::string& name, bool present, int timeoutMs);
  bool connectTo(const std::string& playerName);
  bool setBufferSize(int frames) {
    return jack_set_buffer_size(client_, static_cast<jack_nframes_t>(frames)) == 0;
  }
  // Events happen `delayFrames` after the current frame; answers that start frame.
  int64_t play(const std::vector<TimedMidi>& events, int64_t delayFrames);
  int64_t frame() const { return frame_.load(); }
  void waitUntilFrame(int64_t frame);
  // The first frame at or after `from` whose left sample is not 0, once recorded; -1 if none
  // came within `timeoutMs`.
  int64_t waitForSound(int64_t from, int timeoutMs = kPatientMs);
  // Waits until the last `length` frames recorded, all at or after `from`, are silent.
  bool waitForSilence(int64_t from, int64_t length, int timeoutMs = kPatientMs);
  // Frames recorded so far (left and right).
  const std::vector<float>& left() const { return left_; }
  const std::vector<float>& right() const { return right_; }

 private:
  static int process(jack_nframes_t frames, void* self);
  jack_client_t* client_ = nullptr;
  jack_port_t* midiOut_ = nullptr;
  jack_port_t* in_[2] = {nullptr, nullptr};
  std::vector<float> left_, right_;
  std::vector<TimedMidi> events_;
  std::atomic<size_t> eventCount_{0};
  std::atomic<int64_t> frame_{0};
};

// Largest |sample| of `samples` in [first, last).
float peak(const std::vector<float>& samples, int64_t first, int64_t last);
