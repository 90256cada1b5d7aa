// A turn under a small spin flag, for editing threads only (never the audio thread): they take
// turns over short copies, so a spin costs less than a lock and needs no system call.
#pragma once

#include <atomic>

class SpinTurn {
 public:
  explicit SpinTurn(std::atomic_flag& flag) : flag_(flag) {
    while (flag_.test_and_set(std::memory_order_acquire)) {
    }
  }
  ~SpinTurn() { flag_.clear(std::memory_order_release); }
  SpinTurn(const SpinTurn&) = delete;
  SpinTurn& operator=(const SpinTurn&) = delete;

 private:
  std::atomic_flag& flag_;
};
