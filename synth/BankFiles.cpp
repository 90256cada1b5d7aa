#include "BankFiles.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "VelaIdentity.h"

namespace {

constexpr uint32_t kBankHeaderBytes = 156;
constexpr uint32_t kNameField = 28;
// The "plug-in version" field: hosts fill it as they like and readers ignore it; ours is the
// vendor version.
constexpr uint32_t kWrittenPluginVersion = vela::identity::kVendorVersion;

class BigEndianWriter {
 public:
  void tag(const char* four) { bytes.insert(bytes.end(), four, four + 4); }
  void u32(uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) bytes.push_back(static_cast<uint8_t>(v >> shift));
  }
  void program(const ProgramImage& p) {
    tag("CcnK");
    u32(static_cast<uint32_t>(kProgramFileBytes - 8));
    tag("FxCk");
    u32(1);
    tag(vela::identity::kIdentifier);
    u32(kWrittenPluginVersion);
    u32(kNumParams);
    char name[kNameField] = {};
    for (int32_t i = 0; i < kProgramNameBytes - 1 && p.name[i] != '\0'; ++i) name[i] = p.name[i];
    bytes.insert(bytes.end(), name, name + kNameField);
    for (float v : p.values) {
      uint32_t bits;
      std::memcpy(&bits, &v, 4);
      u32(bits);
    }
  }
  std::vector<uint8_t> bytes;
};

std::string quotedTag(const uint8_t* four) {
  std::string text = "'";
  for (int i = 0; i < 4; ++i) {
    if (four[i] < 0x20 || four[i] > 0x7E) {
      char hex[16];
      std::snprintf(hex, sizeof hex, "0x%02X%02X%02X%02X", four[0], four[1], four[2], four[3]);
      return hex;
    }
    text += static_cast<char>(four[i]);
  }
  return text + "'";
}

class BigEndianReader {
 public:
  BigEndianReader(const uint8_t* data, size_t size, FileReport& report)
      : data_(data), size_(data != nullptr ? size : 0), report_(report) {}

  bool failAt(size_t byte, const std::string& what) {
    report_.error = what + " (byte " + std::to_string(byte) + ")";
    return false;
  }
  bool need(size_t at, size_t bytes) {
    return size_ >= at + bytes || failAt(size_, "the file ends early, after " +
                                                    std::to_string(size_) + " bytes");
  }
  uint32_t u32(size_t at) const {
    return static_cast<uint32_t>(data_[at]) << 24 | static_cast<uint32_t>(data_[at + 1]) << 16 |
           static_cast<uint32_t>(data_[at + 2]) << 8 | data_[at + 3];
  }
  bool is(size_t at, const char* four) const { return std::memcmp(data_ + at, four, 4) == 0; }

  // The fields a bank and a program file share, for a file or a record starting at `at`.
  // `wanted` is "FxBk" or "FxCk".
  bool header(size_t at, const char* wanted, bool inBank) {
    const bool bank = std::strcmp(wanted, "FxBk") == 0;
    if (!need(at, 28)) return false;
    if (!is(at, "CcnK"))
      return failAt(at, inBank ? "a program in the bank does not start with 'CcnK'"
                               : "wrong magic: not a bank or program file");
    if (is(at + 8, "FBCh") || is(at + 8, "FPCh"))
      return failAt(at + 8, "the file holds a plug-in's private data (an opaque chunk); "
                            "VelaOrin reads only files of parameter values");
    if (!is(at + 8, wanted)) {
      if (is(at + 8, bank ? "FxCk" : "FxBk"))
        return failAt(at + 8, bank ? "a program file, not a bank file" : "a bank file, not a program file");
      return failAt(at + 8, std::string("wrong magic: ") + quotedTag(data_ + at + 8) + " where '" +
                                wanted + "' belongs");
    }
    const uint32_t version = u32(at + 12);
    if (version != 1 && !(bank && version == 2))
      return failAt(at + 12, "unknown version " + std::to_string(version));
    if (!is(at + 16, vela::identity::kIdentifier))
      return failAt(at + 16, "the file belongs to another plug-in (" + quotedTag(data_ + at + 16) +
                                 "), not " + vela::identity::kName + " ('" +
                                 vela::identity::kIdentifier + "')");
    const uint32_t count = u32(at + 24);
    const uint32_t expected = bank ? kNumPrograms : kNumParams;
    if (count != expected)
      return failAt(at + 24, std::string(bank ? "the bank holds " : "the program has ") +
                                 std::to_string(count) + (bank ? " programs" : " parameters") +
                                 "; VelaOrin has " + std::to_string(expected));
    const size_t total = bank ? kBankFileBytes : kProgramFileBytes;
    const uint32_t declared = u32(at + 4);
    const size_t present = inBank ? total : size_;
    if (declared != total - 8 || present != total)
      return failAt(at + 4, "wrong size: the " + std::string(inBank ? "record" : "file") + " says " +
                                std::to_string(declared) + (inBank ? "" : " and holds " +
                                std::to_string(present > 8 ? present - 8 : 0)) +
                                " bytes after the size field; " + std::to_string(total - 8) +
                                " belong there");
    return true;
  }

