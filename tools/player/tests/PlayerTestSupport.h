// Test helpers for the player: scratch folders, child processes, a private JACK server on the
// dummy driver, and a JACK client that plays MIDI into the player and records what it sends back.
#pragma once

#include <jack/jack.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

// Bound for waits on the player, the server and the sound: every wait ends as soon as its
// condition holds, so only a failure takes this long and a busy machine fails nothing.
constexpr int kPatientMs = 30000;

// Checks `condition` every `pollMs` until it holds (true) or `timeoutMs` has passed (false).
template <typename Condition>
bool waitFor(Condition condition, int timeoutMs = kPatientMs, int pollMs = 10) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    if (condition()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(pollMs));
  }
}

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

// A stretch of what the probe recorded: frames [first, first + left.size()).
struct Recording {
  int64_t first = 0;
  std::vector<float> left, right;
  int64_t end() const { return first + static_cast<int64_t>(left.size()); }
  bool holds(int64_t from, int64_t to) const { return first <= from && from <= to && to <= end(); }
  // The left sample at `frame`, if held.
  std::optional<float> at(int64_t frame) const;
  // Largest |left sample| in [from, to), if all of it is held.
  std::optional<float> peak(int64_t from, int64_t to) const;
};

// Sends `TimedMidi` to a port and records two audio ports, all in its process callback. It keeps
// the last `keepSeconds` it recorded, however long the player took to start.
class JackProbe {
 public:
  // JACK's largest period: what one process callback may overwrite while a copy is made.
  static constexpr int64_t kMaxPeriod = 8192;
  explicit JackProbe(const std::string& serverName, double keepSeconds = 30.0);
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
  // Cycles the server reports late (a client not done in time): what was sent or heard in one
  // may be lost.
  int xruns() const { return xruns_.load(); }
  // Waits until every frame before `frame` is recorded; false if that took over `timeoutMs`.
  [[nodiscard]] bool waitUntilFrame(int64_t frame, int timeoutMs = kPatientMs);
  // The first frame at or after `from` whose left sample is not 0, once recorded; -1 if none
  // came within `timeoutMs` or `from` is no longer kept.
  int64_t waitForSound(int64_t from, int timeoutMs = kPatientMs);
  // Waits until the last `length` frames recorded, all at or after `from`, are silent.
  bool waitForSilence(int64_t from, int64_t length, int timeoutMs = kPatientMs);
  // Frames [first, last) once recorded; none if they did not come within `timeoutMs` or are no
  // longer kept.
  std::optional<Recording> recording(int64_t first, int64_t last, int timeoutMs = kPatientMs) const;
  // Largest |left sample| in [first, last), recorded already; none if not all of it is kept.
  std::optional<float> peak(int64_t first, int64_t last) const;

 private:
  static int process(jack_nframes_t frames, void* self);
  // Copies [first, last) if all of it is recorded and none of it overwritten meanwhile.
  bool copy(int64_t first, int64_t last, Recording& out) const;
  // The oldest frame that no process callback can overwrite before the next check.
  int64_t oldestKept() const { return frame() - static_cast<int64_t>(left_.size()) + kMaxPeriod; }
  jack_client_t* client_ = nullptr;
  jack_port_t* midiOut_ = nullptr;
  jack_port_t* in_[2] = {nullptr, nullptr};
  std::vector<float> left_, right_;  // rings: frame n at n % size
  std::vector<TimedMidi> events_;
  std::atomic<size_t> eventCount_{0};
  std::atomic<int64_t> frame_{0};
  std::atomic<int> xruns_{0};
};
