#include "AudioOutput.h"

#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <vector>

#include "ToolError.h"

namespace {

struct FormatEntry {
  FileFormat format;
  const char* extension;
  const char* name;
  int major;  // libsndfile container
};
constexpr FormatEntry kFormats[] = {
    {FileFormat::Wav, ".wav", "WAV", SF_FORMAT_WAV},
    {FileFormat::Flac, ".flac", "FLAC", SF_FORMAT_FLAC},
    {FileFormat::Aiff, ".aiff", "AIFF", SF_FORMAT_AIFF},
    {FileFormat::Aiff, ".aif", "AIFF", SF_FORMAT_AIFF},
    {FileFormat::Ogg, ".ogg", "Ogg Vorbis", SF_FORMAT_OGG},
};

const FormatEntry& entryFor(FileFormat format) {
  for (const FormatEntry& entry : kFormats)
    if (entry.format == format) return entry;
  return kFormats[0];
}

int sndfileFormat(const OutputFormat& format) {
  if (format.file == FileFormat::Ogg) return SF_FORMAT_OGG | SF_FORMAT_VORBIS;
  const int major = entryFor(format.file).major;
  switch (format.depth) {
    case BitDepth::Pcm24:
      return major | SF_FORMAT_PCM_24;
    case BitDepth::Float32:
      return major | SF_FORMAT_FLOAT;
    case BitDepth::Pcm16:
      break;
  }
  return major | SF_FORMAT_PCM_16;
}

// The file built for standard output, through libsndfile's virtual I/O.
sf_count_t memoryLength(void* user);
sf_count_t memorySeek(sf_count_t offset, int whence, void* user);
sf_count_t memoryRead(void* ptr, sf_count_t count, void* user);
sf_count_t memoryWrite(const void* ptr, sf_count_t count, void* user);
sf_count_t memoryTell(void* user);

uint32_t oggChecksum(const uint8_t* bytes, size_t size) {
  static const auto table = [] {
    std::vector<uint32_t> entries(256);
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t value = i << 24;
      for (int bit = 0; bit < 8; ++bit)
        value = (value & 0x80000000u) ? (value << 1) ^ 0x04C11DB7u : value << 1;
      entries[i] = value;
    }
    return entries;
  }();
  uint32_t crc = 0;
  for (size_t i = 0; i < size; ++i) crc = (crc << 8) ^ table[((crc >> 24) ^ bytes[i]) & 0xFF];
  return crc;
}

}  // namespace

struct AudioOutput::Memory {
  std::vector<uint8_t> bytes;
  size_t position = 0;
};

namespace {

AudioOutput::Memory& memoryOf(void* user) { return *static_cast<AudioOutput::Memory*>(user); }

sf_count_t memoryLength(void* user) { return static_cast<sf_count_t>(memoryOf(user).bytes.size()); }

sf_count_t memorySeek(sf_count_t offset, int whence, void* user) {
  AudioOutput::Memory& memory = memoryOf(user);
  const sf_count_t base = whence == SEEK_CUR   ? static_cast<sf_count_t>(memory.position)
                          : whence == SEEK_END ? static_cast<sf_count_t>(memory.bytes.size())
                                               : 0;
  if (base + offset < 0) return -1;
  memory.position = static_cast<size_t>(base + offset);
  return base + offset;
}

sf_count_t memoryRead(void* ptr, sf_count_t count, void* user) {
  AudioOutput::Memory& memory = memoryOf(user);
  if (count <= 0 || memory.position >= memory.bytes.size()) return 0;
  const size_t size = std::min(static_cast<size_t>(count), memory.bytes.size() - memory.position);
  std::memcpy(ptr, memory.bytes.data() + memory.position, size);
  memory.position += size;
  return static_cast<sf_count_t>(size);
}

sf_count_t memoryWrite(const void* ptr, sf_count_t count, void* user) {
  AudioOutput::Memory& memory = memoryOf(user);
  if (count <= 0) return 0;
  const auto size = static_cast<size_t>(count);
  if (memory.position + size > memory.bytes.size()) memory.bytes.resize(memory.position + size);
  std::memcpy(memory.bytes.data() + memory.position, ptr, size);
  memory.position += size;
  return count;
}

sf_count_t memoryTell(void* user) { return static_cast<sf_count_t>(memoryOf(user).position); }

}  // namespace

std::optional<FileFormat> formatForPath(const std::string& path) {
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos || path.find('/', dot) != std::string::npos) return std::nullopt;
  std::string extension = path.substr(dot);
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const FormatEntry& entry : kFormats)
    if (extension == entry.extension) return entry.format;
  return std::nullopt;
}

const char* extensionOf(FileFormat format) { return entryFor(format).extension; }
const char* formatName(FileFormat format) { return entryFor(format).name; }

std::string knownExtensions() {
  std::string list;
  for (const FormatEntry& entry : kFormats) list += (list.empty() ? "" : ", ") + std::string(entry.extension);
  return list;
}