  bool program(size_t at, ProgramImage& p) {
    const size_t name = at + 28;
    const void* end = std::memchr(data_ + name, '\0', kNameField);
    if (end == nullptr) return failAt(name, "a program name has no terminator");
    const size_t length = static_cast<size_t>(static_cast<const uint8_t*>(end) - (data_ + name));
    if (length >= static_cast<size_t>(kProgramNameBytes) && firstLongName_ == 0)
      firstLongName_ = name;
    std::memset(p.name, 0, sizeof p.name);
    std::memcpy(p.name, data_ + name, std::min(length, sizeof p.name - 1));
    for (int32_t i = 0; i < kNumParams; ++i) {
      const size_t field = at + 56 + 4 * static_cast<size_t>(i);
      const uint32_t bits = u32(field);
      float v;
      std::memcpy(&v, &bits, 4);
      if (!std::isfinite(v)) return failAt(field, "a value is not a finite number");
      if (v < 0.0f || v > 1.0f) {
        if (clamped_++ == 0) firstClamped_ = field;
        v = v < 0.0f ? 0.0f : 1.0f;
      }
      p.values[i] = v;
    }
    return true;
  }

  void finish() {
    if (clamped_ > 0)
      report_.warning = std::to_string(clamped_) + (clamped_ == 1 ? " value" : " values") +
                        " outside 0 to 1 clamped (the first at byte " +
                        std::to_string(firstClamped_) + ")";
    if (firstLongName_ > 0)
      report_.warning += std::string(report_.warning.empty() ? "" : "; ") +
                         "a name longer than 23 characters cut (byte " +
                         std::to_string(firstLongName_) + ")";
  }

 private:
  const uint8_t* data_;
  size_t size_;
  FileReport& report_;
  int clamped_ = 0;
  size_t firstClamped_ = 0;
  size_t firstLongName_ = 0;
};

}  // namespace

std::vector<uint8_t> writeBankFile(const BankImage& image) {
  BigEndianWriter w;
  w.bytes.reserve(kBankFileBytes);
  w.tag("CcnK");
  w.u32(static_cast<uint32_t>(kBankFileBytes - 8));
  w.tag("FxBk");
  w.u32(2);
  w.tag(vela::identity::kIdentifier);
  w.u32(kWrittenPluginVersion);
  w.u32(kNumPrograms);
  w.u32(static_cast<uint32_t>(image.currentProgram));
  w.bytes.resize(kBankHeaderBytes, 0);
  for (const ProgramImage& p : image.programs) w.program(p);
  return w.bytes;
}

std::vector<uint8_t> writeProgramFile(const ProgramImage& image) {
  BigEndianWriter w;
  w.bytes.reserve(kProgramFileBytes);
  w.program(image);
  return w.bytes;
}

bool readBankFile(const uint8_t* data, size_t size, BankImage& image, FileReport& report) {
  report = FileReport{};
  BigEndianReader r(data, size, report);
  if (!r.header(0, "FxBk", false)) return false;
  BankImage read{};
  if (r.u32(12) == 2) {
    const uint32_t current = r.u32(28);
    if (current >= static_cast<uint32_t>(kNumPrograms))
      return r.failAt(28, "the current program " + std::to_string(current) + " is out of range");
    read.currentProgram = static_cast<int32_t>(current);
    report.hasCurrentProgram = true;
  }
  for (int32_t n = 0; n < kNumPrograms; ++n) {
    const size_t at = kBankHeaderBytes + static_cast<size_t>(n) * kProgramFileBytes;
    if (!r.header(at, "FxCk", true) || !r.program(at, read.programs[n])) {
      report.hasCurrentProgram = false;
      return false;
    }
  }
  r.finish();
  image = read;
  return true;
}

bool readProgramFile(const uint8_t* data, size_t size, ProgramImage& image, FileReport& report) {
  report = FileReport{};
  BigEndianReader r(data, size, report);
  ProgramImage read{};
  if (!r.header(0, "FxCk", false) || !r.program(0, read)) return false;
  r.finish();
  image = read;
  return true;
}
