// Reads a fuzzer's bytes as a stream of values (past the end every value is 0), and what the
// targets share: the host callback and a checked render.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "DAEffect.h"

class FuzzInput {
 public:
  FuzzInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  bool empty() const { return pos_ >= size_; }
  template <class T>
  T take() {
    T value{};
    unsigned char bytes[sizeof(T)] = {};
    for (unsigned char& b : bytes) b = pos_ < size_ ? data_[pos_++] : 0;
    std::memcpy(&value, bytes, sizeof value);
    return value;
  }
  uint8_t byte() { return take<uint8_t>(); }
  // Mostly small values (where the interesting boundaries are), sometimes any 32 bits.
  int32_t smallInt(int32_t low, int32_t high) {
    const uint8_t pick = byte();
    if (pick < 224) return low + static_cast<int32_t>(take<uint16_t>() % static_cast<uint32_t>(high - low + 1));
    return take<int32_t>();
  }
  // Mostly values in 0..1, sometimes any bit pattern (NaN, infinities, subnormals).
  float unitFloat() {
    const uint8_t pick = byte();
    if (pick < 192) return static_cast<float>(take<uint16_t>()) / 65535.0f;
    return take<float>();
  }
  // Copies up to `size` bytes into `out`, zero-filling the rest.
  void fill(void* out, size_t size) {
    auto* bytes = static_cast<unsigned char*>(out);
    for (size_t i = 0; i < size; ++i) bytes[i] = pos_ < size_ ? data_[pos_++] : 0;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

// Every output sample must be a finite number, and never subnormal.
inline void checkOutput(const float* samples, int32_t frames) {
  for (int32_t i = 0; i < frames; ++i)
    if (!std::isfinite(samples[i]) || std::fpclassify(samples[i]) == FP_SUBNORMAL) std::abort();
}

// The fuzzers' host: answers the version, nothing else.
inline intptr_t VELA_CDECL fuzzHost(AEffect*, int32_t opcode, int32_t, intptr_t, void*, float) {
  return opcode == audioMasterVersion ? 2400 : 0;
}

// One block through processReplacing or (accumulating) process, then the output checked.
inline void renderAndCheck(AEffect* effect, int32_t frames, bool replacing, std::vector<float>& left,
                           std::vector<float>& right) {
  float* outputs[2] = {left.data(), right.data()};
  if (replacing)
    effect->processReplacing(effect, nullptr, outputs, frames);
  else
    effect->process(effect, nullptr, outputs, frames);
  checkOutput(left.data(), frames);
  checkOutput(right.data(), frames);
}