std::string depthProblem(FileFormat format, BitDepth depth) {
  if (format == FileFormat::Flac && depth == BitDepth::Float32)
    return "FLAC holds 16 or 24 bits, not 32-bit float";
  if (format == FileFormat::Ogg) return "Ogg Vorbis is compressed and has no bit depth";
  return "";
}

int64_t largestFrameCount(const OutputFormat& format) {
  if (format.file == FileFormat::Flac || format.file == FileFormat::Ogg) return INT64_MAX;
  const int64_t bytesPerFrame = format.depth == BitDepth::Pcm16   ? 4
                                : format.depth == BitDepth::Pcm24 ? 6
                                                                  : 8;
  return (int64_t{0xFFFFFFFF} - 4096) / bytesPerFrame;
}

void fixOggSerialNumber(uint8_t* bytes, size_t size) {
  constexpr uint32_t kSerial = 0x56454C41;
  size_t page = 0;
  while (size - page >= 27 && std::memcmp(bytes + page, "OggS", 4) == 0) {
    const size_t segments = bytes[page + 26];
    if (size - page < 27 + segments) return;
    size_t length = 27 + segments;
    for (size_t i = 0; i < segments; ++i) length += bytes[page + 27 + i];
    if (size - page < length) return;
    for (int i = 0; i < 4; ++i) {
      bytes[page + 14 + i] = static_cast<uint8_t>(kSerial >> (8 * i));
      bytes[page + 22 + i] = 0;
    }
    const uint32_t crc = oggChecksum(bytes + page, length);
    for (int i = 0; i < 4; ++i) bytes[page + 22 + i] = static_cast<uint8_t>(crc >> (8 * i));
    page += length;
  }
}

AudioOutput::AudioOutput(const std::string& path, bool overwrite, const std::string& inputPath,
                         int32_t sampleRate, const OutputFormat& format)
    : target_(checkOutputTarget(path, overwrite, inputPath)),
      inputPath_(inputPath),
      overwrite_(overwrite),
      fileFormat_(format.file) {
  SF_INFO info{};
  info.samplerate = sampleRate;
  info.channels = 2;
  info.format = sndfileFormat(format);

  if (path == "-") {
    memory_ = std::make_unique<Memory>();
    static SF_VIRTUAL_IO io = {memoryLength, memorySeek, memoryRead, memoryWrite, memoryTell};
    file_ = sf_open_virtual(&io, SFM_WRITE, &info, memory_.get());
  } else {
    pending_ = std::make_unique<PendingFile>(target_);
    // The descriptor stays the PendingFile's: it flushes and closes it.
    file_ = sf_open_fd(pending_->fd(), SFM_WRITE, &info, SF_FALSE);
  }
  if (file_ == nullptr) {
    const std::string reason = sf_strerror(nullptr);
    discard();
    throw ToolError("cannot write output '" + path + "': " + reason);
  }
  // Integer formats: clip rather than wrap around on samples beyond full scale.
  sf_command(file_, SFC_SET_CLIPPING, nullptr, SF_TRUE);
  // The PEAK chunk holds the time of writing; without it, one render gives one set of bytes.
  sf_command(file_, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
}

AudioOutput::~AudioOutput() {
  if (!committed_) discard();
}

void AudioOutput::discard() noexcept {
  if (file_ != nullptr) {
    sf_close(file_);
    file_ = nullptr;
  }
  pending_.reset();  // removes the temporary file
}

void AudioOutput::write(const float* interleavedStereo, int32_t frames) {
  if (frames <= 0) return;
  const sf_count_t written = sf_writef_float(file_, interleavedStereo, frames);
  if (written != frames)
    throw ToolError("cannot write output '" + target_.path + "': " + sf_strerror(file_));
}

void AudioOutput::commitToStandardOutput() {
  if (fileFormat_ == FileFormat::Ogg) fixOggSerialNumber(memory_->bytes.data(), memory_->bytes.size());
  writeToStandardOutput(memory_->bytes);
  committed_ = true;
}

void AudioOutput::commit() {
  const int closeError = sf_close(file_);
  file_ = nullptr;
  const std::string& path = target_.path;
  if (closeError != 0)
    throw ToolError("cannot finish output '" + path + "': " + sf_error_number(closeError));
  if (memory_) return commitToStandardOutput();

  if (fileFormat_ == FileFormat::Ogg) {
    const int fd = pending_->fd();
    struct stat info {};
    if (fstat(fd, &info) != 0) throw ToolError("cannot finish output '" + path + "'");
    std::vector<uint8_t> bytes(static_cast<size_t>(info.st_size));
    const bool done = pread(fd, bytes.data(), bytes.size(), 0) == info.st_size &&
                      (fixOggSerialNumber(bytes.data(), bytes.size()),
                       pwrite(fd, bytes.data(), bytes.size(), 0) == info.st_size);
    if (!done) throw ToolError("cannot finish output '" + path + "'");
  }

  pending_->place(overwrite_, inputPath_);
  pending_.reset();
  committed_ = true;
}
