// The little-endian byte forms of the bank, a program and the tuning: four-letter tags and 32-bit
// words, written on any platform the same way, and a reader that names the fault and its byte when
// it refuses.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace vela::bytes {

class Writer {
 public:
  explicit Writer(size_t reserve = 0) { bytes_.reserve(reserve); }
  void tag(const char* four) { raw(four, 4); }
  void u32(uint32_t v) {
    for (int shift = 0; shift < 32; shift += 8) bytes_.push_back(static_cast<uint8_t>(v >> shift));
  }
  void raw(const void* data, size_t size) {
    const auto* from = static_cast<const uint8_t*>(data);
    bytes_.insert(bytes_.end(), from, from + size);
  }
  // Writes over a word written earlier (a size known only at the end).
  void u32At(size_t at, uint32_t v) {
    for (size_t i = 0; i < 4; ++i) bytes_[at + i] = static_cast<uint8_t>(v >> (8 * i));
  }
  size_t size() const { return bytes_.size(); }
  std::vector<uint8_t> take() { return std::move(bytes_); }

 private:
  std::vector<uint8_t> bytes_;
};

class Reader {
 public:
  Reader(const uint8_t* data, size_t size, std::string* error)
      : data_(data), size_(data != nullptr ? size : 0), error_(error) {}

  bool fail(const std::string& what) { return failAt(at_, what); }
  bool failAt(size_t field, const std::string& what) {
    if (error_ != nullptr) *error_ = what + " (byte " + std::to_string(field) + ")";
    return false;
  }
  bool tag(const char* four, const char* what) {
    if (size_ - at_ < 4 || std::memcmp(data_ + at_, four, 4) != 0) return fail(what);
    at_ += 4;
    return true;
  }
  bool u32(uint32_t& v) {
    if (size_ - at_ < 4) return fail("the data ends early");
    v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(data_[at_ + i]) << (8 * i);
    at_ += 4;
    return true;
  }
  size_t at() const { return at_; }
  size_t size() const { return size_; }

 protected:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;

 private:
  std::string* error_;
};

}  // namespace vela::bytes
